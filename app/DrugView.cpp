// The drug view's paging of the leaflet.

#include "app/DrugView.h"

#include "app/Text.h"

#include <QStringList>

void DrugView::clear() {
    LeafletText.clear();
    LeafletPage = 1;
}

QString DrugView::pageCaption() const {
    const QStringList lines = trimSpaces(LeafletText).split(u'\n');
    QString caption;
    int counter = 0;
    for (const QString& line : lines) {
        ++counter;
        if (counter > LeafletPage)
            caption += line;
    }
    return caption;
}

QString DrugView::nextPage() {
    ++LeafletPage;
    return pageCaption();
}

QString DrugView::previousPage() {
    if (LeafletPage < 1)
        LeafletPage = 1;
    --LeafletPage;
    return pageCaption();
}
