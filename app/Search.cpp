// The search button: opens a fresh letter keypad; the main window's activation runs the search.
// Ctrl+F: the find window, which searches names and leaflets for any text.

#include "app/FindWindow.h"
#include "app/Form19.h"
#include "app/ReadingWindow.h"

#include "data/DatabaseError.h"
#include "data/DrugFile.h"
#include "data/NamesList.h"
#include "data/SqlTexts.h"
#include "data/Statement.h"
#include "keypad/Form2.h"
#include "pinyin/FindText.h"
#include "platform/Twips.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

static_assert(int(FindRank::None) == FindRankNone);

// The drugs whose notes hold text, Latin letters in any case.
QList<DrugNames> notedDrugs(UserStore& store, const QString& text) {
    QList<DrugNames> names;
    for (const UserNote& note : store.notes()) {
        if (note.text.contains(text, Qt::CaseInsensitive))
            names.append(note.drug);
    }
    return names;
}

// The find window's ranking inside the query: the text is bound, and prepared once per search.
void defineFindRank(DrugConnection& connection) {
    if (connection.hasFunction(FindRankFunction))
        return;
    connection.defineFunction(
        FindRankFunction, 3,
        [typed = QByteArray(), text = FindText({})](std::span<const QByteArrayView> names) mutable {
            if (names[2] != typed) {
                typed = names[2].toByteArray();
                // Every character typed is searched for, a leading U+FEFF (pasted) too.
                text = FindText(storedText(typed));
            }
            return qint64(text.rank(names[0], names[1]));
        });
}

} // namespace

void Form19::Image4_Click() {
    Image4->setFrameStyle(1); // kept until the pointer moves over the keypad
    m_keypadState.KeypadTop = 6480;
    m_keypadState.KeypadLeft = 4800;
    m_keypadState.KeypadActive = 1;
    delete m_keypad.data(); // an open keypad is unloaded and loaded afresh

    auto* keypad = new Form2(m_keypadState, m_platform.clock);
    m_keypad = keypad;
    connect(keypad, &Form2::pointerMovedOverBackground, Image4, [this] { Image4->setFrameStyle(0); });
    connect(keypad, &Form2::returned, this, [this] {
        switch (m_handOver.keypadReturned(windowKind(QGuiApplication::focusWindow()))) {
        case KeypadHandOver::Return::Refill:
            Form_Activate();
            break;
        case KeypadHandOver::Return::ActivateMainWindow:
            activateWindow();
            raise();
            break;
        }
    });
    connect(keypad, &QObject::destroyed, this, [this] { m_handOver.keypadClosed(); });
    keypad->show();
    m_handOver.keypadOpened();
    keypad->raise();
    keypad->activateWindow();
    m_keypadState.KeypadLetters.clear();
}

FindWindow* Form19::findWindow() const {
    return m_findWindow.data();
}

void Form19::openFindWindow() {
    if (!m_findWindow) {
        m_findWindow = new FindWindow();
        connect(m_findWindow, &FindWindow::searchRequested, this,
                [this](const QString& text, bool inLeaflets, bool inNotes) {
                    m_findWindow->showResult(findDrugs(text, inLeaflets, inNotes));
                });
        connect(m_findWindow, &FindWindow::favouritesRequested, this, &Form19::showFavourites);
        connect(m_findWindow, &FindWindow::recentRequested, this, &Form19::showRecent);
        connect(m_findWindow, &FindWindow::notesRequested, this, &Form19::openNotesWindow);
        const QRect leaflet(mapToGlobal(Text1->geometry().topLeft()), Text1->size());
        const QScreen* screen = this->screen();
        const QPoint place = findWindowPlace(frameGeometry(), leaflet, m_findWindow->frameGeometry().size(),
                                             screen ? screen->availableGeometry() : QRect());
        m_findWindow->Move(toTwips(place.x()), toTwips(place.y()));
    }
    m_findWindow->show();
    m_findWindow->raise();
    m_findWindow->activateWindow();
    m_findWindow->textBox->setFocus();
    m_findWindow->textBox->selectAll();
}

QList<DrugLeaflet> Form19::findDrugsToCompare(const QString& text) {
    // As the find window finds them by name and pinyin, the best first, without the main list.
    constexpr qsizetype Shown = 200;
    QList<DrugLeaflet> found;
    if (text.isEmpty() || !QStringView(text).isValidUtf16())
        return found;
    DrugRecordset& recordset = m_drugFile.recordset();
    try {
        defineFindRank(m_drugFile.connection());
        recordset.Open(RankedFindInNamesQuery, m_drugFile.connection(), adOpenKeyset, adLockReadOnly, {Cell(text)});
        for (; !recordset.atEnd() && found.size() < Shown; recordset.MoveNext())
            found.append(drugLeafletAt(recordset));
        recordset.Close();
    } catch (const DatabaseError& error) {
        recordset.Close();
        reportDatabaseError(error.message());
    }
    return found;
}

QString Form19::findDrugs(const QString& text, bool inLeaflets, bool inNotes) {
    if (text.isEmpty())
        return QStringLiteral("请输入要查找的文字");
    if (!QStringView(text).isValidUtf16())
        return QStringLiteral("要查找的文字中有无法识别的字符（不成对的 UTF-16 代理项），请删去后再试");
    std::optional<QList<DrugNames>> noted;
    if (inNotes) {
        UserStore* store = userStore();
        if (!store)
            return QStringLiteral("无法打开您的笔记，没有查找");
        try {
            noted = notedDrugs(*store, text);
        } catch (const DatabaseError& error) {
            reportDatabaseError(error.message());
            return QStringLiteral("查找失败");
        }
    }
    try {
        defineFindRank(m_drugFile.connection());
        if (noted) {
            defineListedFunction(m_drugFile.connection());
            const Cell names(namesListText(*noted));
            if (inLeaflets)
                FillDrugList(RankedFindInNamesLeafletsAndNotesQuery, {Cell(text), Cell(likePattern(text)), names});
            else
                FillDrugList(RankedFindInNamesAndNotesQuery, {Cell(text), Cell(), names});
            if (inLeaflets)
                m_leafletFindText = text;
        } else if (inLeaflets) {
            FillDrugList(RankedFindInNamesAndLeafletsQuery, {Cell(text), Cell(likePattern(text))});
            m_leafletFindText = text; // a reading window opened on one of them shows where
        } else {
            FillDrugList(RankedFindInNamesQuery, {Cell(text)});
        }
    } catch (const DatabaseError& error) {
        reportDatabaseError(error.message());
        return QStringLiteral("查找失败");
    }
    const qint64 found = m_list.resultSize();
    if (found == 0)
        return QStringLiteral("没有找到");
    if (found > m_list.ListCount.toNumber())
        return QStringLiteral("找到 %1 种药品，列表中是前 %2 种").arg(found).arg(m_list.ListCount.toText());
    return QStringLiteral("找到 %1 种药品").arg(found);
}
