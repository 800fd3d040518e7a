#pragma once

#include <QString>

// The chosen drug's leaflet as the row click found it, kept for paging and printing, and the
// page the hidden page box shows: the lines after the first LeafletPage lines.
class DrugView {
public:
    QString LeafletText;
    int LeafletPage = 0;

    // A row click starts again from page 1, with no leaflet until the row gives one.
    void clear();
    // 下翻 and 上翻: the page box's new caption. 上翻 stops at page 0, 下翻 goes on past the end.
    QString nextPage();
    QString previousPage();

private:
    QString pageCaption() const;
};
