// What the user keeps beside the drug file, through the windows: favourites, the drugs shown
// last, notes, and a store that cannot be used.

#include "app/CompareWindow.h"
#include "app/FindWindow.h"
#include "app/NoteEditor.h"
#include "app/NotesWindow.h"
#include "app/ReadingWindow.h"
#include "data/DrugSchema.h"
#include "data/ServerConnection.h"
#include "data/SqlTexts.h"
#include "exchange/DrugImport.h"
#include "exchange/DrugPublish.h"
#include "tests/support/MainWindowFixture.h"

#include <QBuffer>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTreeWidget>
#include <QtTest>

namespace {

const DrugNames Amoxicillin{QStringLiteral("阿莫西林"), QStringLiteral("Amoxicillin")};
const DrugNames Ibuprofen{QStringLiteral("布洛芬"), QStringLiteral("Ibuprofen")};
const DrugNames Aspirin{QStringLiteral("阿司匹林"), QString()}; // no English name: NULL in the file

// Three drugs in the file and in the list: 阿莫西林, 布洛芬, 阿司匹林.
Form19& listThreeDrugs(MainWindowFixture& fixture) {
    fixture.file.insert(Amoxicillin.chineseName, Cell(QStringLiteral("AMXL")), Amoxicillin.englishName,
                        QStringLiteral("【用法用量】口服。"));
    fixture.file.insert(Ibuprofen.chineseName, Cell(QStringLiteral("BLF")), Ibuprofen.englishName,
                        QStringLiteral("【用法用量】饭后服。"));
    fixture.file.insert(Aspirin.chineseName, Cell(QStringLiteral("ASPL")));
    Form19& form = fixture.open();
    form.FillDrugList(FullTableQuery);
    return form;
}

// The store as another program sees it: through a connection of its own.
UserStore storeOf(MainWindowFixture& fixture) {
    return UserStore(fixture.userFile.path());
}

} // namespace

class TestKeeping : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void favouritesAndRecentFillTheList();
    void noteInTheReadingWindow();
    void unmatchedNoteAttachedAndDeleted();
    void findSearchesTheNotes();
    void storeThatCannotBeUsed_data();
    void storeThatCannotBeUsed();
    void keysOnX();

private:
    QTemporaryDir m_config;
};

void TestKeeping::initTestCase() {
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    prepareTestApplication();
}

void TestKeeping::favouritesAndRecentFillTheList() {
    MainWindowFixture fixture;
    Form19& form = listThreeDrugs(fixture);
    form.toggleFavourite(); // nothing chosen
    QCOMPARE(fixture.fakes.dialogs.messages.size(), 1);
    QVERIFY(fixture.fakes.dialogs.messages.takeFirst().contains(QStringLiteral("没有选中药品")));
    QVERIFY(!fixture.userFile.isOpen()); // nothing asked of the store yet

    // Ctrl+D from the leaflet box, which has editing keys of its own.
    for (int row : {2, 0, 1}) {
        form.Label4_Click(row);
        form.Text1->setFocus();
        QTest::keyClick(form.Text1, Qt::Key_D, Qt::ControlModifier);
    }
    QVERIFY(form.lastNotice().contains(QStringLiteral("已收藏：布洛芬（Ibuprofen）")));
    form.Label4_Click(0);
    QTest::keyClick(&form, Qt::Key_D, Qt::ControlModifier); // and off again
    QVERIFY(form.lastNotice().contains(QStringLiteral("已取消收藏：阿莫西林")));
    form.Label4_Click(5); // below the list's end: nothing chosen, nothing recorded
    form.toggleFavourite();
    QVERIFY(fixture.fakes.dialogs.messages.takeFirst().contains(QStringLiteral("没有选中药品")));
    QCOMPARE(storeOf(fixture).favourites(), (QList<DrugNames>{Ibuprofen, Aspirin}));
    QCOMPARE(storeOf(fixture).recent(), (QList<DrugNames>{Amoxicillin, Ibuprofen, Aspirin}));

    QTest::keyClick(&form, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(fixture.rowCaptions().mid(0, 3), (QStringList{Ibuprofen.chineseName, Aspirin.chineseName, QString()}));
    QCOMPARE(form.lastNotice(), QStringLiteral("我的收藏：列出 2 种药品"));
    // The list behaves as after any refill: a click chooses, 删除 deletes and reloads the table.
    form.Label4_Click(0);
    QCOMPARE(form.Text11->text(), Ibuprofen.chineseName);
    form.Image11_Click();
    QCOMPARE(fixture.file.readAll().size(), 2);
    fixture.fakes.dialogs.messages.clear(); // what 删除 says
    QTest::keyClick(&form, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(fixture.rowCaptions().mid(0, 2), (QStringList{Aspirin.chineseName, QString()}));
    QCOMPARE(form.lastNotice(),
             QStringLiteral("我的收藏：列出 1 种药品；另有 1 种已不在药品数据库中（可能已被删除或改名），未列出"));

    // 最近查看: the newest first, each once, the deleted one left out.
    QTest::keyClick(&form, Qt::Key_H, Qt::ControlModifier);
    QCOMPARE(fixture.rowCaptions().mid(0, 3), (QStringList{Amoxicillin.chineseName, Aspirin.chineseName, QString()}));
    QVERIFY(form.lastNotice().contains(QStringLiteral("另有 1 种")));
    QVERIFY2(fixture.fakes.dialogs.messages.isEmpty(), qPrintable(fixture.fakes.dialogs.messages.join(u'\n')));

    // Nothing kept yet in a fresh store: the hint over the empty list says how.
    MainWindowFixture fresh;
    Form19& empty = listThreeDrugs(fresh);
    empty.showFavourites();
    QVERIFY(empty.findHint()->isVisible());
    QVERIFY(empty.findHint()->text().contains(QStringLiteral("Ctrl+D")));
    // A keypad search that finds nothing shows its own hint again.
    empty.keypadState().KeypadActive = 1;
    empty.keypadState().KeypadLetters = QStringLiteral("zzz");
    empty.Form_Activate();
    QVERIFY(empty.findHint()->text().contains(QStringLiteral("Ctrl+F")));
}

void TestKeeping::noteInTheReadingWindow() {
    MainWindowFixture fixture;
    Form19& form = listThreeDrugs(fixture);
    storeOf(fixture).setNote(Amoxicillin, QStringLiteral("皮试阴性后用"));
    form.Label4_Click(0);
    form.openReadingWindow();
    ReadingWindow* window = form.readingWindows().constFirst();
    NoteEditor* note = window->noteEditor;
    QCOMPARE(note->textBox->toPlainText(), QStringLiteral("皮试阴性后用"));
    QVERIFY(!window->favouriteButton->isChecked());

    // Saved a moment after the typing stops, without a button.
    note->setSaveDelay(50);
    note->textBox->moveCursor(QTextCursor::End);
    note->textBox->insertPlainText(QStringLiteral("，儿童减量"));
    QVERIFY(note->hasUnsaved());
    QTRY_COMPARE(storeOf(fixture).note(Amoxicillin), QStringLiteral("皮试阴性后用，儿童减量"));
    QCOMPARE(note->statusLabel->text(), QStringLiteral("已保存"));
    // And at once when the window closes.
    note->textBox->insertPlainText(QStringLiteral("😀"));
    window->close();
    QCOMPARE(storeOf(fixture).note(Amoxicillin), QStringLiteral("皮试阴性后用，儿童减量😀"));

    // 收藏 in the reading window is the main window's favourite.
    form.openReadingWindow();
    window = form.readingWindows().constFirst();
    window->favouriteButton->click();
    QVERIFY(window->favouriteButton->isChecked());
    QCOMPARE(storeOf(fixture).favourites(), QList<DrugNames>{Amoxicillin});
    // 修改 that renames the drug takes its note, typed a moment ago too, and its favourite along.
    window->noteEditor->textBox->insertPlainText(QStringLiteral("！"));
    const DrugNames renamed{QStringLiteral("阿莫西林胶囊"), Amoxicillin.englishName};
    form.Text11->setText(renamed.chineseName);
    form.Image7_Click();
    QCOMPARE(window->drug().chineseName, renamed.chineseName);
    QCOMPARE(window->noteEditor->textBox->toPlainText(), QStringLiteral("！皮试阴性后用，儿童减量😀"));
    QVERIFY(window->favouriteButton->isChecked());
    QCOMPARE(storeOf(fixture).notes().size(), 1);
    QCOMPARE(storeOf(fixture).favourites(), QList<DrugNames>{renamed});
    window->noteEditor->textBox->clear(); // an emptied note is no note
    QVERIFY(window->noteEditor->saveNow());
    QVERIFY(storeOf(fixture).notes().isEmpty());

    // A note that cannot be saved stays in the box, says so, and closing asks first.
    window->noteEditor->textBox->insertPlainText(QStringLiteral("新笔记"));
    fixture.userFile.store().setBusyTimeout(std::chrono::milliseconds(20));
    {
        UserStore locker(fixture.userFile.path());
        locker.inTransaction([&] {
            fixture.fakes.dialogs.answers = {false};
            window->close(); // the store is locked by the other connection's transaction
        });
    }
    QVERIFY(window->isVisible());
    QVERIFY(window->noteEditor->statusLabel->text().contains(QStringLiteral("笔记未能保存")));
    QCOMPARE(window->noteEditor->textBox->toPlainText(), QStringLiteral("新笔记"));
    QVERIFY(window->noteEditor->saveNow()); // the lock has gone
    QCOMPARE(storeOf(fixture).note(renamed), QStringLiteral("新笔记"));
    // 退出 ends the process at once: what was typed a moment ago is stored first.
    window->noteEditor->setSaveDelay(NoteEditor::SaveDelay);
    window->noteEditor->textBox->insertPlainText(QStringLiteral("，退出前"));
    form.Image6_Click();
    QCOMPARE(fixture.fakes.process.endings, QList<int>{0});
    QCOMPARE(storeOf(fixture).note(renamed), QStringLiteral("新笔记，退出前"));
}

void TestKeeping::unmatchedNoteAttachedAndDeleted() {
    MainWindowFixture fixture;
    Form19& form = listThreeDrugs(fixture);
    storeOf(fixture).setNote(Amoxicillin, QStringLiteral("旧版的笔记"));
    storeOf(fixture).setFavourite(Amoxicillin, true);
    storeOf(fixture).setNote(Ibuprofen, QStringLiteral("胃溃疡慎用"));
    // The maintainer's new edition renames 阿莫西林 and renumbers every drug.
    QBuffer edition;
    edition.setData(QStringLiteral("中文名,英文名,药物说明书\n阿莫西林胶囊,Amoxicillin,【用法用量】口服。\n"
                                   "布洛芬,Ibuprofen,【用法用量】饭后服。\n阿司匹林,,\n")
                        .toUtf8());
    QVERIFY(edition.open(QIODevice::ReadOnly));
    if (ServerConnection* server = fixture.file.server()) {
        // On a shared list the maintainer publishes the edition in place of the server's drugs.
        DrugConnection edited;
        edited.openFile(fixture.file.path(), DrugPassword);
        importDrugs(edited, edition, ImportMode::Replace);
        QCOMPARE(publishDrugs(edited, *server, PublishMode::Replace).deleted, 3);
    } else {
        QCOMPARE(importDrugs(fixture.drugFile.connection(), edition, ImportMode::Replace).deleted, 3);
    }
    form.showFavourites();
    QVERIFY(form.lastNotice().contains(QStringLiteral("另有 1 种已不在药品数据库中")));

    QTest::keyClick(&form, Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    NotesWindow* notes = form.notesWindow();
    QVERIFY(notes && notes->isVisible());
    QVERIFY(notes->summaryLabel->text().contains(QStringLiteral("其中 1 条未找到对应药品")));
    notes->unmatchedOnlyBox->setChecked(true);
    QCOMPARE(notes->noteList->topLevelItemCount(), 1);
    QCOMPARE(notes->noteList->topLevelItem(0)->text(2), QStringLiteral("未找到对应药品"));

    // Attached to the drug of the new edition, found as the find window finds it.
    const DrugNames renamed{QStringLiteral("阿莫西林胶囊"), Amoxicillin.englishName};
    notes->attachButton->click();
    DrugPicker* picker = form.drugPicker();
    QVERIFY(picker && picker->isVisible());
    picker->textBox->setText(QStringLiteral("amoxi"));
    picker->search();
    picker->pick(0);
    QCOMPARE(storeOf(fixture).note(renamed), QStringLiteral("旧版的笔记"));
    QCOMPARE(storeOf(fixture).note(Amoxicillin), QString());
    QVERIFY(notes->summaryLabel->text().contains(QStringLiteral("共 2 条笔记，都有对应的药品")));

    // Deleted only when the user says yes.
    notes->unmatchedOnlyBox->setChecked(false);
    fixture.fakes.dialogs.answers = {false, true};
    notes->deleteButton->click();
    QCOMPARE(storeOf(fixture).notes().size(), 2);
    notes->deleteButton->click();
    QCOMPARE(storeOf(fixture).notes().size(), 1);
}

void TestKeeping::findSearchesTheNotes() {
    MainWindowFixture fixture;
    Form19& form = listThreeDrugs(fixture);
    storeOf(fixture).setNote(Aspirin, QStringLiteral("Reye 综合征：儿童慎用"));
    storeOf(fixture).setNote(Ibuprofen, QStringLiteral("儿童用混悬液"));
    storeOf(fixture).setNote({QStringLiteral("已删除的药"), QString()}, QStringLiteral("儿童"));
    form.openFindWindow();
    FindWindow* find = form.findWindow();
    find->textBox->setText(QStringLiteral("儿童"));
    find->search();
    QCOMPARE(find->resultLabel->text(), QStringLiteral("没有找到"));
    find->notesBox->setChecked(true);
    find->search();
    QCOMPARE(find->resultLabel->text(), QStringLiteral("找到 2 种药品"));
    QCOMPARE(fixture.rowCaptions().mid(0, 3), (QStringList{Ibuprofen.chineseName, Aspirin.chineseName, QString()}));
    // Names first, then the notes; Latin letters in any case.
    find->textBox->setText(QStringLiteral("reye"));
    find->leafletsBox->setChecked(true);
    find->search();
    QCOMPARE(fixture.rowCaptions().mid(0, 2), (QStringList{Aspirin.chineseName, QString()}));
}

void TestKeeping::storeThatCannotBeUsed_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("usable"); // after the open
    QTest::newRow("its folder is a file") << "folder is a file" << false;
    QTest::newRow("replaced by a folder") << "store is a folder" << false;
    QTest::newRow("damaged: set aside and made anew") << "garbage" << true;
}

void TestKeeping::storeThatCannotBeUsed() {
    QFETCH(QString, how);
    QFETCH(bool, usable);
    MainWindowFixture fixture;
    const QString path = fixture.userFile.path();
    const QString folder = QFileInfo(path).absolutePath();
    if (how == QLatin1String("folder is a file")) {
        QFile file(folder);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else if (how == QLatin1String("store is a folder")) {
        QVERIFY(QDir().mkpath(path));
    } else {
        QVERIFY(QDir().mkpath(folder));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(8192, 'x'));
    }
    Form19& form = listThreeDrugs(fixture);
    // The handbook works on: a row click shows the drug, and says nothing of the store.
    form.Label4_Click(0);
    QCOMPARE(form.Text11->text(), Amoxicillin.chineseName);
    QStringList& messages = fixture.fakes.dialogs.messages;
    QCOMPARE(messages.size(), usable ? 1 : 0);
    if (usable) {
        QVERIFY2(messages.takeFirst().contains(QStringLiteral("已改名为")), qPrintable(how));
        QCOMPARE(UserStore(path).recent(), QList<DrugNames>{Amoxicillin});
        return;
    }
    form.Label4_Click(1);
    QVERIFY(messages.isEmpty());
    form.openReadingWindow();
    ReadingWindow* window = form.readingWindows().constFirst();
    QVERIFY(!window->noteEditor->isEnabled());
    QVERIFY(!window->favouriteButton->isEnabled());
    // Asked for, it is told in Chinese.
    form.toggleFavourite();
    QCOMPARE(messages.size(), 1);
    QVERIFY(messages[0].contains(QStringLiteral("无法打开您的收藏和笔记文件")));
    QVERIFY(messages[0].contains(QStringLiteral("药品的查找和阅读不受影响")));
    QVERIFY(QFileInfo(how == QLatin1String("folder is a file") ? folder : path).exists()); // nothing removed
}

void TestKeeping::keysOnX() {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X display; tst_keeping_xvfb runs it under Xvfb");
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("跳过：本机缺少 xdotool（scripts/deps 会安装）");
    MainWindowFixture fixture;
    Form19& form = listThreeDrugs(fixture);
    QVERIFY(QTest::qWaitForWindowActive(&form));
    const auto keys = [](const QStringList& arguments) {
        QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), arguments), 0);
    };
    form.Label4_Click(1);
    form.Text1->setFocus(); // a text box that has a Ctrl+D of its own on X
    form.Text1->moveCursor(QTextCursor::Start);
    keys({QStringLiteral("key"), QStringLiteral("ctrl+d")});
    QTRY_COMPARE(storeOf(fixture).favourites(), QList<DrugNames>{Ibuprofen});
    QCOMPARE(form.Text1->text(), QStringLiteral("【用法用量】饭后服。"));
    keys({QStringLiteral("key"), QStringLiteral("ctrl+r")});
    QTRY_COMPARE(form.readingWindows().size(), 1);
    ReadingWindow* window = form.readingWindows().constFirst();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QVERIFY(window->favouriteButton->isChecked());
    keys({QStringLiteral("key"), QStringLiteral("alt+n")}); // the note box's mnemonic
    QTRY_VERIFY(window->noteEditor->textBox->hasFocus());
    keys({QStringLiteral("type"), QStringLiteral("OTC")});
    keys({QStringLiteral("key"), QStringLiteral("Home")});
    keys({QStringLiteral("key"), QStringLiteral("ctrl+d")}); // 收藏 from the note box, not a deleted character
    QTRY_VERIFY(!window->favouriteButton->isChecked());
    keys({QStringLiteral("key"), QStringLiteral("Escape")});
    QTRY_VERIFY(form.readingWindows().isEmpty());
    QCOMPARE(storeOf(fixture).note(Ibuprofen), QStringLiteral("OTC"));
    QVERIFY(storeOf(fixture).favourites().isEmpty());
}

QTEST_MAIN(TestKeeping)
#include "tst_keeping.moc"
