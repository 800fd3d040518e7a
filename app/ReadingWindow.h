#pragma once

#include "leaflet/LeafletSections.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

class LeafletBox;
class NoteEditor;
struct Platform;
class QBoxLayout;
class QLabel;
class QListWidget;
class QPushButton;
class QLineEdit;
class QPushButton;
class QTimer;

// One drug as the reading window shows it.
struct DrugLeaflet {
    qint64 key = 0;
    QString chineseName;
    QString englishName;
    QString leaflet;
};

class DrugRecordset;

// The drug at the open recordset's current row. Throws DatabaseError.
DrugLeaflet drugLeafletAt(DrugRecordset& recordset);

// 说明书阅读: one drug's leaflet in a window of its own, to read at a comfortable size, select and
// copy, and search (Ctrl+F). It keeps showing its drug whatever the main list does; the main
// window updates it when the drug changes and closes it when the drug is deleted. Its size and
// place are kept in the user's configuration between runs.
class ReadingWindow : public QWidget {
    Q_OBJECT

public:
    // platform (its messages, and what else leaves the process) must outlive the window.
    ReadingWindow(const DrugLeaflet& drug, Platform& platform);
    ~ReadingWindow() override;

    qint64 drugKey() const { return m_drug.key; }
    const DrugLeaflet& drug() const { return m_drug; }
    void showDrug(const DrugLeaflet& drug);

    // 导出 PDF… (Ctrl+Shift+E) and 打印… (Ctrl+P): the leaflet laid out on pages (ReadingExport.cpp).
    QPushButton* exportButton = nullptr;
    QPushButton* printButton = nullptr;
    void exportPdf();
    void printLeaflet();

    QLabel* titleLabel = nullptr;
    LeafletBox* textBox = nullptr;
    QLineEdit* findBox = nullptr;
    QLabel* findResult = nullptr; // 第 k 处，共 n 处
    // The leaflet's sections by their 【…】 headings, in their order; follows the text as it
    // scrolls.
    QListWidget* outlineList = nullptr;
    QPushButton* compareButton = nullptr;   // 对比…
    QPushButton* favouriteButton = nullptr; // 收藏 (Ctrl+D), checked for a favourite
    // The user's note on the drug, under the leaflet; the main window gives it its note.
    NoteEditor* noteEditor = nullptr;

    // Scrolls the text to the first part of outline entry index (a click, Alt+number).
    void jumpToSection(int index);
    const LeafletSections& sections() const { return *m_sections; }

    // Highlights every place the leaflet holds text (Latin letters in any case) and goes to the
    // first; an empty text takes the highlights away.
    void findInLeaflet(const QString& text);
    void findNext();
    void findPrevious();
    int matchCount() const { return int(m_matches.size()); }
    int currentMatch() const { return m_current; } // from 0; -1 with none

Q_SIGNALS:
    // 对比…: the user wants this drug beside another.
    void compareRequested();
    // 收藏 (Ctrl+D): the user wants the drug marked, or unmarked, as a favourite.
    void favouriteRequested(bool favourite);

protected:
    // A note that cannot be saved is not given up without asking.
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildExportControls(QBoxLayout* row);
    void showOutline();
    void followScrolling();
    // The box shows a line end as one character where the leaflet may hold CR LF.
    qsizetype shownPosition(qsizetype leafletOffset) const;
    qsizetype leafletOffset(qsizetype shownPosition) const;
    void showMatches();
    void markVisibleMatches();
    void rememberPlace() const;

    Platform& m_platform;
    DrugLeaflet m_drug;
    std::unique_ptr<LeafletSections> m_sections;
    std::vector<qsizetype> m_crLfShownAt; // where each CR LF of the leaflet is in the box's text
    QTimer* m_placeKept = nullptr;        // the place is written a moment after the last move
    QList<QPair<int, int>> m_matches;     // where each match starts in the box's text, and its length
    int m_current = -1;
};
