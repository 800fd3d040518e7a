// The result list: refill, row captions, arrows, thumb drag, hover color.

#include "app/Form19.h"

#include "data/DatabaseError.h"
#include "data/DrugDatabase.h"
#include "data/DrugSchema.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kThumbTopOfTrack = 730;
constexpr double kArrowTravel = 6300;
constexpr double kThumbLowestForArrow = 8920;
constexpr double kDragRange = 6900;

} // namespace

void Form19::FillDrugList(const QString& sql, const QList<Cell>& parameters) {
    ListTop = 0;
    setThumbTop(kThumbTopOfTrack);
    emptyEntries(RowCells);
    for (ListRow* row : Label4)
        row->setCaption(QString());

    DrugRecordset& recordset = theDrugRecordset();
    qint64 loaded = 0;
    try {
        recordset.Open(sql, theDrugConnection(), adOpenKeyset, adLockReadOnly, parameters);
        m_resultSize = recordset.RecordCount();
        // The arrays end at entry 100000: a larger result is cut there.
        const qint64 count = std::min<qint64>(m_resultSize, RowCells);
        for (; loaded < count; ++loaded) {
            RowChineseName[loaded] = recordset.takeField(ChineseNameColumn);
            RowEnglishName[loaded] = recordset.takeField(EnglishNameColumn);
            RowLeaflet[loaded] = recordset.takeField(LeafletColumn);
            RowId[loaded] = recordset.takeField(KeyColumn);
            recordset.MoveNext();
        }
    } catch (const DatabaseError&) {
        // A failed refill leaves an empty list, never a count of entries that are not there.
        emptyEntries(std::min<qint64>(loaded + 1, RowCells));
        ListCount = Cell(0);
        m_resultSize = 0;
        recordset.Close();
        throw;
    }
    ListCount = Cell(loaded);
    ShowListRows();
    recordset.Close();
}

void Form19::emptyEntries(qint64 count) {
    for (RowArray* cells : {&RowChineseName, &RowEnglishName, &RowLeaflet, &RowId})
        cells->clear(count);
}

void Form19::ShowListRows() {
    for (int r = 0; r < VisibleRows; ++r) {
        const qint64 entry = ListTop + r;
        Label4[r]->setCaption(entry >= 0 && entry < RowCells ? RowChineseName[entry].toText() : QString());
    }
}

void Form19::Label20_Click() {
    ListTop = std::max<qint64>(ListTop - 1, 0);
    // With no entries the thumb has no step to take; it stays where it is.
    const double count = ListCount.toNumber();
    if (count != 0)
        setThumbTop(std::max(thumbTop() - kArrowTravel / count, kThumbTopOfTrack));
    ShowListRows();
}

void Form19::Label12_Click() {
    const double count = ListCount.toNumber();
    if (count != 0) {
        const double top = thumbTop() + kArrowTravel / count;
        if (top > kThumbLowestForArrow) {
            setThumbTop(kThumbLowestForArrow);
        } else {
            setThumbTop(top);
            ++ListTop;
        }
    }
    ShowListRows();
}

void Form19::Picture1_MouseDown(Qt::MouseButton, Qt::KeyboardModifiers, float, float y) {
    PictureDragging = 1;
    PictureDragY = y;
}

void Form19::Picture1_MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, float, float) {
    PictureDragging = 0;
}

void Form19::Picture1_MouseMove(Qt::MouseButton, Qt::KeyboardModifiers, float, float y) {
    if (PictureDragging != 1)
        return;
    const double top = std::clamp(y - PictureDragY + thumbTop(), kThumbTopOfTrack, kThumbTopOfTrack + kDragRange);
    setThumbTop(top);
    // No entries: the mapping has no scale, so the thumb moves and the rows stay.
    const double count = ListCount.toNumber();
    if (count == 0)
        return;
    ListTop = static_cast<qint64>(std::floor((top - kThumbTopOfTrack) / (240 / (count / 22))));
    ShowListRows();
}

void Form19::Label4_MouseMove(int index) {
    for (int r = 0; r < VisibleRows; ++r) {
        if (r != index)
            Label4[r]->setForeColor(ButtonTextColor);
        else if (!Label4[r]->caption().isEmpty())
            Label4[r]->setForeColor(HoverColor);
    }
}
