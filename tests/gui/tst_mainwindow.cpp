#include "app/AboutWindow.h"
#include "app/FindWindow.h"
#include "data/DataInfo.h"
#include "data/DrugFile.h"
#include "data/DrugSchema.h"
#include "keypad/Form2.h"
#include "pinyin/PinyinInitials.h"
#include "tests/support/MainWindowFixture.h"
#include "tests/support/ProgramRun.h"

#include <QFontInfo>
#include <QMenu>
#include <QtTest>

class TestMainWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { prepareTestApplication(); }
    void commandLineWithoutADisplay_data();
    void commandLineWithoutADisplay();
    void layout();
    void controls_data();
    void controls();
    void startsAtTheTopLeftCorner();
    void nothingListedBeforeTheKeypad();
    void roadOfOneSearch();
    void sameLettersAgainReturnToTheFirstEntry();
    void comingBackFromAnotherWindowRunsNothing();
    void clickIntoTheMainWindowRefillsBeforeTheClick();
    void aboutShowsTheVersions();
};

void TestMainWindow::aboutShowsTheVersions() {
    MainWindowFixture fixture;
    fixture.file.insert(QStringLiteral("阿莫西林"));
    DrugConnection& connection = fixture.file.connection();
    connection.beginTransaction();
    writeDataInfo(connection,
                  {{DataVersionItem, QStringLiteral("2026.1")}, {RevisionDateItem, QStringLiteral("2026-02-28")}});
    connection.commit();
    Form19& form = fixture.open();
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    const QList<QWidget*> controls = form.findChildren<QWidget*>();
    QTest::keyClick(&form, Qt::Key_F1);
    QVERIFY(form.aboutWindow());
    const QString text = form.aboutWindow()->text();
    for (const QString& shown :
         {QStringLiteral("西药手册 xiyao " XIYAO_VERSION_TEXT "\n"), QStringLiteral("数据版本：2026.1\n"),
          QStringLiteral("修订日期：2026-02-28\n"), QStringLiteral("来源：未知\n"), QStringLiteral("本地修改次数：0\n"),
          QStringLiteral("药品数：1\n"), fixture.drugFile.describe(), QStringLiteral("LGPLv3"),
          QStringLiteral("Unicode 许可证")})
        QVERIFY2(text.contains(shown), qPrintable(shown));
    // The main window keeps its controls and its size.
    QCOMPARE(form.findChildren<QWidget*>(), controls);
    QCOMPARE(form.size(), QSize(778, 633));

    // From the find window too, read afresh.
    form.aboutWindow()->close();
    QTRY_VERIFY(!form.aboutWindow());
    connection.beginTransaction();
    countLocalChange(connection);
    connection.commit();
    form.openFindWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.findWindow()));
    QTest::keyClick(form.findWindow()->textBox, Qt::Key_F1);
    QVERIFY(form.aboutWindow());
    QVERIFY(form.aboutWindow()->text().contains(QStringLiteral("本地修改次数：1\n")));
}

void TestMainWindow::layout() {
    MainWindowFixture fixture;
    Form19& form = fixture.open();
    QVERIFY(form.isLoaded());
    QCOMPARE(form.windowTitle(), QStringLiteral("西药手册"));
    QCOMPARE(form.size(), QSize(778, 633));
    QVERIFY(form.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(!form.windowIcon().isNull());
    // Qt's own texts are Chinese too: the boxes' context menu.
    const std::unique_ptr<QMenu> menu(form.Text11->createStandardContextMenu());
    QCOMPARE(menu->actions().first()->text(), QStringLiteral("撤消(&U)\tCtrl+Z"));
    // The list rows and the two name labels are drawn in the Song face.
    QCOMPARE(QFontInfo(form.Label4[0]->font()).family(), QStringLiteral("AR PL UMing CN"));
    QCOMPARE(form.Label4[0]->font().pointSizeF(), 10.5);
    QCOMPARE(form.Label9->font().pointSizeF(), 12.0);
    for (const ListRow* row : form.Label4) {
        QCOMPARE(row->caption(), QString());
        QCOMPARE(row->foreColor(), ButtonTextColor);
    }
    QCOMPARE(form.drugView().LeafletPage, 1);
    QVERIFY(form.resultList().ListCount.isEmpty());
    QVERIFY(!fixture.drugFile.recordset().isOpen());
}

void TestMainWindow::controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("pixels");
    // Twips divided by 15.
    QTest::newRow("Text6") << QStringLiteral("Text6") << QRect(240, 568, 241, 25);
    QTest::newRow("Text11") << QStringLiteral("Text11") << QRect(240, 544, 241, 25);
    QTest::newRow("Text1") << QStringLiteral("Text1") << QRect(288, 40, 465, 489);
    QTest::newRow("Image4") << QStringLiteral("Image4") << QRect(496, 536, 81, 31);
    QTest::newRow("Image6") << QStringLiteral("Image6") << QRect(672, 571, 81, 31);
    QTest::newRow("Image10") << QStringLiteral("Image10") << QRect(24, 536, 201, 65);
    QTest::newRow("Label2 beyond the edge") << QStringLiteral("Label2") << QRect(808, 136, 105, 25);
    QTest::newRow("Image9 beyond the edge") << QStringLiteral("Image9") << QRect(808, 328, 81, 31);
    QTest::newRow("Label4 0") << QStringLiteral("Label4 0") << QRect(56, 48, 200, 22);
    QTest::newRow("Label4 22") << QStringLiteral("Label4 22") << QRect(56, 504, 200, 22);
    QTest::newRow("Label20") << QStringLiteral("Label20") << QRect(264, 40, 17, 9);
    QTest::newRow("Label12") << QStringLiteral("Label12") << QRect(264, 520, 17, 9);
    QTest::newRow("Picture1") << QStringLiteral("Picture1") << QRect(267, 49, 12, 12);
}

void TestMainWindow::controls() {
    QFETCH(QString, name);
    QFETCH(QRect, pixels);
    MainWindowFixture fixture;
    Form19& form = fixture.open();
    const QHash<QString, QWidget*> byName = {
        {QStringLiteral("Text6"), form.Text6},        {QStringLiteral("Text11"), form.Text11},
        {QStringLiteral("Text1"), form.Text1},        {QStringLiteral("Image4"), form.Image4},
        {QStringLiteral("Image6"), form.Image6},      {QStringLiteral("Image10"), form.Image10},
        {QStringLiteral("Label2"), form.Label2},      {QStringLiteral("Image9"), form.Image9},
        {QStringLiteral("Label4 0"), form.Label4[0]}, {QStringLiteral("Label4 22"), form.Label4[22]},
        {QStringLiteral("Label20"), form.Label20},    {QStringLiteral("Label12"), form.Label12},
        {QStringLiteral("Picture1"), form.Picture1},
    };
    QCOMPARE(byName.value(name)->geometry(), pixels);
}

void TestMainWindow::startsAtTheTopLeftCorner() {
    MainWindowFixture fixture;
    Form19& form = fixture.open();
    QCOMPARE(form.pos(), QPoint(0, 0));
    QCOMPARE(form.Left(), 0.0);
    QCOMPARE(form.Top(), 0.0);
}

void TestMainWindow::nothingListedBeforeTheKeypad() {
    MainWindowFixture fixture;
    fixture.file.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("AMXL")));
    Form19& form = fixture.open();
    form.Form_Activate();
    fixture.comeBackFromAnotherWindow();
    QCOMPARE(fixture.rowCaptions(), QStringList(23, QString()));
    QVERIFY(form.resultList().ListCount.isEmpty());
}

void TestMainWindow::roadOfOneSearch() {
    MainWindowFixture fixture;
    for (const QString& name : {QStringLiteral("阿莫西林"), QStringLiteral("布洛芬"), QStringLiteral("阿司匹林")})
        fixture.file.insert(name, Cell(PinyinInitials(name)));
    fixture.file.insert(QStringLiteral("无拼音"), Cell::null());
    Form19& form = fixture.open();

    fixture.search(QStringLiteral("a"));
    QCOMPARE(form.keypadState().KeypadLetters, QStringLiteral("a"));
    QCOMPARE(form.keypadState().KeypadActive, 1.0f);
    QCOMPARE(form.resultList().ListCount.toNumber(), 2.0);
    QStringList expected = {QStringLiteral("阿莫西林"), QStringLiteral("阿司匹林")};
    expected.append(QStringList(21, QString()));
    QCOMPARE(fixture.rowCaptions(), expected);
    QVERIFY(!fixture.drugFile.recordset().isOpen());

    // No letters: every drug whose initials are not Null.
    fixture.search(QString());
    QCOMPARE(form.resultList().ListCount.toNumber(), 3.0);
}

void TestMainWindow::sameLettersAgainReturnToTheFirstEntry() {
    MainWindowFixture fixture;
    for (int i = 0; i < 30; ++i)
        fixture.file.insert(QStringLiteral("药%1").arg(i), Cell(QStringLiteral("Y")));
    Form19& form = fixture.open();
    fixture.search(QStringLiteral("y"));
    form.Label12_Click();
    form.Label12_Click();
    QCOMPARE(form.resultList().ListTop, 2);
    fixture.search(QStringLiteral("y"));
    QCOMPARE(form.resultList().ListTop, 0);
    QCOMPARE(form.resultList().thumbTop(), 730.0);
    QCOMPARE(form.Label4[0]->caption(), QStringLiteral("药0"));
    form.Label12_Click();
    QCOMPARE(form.Label4[0]->caption(), QStringLiteral("药1"));
}

void TestMainWindow::comingBackFromAnotherWindowRunsNothing() {
    MainWindowFixture fixture;
    for (int i = 0; i < 30; ++i)
        fixture.file.insert(QStringLiteral("药%1").arg(i), Cell(QStringLiteral("Y")));
    Form19& form = fixture.open();
    fixture.search(QStringLiteral("y"));
    form.Label12_Click();
    QCOMPARE(form.resultList().ListTop, 1);

    // A message box or another program was active: coming back keeps the list as it is.
    fixture.comeBackFromAnotherWindow();
    QCOMPARE(form.resultList().ListTop, 1);

    // Coming back from the open keypad refills with the letters it holds.
    form.Image4_Click();
    QTRY_VERIFY(QApplication::focusWindow() == form.keypad()->windowHandle());
    form.keypad()->Command2_Click(24);
    form.activateWindow();
    QTRY_VERIFY(QApplication::focusWindow() == form.windowHandle());
    QCOMPARE(form.resultList().ListTop, 0);
    QVERIFY(form.keypad() != nullptr); // a click into the main window leaves the keypad loaded
}

void TestMainWindow::clickIntoTheMainWindowRefillsBeforeTheClick() {
    MainWindowFixture fixture;
    fixture.file.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("AMXL")));
    fixture.file.insert(QStringLiteral("布洛芬"), Cell(QStringLiteral("BLF")));
    Form19& form = fixture.open();
    fixture.search(QStringLiteral("a"));
    QCOMPARE(form.Label4[0]->caption(), QStringLiteral("阿莫西林"));

    form.Image4_Click();
    QTRY_VERIFY(QApplication::focusWindow() == form.keypad()->windowHandle());
    form.keypad()->Command2_Click(1); // b
    // The press reaches the main window while the keypad is still the active window.
    QTest::mouseClick(form.Label4[0], Qt::LeftButton);
    QCOMPARE(form.Text11->text(), QStringLiteral("布洛芬"));

    // That press brought no activation (a desktop that does not activate on click): a
    // second press refills again.
    QVERIFY(QApplication::focusWindow() == form.keypad()->windowHandle());
    form.keypad()->Command3_Click();
    form.keypad()->Command2_Click(0); // a
    QTest::mouseClick(form.Label4[0], Qt::LeftButton);
    QCOMPARE(form.Text11->text(), QStringLiteral("阿莫西林"));
}

void TestMainWindow::commandLineWithoutADisplay_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    QTest::newRow("--version") << QStringList{QStringLiteral("--version")} << 0
                               << QStringLiteral("西药手册 xiyao " XIYAO_VERSION_TEXT);
    QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << 0 << QStringLiteral("--install-desktop-entry");
    QTest::newRow("--help after Qt's own option")
        << QStringList{QStringLiteral("-platform"), QStringLiteral("xcb"), QStringLiteral("--help")} << 0
        << QStringLiteral("用法：xiyao");
    QTest::newRow("an unknown option") << QStringList{QStringLiteral("--verison")} << 2
                                       << QStringLiteral("未知的选项“--verison”");
    QTest::newRow("--server without its URL")
        << QStringList{QStringLiteral("--server")} << 2 << QStringLiteral("选项 --server 后面要写数据库服务器的地址");
    QTest::newRow("a file name") << QStringList{QStringLiteral("qintabo.m")} << 2
                                 << QStringLiteral("多余的参数“qintabo.m”");
}

void TestMainWindow::commandLineWithoutADisplay() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, says);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    const ProgramRun run = runProgram(QStringLiteral(XIYAO_PROGRAM), arguments, {}, environment);
    QCOMPARE(run.status, status);
    QVERIFY2((QString::fromUtf8(run.out) + run.err).contains(says), qPrintable(run.err));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
