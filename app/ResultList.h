#pragma once

#include "app/RowArray.h"
#include "data/Cell.h"

#include <QList>
#include <QString>

#include <optional>

class DrugFile;

// The drugs the last refill found, in four parallel arrays, and which of them the list's rows
// show: ListTop, moved by the arrows and by dragging the thumb, whose Top (in twips) it keeps.
// The window draws the rows and places the thumb from it.
class ResultList {
public:
    // The arrays hold entries 0 to 100000; the window shows 23 rows of them.
    static constexpr qint64 Cells = RowArray::Size;
    static constexpr int VisibleRows = 23;

    RowArray RowChineseName;
    RowArray RowEnglishName;
    RowArray RowLeaflet;
    RowArray RowId;
    RowArray RowRevision; // on a server, each drug's revision as read; written by a server's refill only
    Cell ListCount;       // Empty until the first refill
    qint64 ListTop = 0;
    bool PictureDragging = false;
    double PictureDragY = 0;

    // Reads every drug the query selects (the first Cells of a larger result) into the arrays,
    // from the top. A failure leaves an empty list, never a count of entries that are not
    // there, and is thrown on.
    void fill(DrugFile& drugFile, const QString& sql, const QList<Cell>& parameters = {});
    // Drugs the last refill's query selected; the arrays hold at most Cells of them.
    qint64 resultSize() const { return m_resultSize; }

    // The entry a visible row shows; none beyond the arrays.
    std::optional<qint64> entryOfRow(int row) const;
    QString captionOfRow(int row) const;

    double thumbTop() const { return m_thumbTop; }
    void scrollUp();   // the up arrow
    void scrollDown(); // the down arrow
    // The wheel and the keys move the list as so many clicks of an arrow would (negative: up),
    // so they stop where the arrows stop.
    void scrollBy(qint64 steps);
    void scrollToTop(); // up, as far as the up arrow takes the list and the thumb
    void scrollToEnd(); // down, as far as the down arrow takes them
    void beginThumbDrag(double y);
    void endThumbDrag();
    // Moves the thumb with the pointer while it is dragged and the rows with it; false when
    // no drag is under way.
    bool dragThumb(double y);

private:
    void emptyEntries(qint64 count);

    qint64 m_resultSize = 0;
    double m_thumbTop = 730;
};
