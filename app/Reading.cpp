// The reading windows: the chosen drug's leaflet in a window of its own.

#include "app/CompareWindow.h"
#include "app/Form19.h"
#include "app/ReadingWindow.h"

#include "data/DatabaseError.h"
#include "data/DrugFile.h"
#include "data/SqlTexts.h"

#include <QMenu>

namespace {

// The drug as the file holds it now; none when it is gone. Throws DatabaseError.
std::optional<DrugLeaflet> readDrug(DrugFile& file, qint64 key) {
    DrugRecordset& recordset = file.recordset();
    try {
        recordset.Open(keyQuery(key), file.connection(), adOpenKeyset, adLockReadOnly);
        std::optional<DrugLeaflet> drug;
        if (!recordset.atEnd())
            drug = drugLeafletAt(recordset);
        recordset.Close();
        return drug;
    } catch (const DatabaseError&) {
        recordset.Close();
        throw;
    }
}

// The windows still on screen: one closed a moment ago is gone, though it is deleted only later.
template <typename Window> QList<Window*> shownWindows(const QList<QPointer<Window>>& windows) {
    QList<Window*> shown;
    for (const QPointer<Window>& window : windows) {
        if (window && window->isVisible())
            shown.append(window.data());
    }
    return shown;
}

} // namespace

QList<ReadingWindow*> Form19::readingWindows() const {
    return shownWindows(m_readingWindows);
}

void Form19::openReadingWindow() {
    if (!m_chosenDrug) {
        m_platform.dialogs.inform(QStringLiteral("没有选中药品：请先在列表中点选一种药品，再打开说明书阅读。"));
        return;
    }
    for (ReadingWindow* window : readingWindows()) {
        if (window->drugKey() == *m_chosenDrug) {
            window->showNormal();
            window->raise();
            window->activateWindow();
            return;
        }
    }
    std::optional<DrugLeaflet> drug;
    try {
        drug = readDrug(m_drugFile, *m_chosenDrug);
    } catch (const DatabaseError& error) {
        reportDatabaseError(error.message());
        return;
    }
    if (!drug) {
        m_platform.dialogs.inform(QStringLiteral("选中的药品已不存在，可能已被删除。请重新查找后再点选。"));
        return;
    }
    const QList<ReadingWindow*> open = readingWindows();
    auto* window = new ReadingWindow(*drug, m_platform);
    // Each window in the place the last one was left at, a new one beside an open one a step
    // down and to the right, so that none hides another.
    if (!open.isEmpty())
        window->move(open.constLast()->pos() + QPoint(32, 32));
    connect(window, &ReadingWindow::compareRequested, this, [this, window] { compareWith(window); });
    connect(window, &ReadingWindow::favouriteRequested, this, [this, window](bool favourite) {
        try {
            setFavourite({window->drug().chineseName, window->drug().englishName}, favourite);
        } catch (const DatabaseError& error) {
            m_platform.dialogs.inform(QStringLiteral("收藏未能保存：\n%1").arg(error.message()));
        }
    });
    keepInReadingWindow(window);
    m_readingWindows.removeAll(nullptr);
    m_readingWindows.append(window);
    if (!m_leafletFindText.isEmpty())
        window->findBox->setText(m_leafletFindText); // where the find window found it
    window->show();
    window->raise();
    window->activateWindow();
}

DrugPicker* Form19::drugPicker() const {
    return m_drugPicker.data();
}

QList<CompareWindow*> Form19::compareWindows() const {
    return shownWindows(m_compareWindows);
}

void Form19::compareWith(ReadingWindow* window) {
    delete m_drugPicker.data(); // one question at a time
    m_drugPicker = new DrugPicker(window, [this](const QString& text) { return findDrugsToCompare(text); });
    const QPointer<ReadingWindow> reading(window);
    connect(m_drugPicker, &DrugPicker::picked, this, [this, reading](const DrugLeaflet& other) {
        if (!reading)
            return;
        auto* compare = new CompareWindow(reading->drug(), other);
        m_compareWindows.removeAll(nullptr);
        m_compareWindows.append(compare);
        compare->show();
        compare->raise();
        compare->activateWindow();
    });
    m_drugPicker->show();
    m_drugPicker->raise();
    m_drugPicker->activateWindow();
}

void Form19::refreshReadingWindows(qint64 key) {
    std::optional<DrugLeaflet> drug;
    try {
        drug = readDrug(m_drugFile, key);
    } catch (const DatabaseError&) {
        drug.reset(); // nothing stale stays on screen: the window closes
    }
    for (ReadingWindow* window : readingWindows()) {
        if (window->drugKey() != key)
            continue;
        if (drug) {
            window->showDrug(*drug);
            keepInReadingWindow(window); // its names may have changed
        } else
            window->close();
    }
}

void Form19::showLeafletMenu(const QPoint& at) {
    QMenu* menu = Text1->createStandardContextMenu(at);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addSeparator();
    QAction* read = menu->addAction(QStringLiteral("说明书阅读"), this, &Form19::openReadingWindow);
    read->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    read->setEnabled(m_chosenDrug.has_value());
    // What the user keeps, where a newcomer looks for what the program can do with a drug.
    QAction* favourite = menu->addAction(QStringLiteral("收藏 / 取消收藏"), this, &Form19::toggleFavourite);
    favourite->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    favourite->setEnabled(m_chosenNames.has_value());
    menu->addAction(QStringLiteral("我的收藏"), this, &Form19::showFavourites)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));
    menu->addAction(QStringLiteral("最近查看"), this, &Form19::showRecent)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    menu->addAction(QStringLiteral("我的笔记"), this, &Form19::openNotesWindow)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    menu->popup(Text1->viewport()->mapToGlobal(at));
}
