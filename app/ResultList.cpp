// The result list: refill, the rows it shows, the arrows and the thumb.

#include "app/ResultList.h"

#include "data/DatabaseError.h"
#include "data/DrugFile.h"
#include "data/DrugSchema.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kThumbTopOfTrack = 730;
constexpr double kArrowTravel = 6300;
constexpr double kThumbLowestForArrow = 8920;
constexpr double kDragRange = 6900;

} // namespace

void ResultList::fill(DrugFile& drugFile, const QString& sql, const QList<Cell>& parameters) {
    DrugRecordset& recordset = drugFile.recordset();
    ListTop = 0;
    m_thumbTop = kThumbTopOfTrack;
    emptyEntries(Cells);
    qint64 loaded = 0;
    try {
        recordset.Open(sql, drugFile.connection(), adOpenKeyset, adLockReadOnly, parameters);
        m_resultSize = recordset.RecordCount();
        const qint64 count = std::min(m_resultSize, Cells);
        for (; loaded < count; ++loaded) {
            RowChineseName[loaded] = recordset.takeField(ChineseNameColumn);
            RowEnglishName[loaded] = recordset.takeField(EnglishNameColumn);
            RowLeaflet[loaded] = recordset.takeField(LeafletColumn);
            RowId[loaded] = recordset.takeField(KeyColumn);
            if (const std::optional<qint64> revision = recordset.revision())
                RowRevision[loaded] = Cell(*revision);
            recordset.MoveNext();
        }
    } catch (const DatabaseError&) {
        emptyEntries(std::min(loaded + 1, Cells));
        ListCount = Cell(0);
        m_resultSize = 0;
        recordset.Close();
        throw;
    }
    ListCount = Cell(loaded);
    recordset.Close();
}

void ResultList::emptyEntries(qint64 count) {
    for (RowArray* cells : {&RowChineseName, &RowEnglishName, &RowLeaflet, &RowId, &RowRevision})
        cells->clear(count);
}

std::optional<qint64> ResultList::entryOfRow(int row) const {
    const qint64 entry = ListTop + row;
    if (entry < 0 || entry >= Cells)
        return std::nullopt;
    return entry;
}

QString ResultList::captionOfRow(int row) const {
    const std::optional<qint64> entry = entryOfRow(row);
    return entry ? RowChineseName[*entry].toText() : QString();
}

void ResultList::scrollUp() {
    ListTop = std::max<qint64>(ListTop - 1, 0);
    // With no entries the thumb has no step to take; it stays where it is.
    const double count = ListCount.toNumber();
    if (count != 0)
        m_thumbTop = std::max(m_thumbTop - kArrowTravel / count, kThumbTopOfTrack);
}

void ResultList::scrollDown() {
    const double count = ListCount.toNumber();
    if (count == 0)
        return;
    const double top = m_thumbTop + kArrowTravel / count;
    if (top > kThumbLowestForArrow) {
        m_thumbTop = kThumbLowestForArrow;
    } else {
        m_thumbTop = top;
        ++ListTop;
    }
}

void ResultList::scrollBy(qint64 steps) {
    for (; steps > 0; --steps)
        scrollDown();
    for (; steps < 0; ++steps)
        scrollUp();
}

void ResultList::scrollToTop() {
    // Each click moves the list or the thumb, until both are at the top.
    const bool thumbMoves = ListCount.toNumber() != 0;
    while (ListTop > 0 || (thumbMoves && m_thumbTop > kThumbTopOfTrack))
        scrollUp();
}

void ResultList::scrollToEnd() {
    if (ListCount.toNumber() == 0)
        return;
    while (m_thumbTop < kThumbLowestForArrow)
        scrollDown();
}

void ResultList::beginThumbDrag(double y) {
    PictureDragging = true;
    PictureDragY = y;
}

void ResultList::endThumbDrag() {
    PictureDragging = false;
}

bool ResultList::dragThumb(double y) {
    if (!PictureDragging)
        return false;
    m_thumbTop = std::clamp(y - PictureDragY + m_thumbTop, kThumbTopOfTrack, kThumbTopOfTrack + kDragRange);
    // No entries: the mapping has no scale, so the thumb moves and the rows stay.
    const double count = ListCount.toNumber();
    if (count != 0)
        ListTop = static_cast<qint64>(std::floor((m_thumbTop - kThumbTopOfTrack) / (240 / (count / 22))));
    return true;
}
