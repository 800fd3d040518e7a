// What the user keeps beside the drug file: favourites, the drugs shown last and notes, in the
// user's own store (UserFile), which is opened at its first use.

#include "app/CompareWindow.h"
#include "app/Form19.h"
#include "app/NoteEditor.h"
#include "app/NotesWindow.h"
#include "app/ReadingWindow.h"

#include "data/DatabaseError.h"
#include "data/DrugFile.h"
#include "data/DrugSchema.h"
#include "data/NamesList.h"
#include "data/SqlTexts.h"
#include "data/UserFile.h"

#include <QPushButton>
#include <QSet>
#include <QToolTip>

namespace {

QString shownName(const DrugNames& drug) {
    return drug.englishName.isEmpty() ? drug.chineseName
                                      : drug.chineseName + QStringLiteral("（") + drug.englishName + u'）';
}

} // namespace

UserStore* Form19::userStore(bool quiet) {
    // A store that failed is tried again only when the user asks for it, not at every row click.
    if (quiet && m_userStoreFailed)
        return nullptr;
    UserStore* store = nullptr;
    try {
        store = &m_userFile.store();
        m_userStoreFailed = false;
    } catch (const DatabaseError& error) {
        m_userStoreFailed = true;
        if (!quiet)
            m_platform.dialogs.inform(
                QStringLiteral(
                    "无法打开您的收藏和笔记文件，收藏、最近查看和笔记暂时不能使用；药品的查找和阅读不受影响。\n%1")
                    .arg(error.message()));
        return nullptr;
    }
    const QString setAside = m_userFile.takeNotice();
    if (!setAside.isEmpty())
        m_platform.dialogs.inform(setAside);
    return store;
}

void Form19::notice(const QString& text) {
    m_lastNotice = text;
    if (isVisible())
        QToolTip::showText(Shape1->mapToGlobal(QPoint(0, 0)), text, this);
}

void Form19::toggleFavourite() {
    if (!m_chosenNames) {
        m_platform.dialogs.inform(QStringLiteral("没有选中药品：请先在列表中点选一种药品，再按 Ctrl+D 收藏。"));
        return;
    }
    UserStore* store = userStore();
    if (!store)
        return;
    try {
        setFavourite(*m_chosenNames, !store->isFavourite(*m_chosenNames));
    } catch (const DatabaseError& error) {
        m_platform.dialogs.inform(QStringLiteral("收藏未能保存：\n%1").arg(error.message()));
    }
}

// Throws DatabaseError; the reading windows of the drug show what was stored.
void Form19::setFavourite(const DrugNames& drug, bool favourite) {
    UserStore* store = userStore();
    if (!store)
        return;
    store->setFavourite(drug, favourite);
    notice(favourite ? QStringLiteral("已收藏：%1。按 Ctrl+Shift+D 列出我的收藏。").arg(shownName(drug))
                     : QStringLiteral("已取消收藏：%1").arg(shownName(drug)));
    for (ReadingWindow* window : readingWindows()) {
        if (DrugNames{window->drug().chineseName, window->drug().englishName} == drug)
            window->favouriteButton->setChecked(favourite);
    }
}

void Form19::showFavourites() {
    fillFromNames(
        &UserStore::favourites, QStringLiteral("我的收藏"),
        QStringLiteral("还没有收藏的药品。在列表中点选一种药品后按 Ctrl+D（或在说明书阅读窗口中点“收藏”）收藏它。"));
}

void Form19::showRecent() {
    fillFromNames(&UserStore::recent, QStringLiteral("最近查看"),
                  QStringLiteral("还没有查看过的药品。在列表中点选的药品会按时间记在这里，最近的在前。"));
}

void Form19::fillFromNames(QList<DrugNames> (UserStore::*kept)(), const QString& what, const QString& whenEmpty) {
    UserStore* store = userStore();
    if (!store)
        return;
    QList<DrugNames> names;
    try {
        names = (store->*kept)();
        defineListedFunction(m_drugFile.connection());
        FillDrugList(ListedDrugsQuery, {Cell(namesListText(names))});
    } catch (const DatabaseError& error) {
        reportDatabaseError(error.message());
        return;
    }
    QSet<QPair<QString, QString>> listed;
    for (qint64 entry = 0; entry < m_list.ListCount.toNumber(); ++entry)
        listed.insert({m_list.RowChineseName[entry].toText(), m_list.RowEnglishName[entry].toText()});
    qsizetype missing = 0;
    for (const DrugNames& drug : names)
        missing += listed.contains({drug.chineseName, drug.englishName}) ? 0 : 1;
    if (names.isEmpty()) {
        m_findHint->setText(whenEmpty);
        m_findHint->show();
        notice(whenEmpty);
        return;
    }
    QString said = QStringLiteral("%1：列出 %2 种药品").arg(what).arg(m_list.ListCount.toText());
    if (missing > 0)
        said += QStringLiteral("；另有 %1 种已不在药品数据库中（可能已被删除或改名），未列出").arg(missing);
    notice(said);
}

void Form19::keepInReadingWindow(ReadingWindow* window) {
    const DrugNames drug{window->drug().chineseName, window->drug().englishName};
    UserStore* store = userStore(true);
    const auto unavailable = [window](const QString& why) {
        window->favouriteButton->setEnabled(false);
        window->favouriteButton->setToolTip(why);
        window->noteEditor->unavailable(why);
    };
    if (!store) {
        unavailable(QStringLiteral("您的收藏和笔记文件无法打开，收藏和笔记暂时不能使用（主窗口按 Ctrl+H 可看原因）"));
        return;
    }
    try {
        window->favouriteButton->setChecked(store->isFavourite(drug));
        window->noteEditor->edit(store->note(drug), [this, drug](const QString& text) {
            try {
                m_userFile.store().setNote(drug, text);
            } catch (const DatabaseError& error) {
                return error.message();
            }
            if (m_notesWindow) // the drug is in the file: no need to look for it there again
                m_notesWindow->showSaved({drug, text});
            return QString();
        });
        window->favouriteButton->setEnabled(true);
    } catch (const DatabaseError& error) {
        unavailable(error.message());
    }
}

bool Form19::notesSavedBeforeLeaving() {
    for (ReadingWindow* window : readingWindows()) {
        if (!window->noteEditor->saveNow() &&
            !m_platform.dialogs.askYesNo(
                QStringLiteral(
                    "您对“%1”的笔记未能保存（原因见阅读窗口中笔记的下方）。仍要退出吗？退出后这次写的笔记会丢失。")
                    .arg(window->drug().chineseName)))
            return false;
    }
    return true;
}

NotesWindow* Form19::notesWindow() const {
    return m_notesWindow.data();
}

void Form19::openNotesWindow() {
    UserStore* store = userStore();
    if (!store)
        return;
    if (!m_notesWindow) {
        m_notesWindow = new NotesWindow();
        connect(m_notesWindow, &NotesWindow::attachRequested, this, &Form19::attachNote);
        connect(m_notesWindow, &NotesWindow::deleteRequested, this, [this](const UserNote& note) {
            if (!m_platform.dialogs.askYesNo(QStringLiteral("您真的要删除对“%1”的笔记吗？").arg(shownName(note.drug))))
                return;
            changeNotes([&](UserStore& notes) { notes.setNote(note.drug, QString()); });
        });
    }
    if (!refreshNotesWindow())
        return;
    m_notesWindow->show();
    m_notesWindow->raise();
    m_notesWindow->activateWindow();
}

bool Form19::refreshNotesWindow() {
    QList<NotesWindow::ListedNote> listed;
    DrugRecordset& recordset = m_drugFile.recordset();
    try {
        const QList<UserNote> notes = m_userFile.store().notes();
        QList<DrugNames> names;
        for (const UserNote& note : notes)
            names.append(note.drug);
        // Which of them the drug file holds: one pass over the file, whatever the number of notes.
        defineListedFunction(m_drugFile.connection());
        recordset.Open(ListedDrugsQuery, m_drugFile.connection(), adOpenKeyset, adLockReadOnly,
                       {Cell(namesListText(names))});
        QSet<QPair<QString, QString>> held;
        for (; !recordset.atEnd(); recordset.MoveNext())
            held.insert({recordset.field(ChineseNameColumn).toText(), recordset.field(EnglishNameColumn).toText()});
        recordset.Close();
        for (const UserNote& note : notes)
            listed.append({note, held.contains({note.drug.chineseName, note.drug.englishName})});
    } catch (const DatabaseError& error) {
        recordset.Close();
        reportDatabaseError(error.message());
        return false;
    }
    m_notesWindow->showNotes(listed);
    return true;
}

void Form19::attachNote(const UserNote& note) {
    delete m_drugPicker.data(); // one question at a time
    m_drugPicker = new DrugPicker(m_notesWindow, [this](const QString& text) { return findDrugsToCompare(text); });
    m_drugPicker->setWindowTitle(QStringLiteral("把“%1”的笔记改挂到哪种药品").arg(shownName(note.drug)));
    connect(m_drugPicker, &DrugPicker::picked, this, [this, note](const DrugLeaflet& other) {
        const DrugNames to{other.chineseName, other.englishName};
        changeNotes([&](UserStore& notes) { notes.moveNote(note.drug, to); });
    });
    m_drugPicker->textBox->setText(note.drug.chineseName);
    m_drugPicker->search();
    m_drugPicker->show();
    m_drugPicker->raise();
    m_drugPicker->activateWindow();
}

void Form19::changeNotes(const std::function<void(UserStore&)>& change) {
    // What the reading windows hold unsaved goes first, so that the change is not undone by it.
    for (ReadingWindow* window : readingWindows())
        window->noteEditor->saveNow();
    try {
        change(m_userFile.store());
    } catch (const DatabaseError& error) {
        m_platform.dialogs.inform(QStringLiteral("笔记未能修改：\n%1").arg(error.message()));
        return;
    }
    for (ReadingWindow* window : readingWindows())
        keepInReadingWindow(window);
    if (m_notesWindow)
        refreshNotesWindow();
}

void Form19::followRenamedDrug(const DrugNames& before, const DrugNames& after) {
    if (before == after)
        return;
    UserStore* store = userStore(true);
    if (!store)
        return;
    // A note typed under the old names is stored before it moves.
    for (ReadingWindow* window : readingWindows())
        window->noteEditor->saveNow();
    DrugRecordset& recordset = m_drugFile.recordset();
    try {
        // Most renamed drugs have nothing kept: the drug file is then not read again.
        const bool favourite = store->isFavourite(before);
        if (!favourite && store->note(before).isEmpty())
            return;
        defineListedFunction(m_drugFile.connection());
        recordset.Open(ListedDrugsQuery, m_drugFile.connection(), adOpenKeyset, adLockReadOnly,
                       {Cell(namesListText({before}))});
        const bool stillNamed = !recordset.atEnd();
        recordset.Close();
        if (stillNamed)
            return;
        store->moveNote(before, after);
        if (favourite) {
            store->setFavourite(after, true);
            store->setFavourite(before, false);
        }
    } catch (const DatabaseError& error) {
        recordset.Close();
        m_platform.dialogs.inform(
            QStringLiteral("药品已修改，但它的笔记或收藏未能随新名称移过去（可在“我的笔记”中改挂）：\n%1")
                .arg(error.message()));
    }
}
