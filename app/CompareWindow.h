#pragma once

#include "app/ReadingWindow.h"

#include <QDialog>
#include <QList>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QListWidget;
class QTextBrowser;

// One row of two leaflets side by side: a section and what each leaflet says under it, none
// where that leaflet lacks the section.
struct CompareRow {
    QString heading;
    std::optional<QString> left;
    std::optional<QString> right;
};

// The two leaflets aligned section by section: the openings first, then the known sections in
// their standard order, then each leaflet's other sections in its own order. A section that
// comes back in a leaflet is one row, its parts one after another.
QList<CompareRow> compareRows(const QString& left, const QString& right);

// 对比: two drugs' leaflets in two columns, aligned section by section.
class CompareWindow : public QWidget {
    Q_OBJECT

public:
    CompareWindow(const DrugLeaflet& left, const DrugLeaflet& right);

    const QList<CompareRow>& rows() const { return m_rows; }
    QTextBrowser* textBox = nullptr;

private:
    QList<CompareRow> m_rows;
};

// Picks the drug to compare with, found as the find window finds drugs (names and pinyin).
class DrugPicker : public QDialog {
    Q_OBJECT

public:
    using Search = std::function<QList<DrugLeaflet>(const QString& text)>;
    DrugPicker(QWidget* parent, Search search);

    QLineEdit* textBox = nullptr;
    QListWidget* resultList = nullptr;
    QLabel* resultLabel = nullptr;

    void search();
    void pick(int row);

Q_SIGNALS:
    void picked(const DrugLeaflet& drug);

private:
    Search m_search;
    QList<DrugLeaflet> m_found;
};
