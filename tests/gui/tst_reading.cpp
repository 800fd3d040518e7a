#include "app/CompareWindow.h"
#include "app/Controls.h"
#include "app/FindWindow.h"
#include "app/ReadingWindow.h"
#include "data/SqlTexts.h"
#include "platform/LazyLeafletPaper.h"
#include "tests/support/MainWindowFixture.h"
#include "tests/support/PdfCheck.h"
#include "tests/support/ReadOnlyFile.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTextBrowser>
#include <QtTest>

namespace {

// 阿莫西林 and 布洛芬 with the given leaflets, in the file and in the window's list.
Form19& listTwoDrugs(MainWindowFixture& fixture, const QString& amoxicillin, const QString& ibuprofen) {
    fixture.file.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("AMXL")), QStringLiteral("Amoxicillin"),
                        amoxicillin);
    fixture.file.insert(QStringLiteral("布洛芬"), Cell(QStringLiteral("BLF")), QStringLiteral("Ibuprofen"), ibuprofen);
    Form19& form = fixture.open();
    form.FillDrugList(FullTableQuery);
    return form;
}

// A reading window whose 导出 PDF… writes through the printing module beside the test, as the
// program's does; the questions, messages and file dialog are doubles.
struct ExportingWindow {
    FakePlatform fakes;
    LazyLeafletPaper paper;
    Platform platform{fakes.dialogs, fakes.printer, fakes.urls, fakes.process, fakes.clock, paper, fakes.files};
    ReadingWindow window;

    explicit ExportingWindow(const DrugLeaflet& drug)
        : window(drug, platform) {}
    // Exports to path, with these answers to the questions; the messages shown.
    QStringList exportTo(const QString& path, const QList<bool>& answers = {}) {
        fakes.files.answers = {path};
        fakes.dialogs.answers = answers;
        window.exportButton->click();
        return fakes.dialogs.messages;
    }
};

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(cannot be read)");
}

} // namespace

class TestReading : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void opensForTheChosenDrug();
    void findInTheLeaflet_data();
    void findInTheLeaflet();
    void outlineOfSections();
    void followsChangesAndDeletes();
    void showsWhereTheFindWindowFoundIt();
    void keepsItsPlaceBetweenRuns();
    void shortcutsOnX();
    void sideBySide_data();
    void sideBySide();
    void compareWithADrugFoundByPinyin();
    void exportedPdfHoldsTheLeaflet_data();
    void exportedPdfHoldsTheLeaflet();
    void exportProposesTheDrugsName_data();
    void exportProposesTheDrugsName();
    void exportAsksBeforeReplacing_data();
    void exportAsksBeforeReplacing();
    void exportThatCannotBeWrittenIsTold_data();
    void exportThatCannotBeWrittenIsTold();

private:
    QTemporaryDir m_config;
    FakePlatform m_fakes;
};

void TestReading::initTestCase() {
    // The windows' places go to a configuration of this test's own.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    prepareTestApplication();
}

void TestReading::opensForTheChosenDrug() {
    MainWindowFixture fixture;
    Form19& form = listTwoDrugs(fixture, QStringLiteral("【用法用量】口服。\r\n【禁忌】青霉素过敏者禁用。"),
                                QStringLiteral("【用法用量】饭后服。"));
    form.openReadingWindow(); // listed, none chosen yet
    QCOMPARE(fixture.fakes.dialogs.messages.size(), 1);
    QVERIFY(fixture.fakes.dialogs.messages[0].contains(QStringLiteral("没有选中药品")));
    QVERIFY(form.readingWindows().isEmpty());

    doubleClick(form.Label4[0]); // the first click chooses the drug, the double click opens it
    QCOMPARE(form.readingWindows().size(), 1);
    ReadingWindow* first = form.readingWindows()[0];
    QCOMPARE(first->titleLabel->text(), QStringLiteral("阿莫西林　Amoxicillin"));
    QCOMPARE(first->textBox->text(), QStringLiteral("【用法用量】口服。\r\n【禁忌】青霉素过敏者禁用。"));
    QVERIFY(first->textBox->isReadOnly());
    QVERIFY(first->windowTitle().contains(QStringLiteral("阿莫西林")));

    // The same drug again: its window comes to the front, no second one.
    form.activateWindow();
    QTest::keyClick(&form, Qt::Key_R, Qt::ControlModifier);
    QCOMPARE(form.readingWindows().size(), 1);

    // Another drug from the leaflet box's menu; each window keeps its drug as the list changes.
    form.Label4_Click(1);
    form.Text1->customContextMenuRequested(QPoint(5, 5));
    auto* menu = form.Text1->findChild<QMenu*>();
    QVERIFY(menu);
    const QList<QAction*> actions = menu->actions();
    const auto found = std::find_if(actions.cbegin(), actions.cend(), [](const QAction* action) {
        return action->text() == QStringLiteral("说明书阅读");
    });
    QVERIFY(found != actions.cend());
    QAction* read = *found;
    read->trigger();
    menu->close();
    QCOMPARE(form.readingWindows().size(), 2);
    form.FillDrugList(keypadQuery(QStringLiteral("zzz")));
    QCOMPARE(form.readingWindows()[0]->drug().chineseName, QStringLiteral("阿莫西林"));
    QCOMPARE(form.readingWindows()[1]->drug().chineseName, QStringLiteral("布洛芬"));
    QCOMPARE(form.Label4[0]->toolTip(), QStringLiteral("双击打开说明书阅读（Ctrl+R）"));
}

void TestReading::findInTheLeaflet_data() {
    QTest::addColumn<QString>("leaflet");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("starts"); // in the shown text, one position per line end
    QTest::newRow("every place, Latin letters in any case")
        << QStringLiteral("Amoxicillin：AMOX 250 mg\r\namox 500 mg") << QStringLiteral("amox") << QList<int>{0, 12, 24};
    QTest::newRow("after line ends") << QStringLiteral("甲\r\n乙\r\n\r\n乙丙") << QStringLiteral("乙")
                                     << QList<int>{2, 5};
    QTest::newRow("not overlapping") << QStringLiteral("aaaa") << QStringLiteral("aa") << QList<int>{0, 2};
    QTest::newRow("beyond the basic plane")
        << QStringLiteral("溴化三苯基𬭩，𬭩盐") << QStringLiteral("𬭩") << QList<int>{5, 8};
    QTest::newRow("nowhere") << QStringLiteral("口服") << QStringLiteral("静脉") << QList<int>{};
    QTest::newRow("nothing typed") << QStringLiteral("口服") << QString() << QList<int>{};
}

void TestReading::findInTheLeaflet() {
    QFETCH(QString, leaflet);
    QFETCH(QString, text);
    QFETCH(QList<int>, starts);
    ReadingWindow window({1, QStringLiteral("药"), QString(), leaflet}, m_fakes.platform);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.findBox->setText(text);
    QCOMPARE(window.matchCount(), starts.size());
    QCOMPARE(window.textBox->extraSelections().size(), starts.size());
    for (int i = 0; i < starts.size(); ++i) {
        QCOMPARE(window.textBox->extraSelections()[i].cursor.selectionStart(), starts[i]);
        QCOMPARE(window.textBox->extraSelections()[i].cursor.selectedText().compare(text, Qt::CaseInsensitive), 0);
    }
    const QString none = text.isEmpty() ? QString() : QStringLiteral("没有找到");
    QCOMPARE(window.findResult->text(),
             starts.isEmpty() ? none : QStringLiteral("第 1 处，共 %1 处").arg(starts.size()));
    if (starts.isEmpty())
        return;
    // Enter and F3 go on, Shift+F3 and Shift+Enter back, round the ends.
    QTest::keyClick(window.findBox, Qt::Key_Return);
    QCOMPARE(window.currentMatch(), 1 % starts.size());
    QTest::keyClick(window.findBox, Qt::Key_F3, Qt::ShiftModifier);
    QTest::keyClick(window.findBox, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(window.currentMatch(), int(starts.size()) - 1);
    QCOMPARE(window.findResult->text(), QStringLiteral("第 %1 处，共 %1 处").arg(starts.size()));
    QCOMPARE(window.textBox->textCursor().position(), starts.last());
    QCOMPARE(window.textBox->text(), leaflet); // searching changes nothing
}

// The outline lists the sections once each in their order, jumps to a section's first heading
// (a click, Alt+number) across CR LF line ends, and follows the text as it scrolls.
void TestReading::outlineOfSections() {
    QStringList lines{QStringLiteral("本品为示例。")};
    for (const char* heading : {"【适应症】", "【用法用量】", "【注意事项】", "【禁忌】", "【注意事项】"}) {
        lines.append(QString::fromUtf8(heading));
        for (int i = 0; i < 40; ++i)
            lines.append(QStringLiteral("第 %1 行。").arg(i));
    }
    ReadingWindow window({1, QStringLiteral("药"), QString(), lines.join(QStringLiteral("\r\n"))}, m_fakes.platform);
    window.resize(600, 400);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QStringList items;
    for (int i = 0; i < window.outlineList->count(); ++i)
        items.append(window.outlineList->item(i)->text());
    QCOMPARE(items,
             (QStringList{QStringLiteral("1  （开头）"), QStringLiteral("2  适应症"), QStringLiteral("3  用法用量"),
                          QStringLiteral("4  注意事项"), QStringLiteral("5  禁忌")}));
    const auto lineAtCursor = [&window] {
        return window.textBox->textCursor().block().text();
    };
    QTest::mouseClick(window.outlineList->viewport(), Qt::LeftButton, {},
                      window.outlineList->visualItemRect(window.outlineList->item(2)).center());
    QCOMPARE(lineAtCursor(), QStringLiteral("【用法用量】"));
    QCOMPARE(window.textBox->cursorForPosition(QPoint(0, 0)).block().text(), QStringLiteral("【用法用量】"));
    QTest::keyClick(&window, Qt::Key_4, Qt::AltModifier);
    QCOMPARE(lineAtCursor(), QStringLiteral("【注意事项】"));
    QCOMPARE(window.outlineList->currentRow(), 3);
    // Scrolled by hand into the second 注意事项, past 禁忌: the outline follows.
    window.textBox->verticalScrollBar()->setValue(window.textBox->verticalScrollBar()->maximum());
    QCOMPARE(window.outlineList->currentRow(), 3);
    window.jumpToSection(4);
    QCOMPARE(window.outlineList->currentRow(), 4);
    window.textBox->verticalScrollBar()->setValue(0);
    QCOMPARE(window.outlineList->currentRow(), 0);

    // Found on every line: the places in view are marked, and the marks follow the scrolling.
    window.findBox->setText(QStringLiteral("行"));
    QCOMPARE(window.matchCount(), 200);
    const auto marked = [&window] {
        QList<int> starts;
        for (const QTextEdit::ExtraSelection& mark : window.textBox->extraSelections())
            starts.append(mark.cursor.selectionStart());
        return starts;
    };
    QVERIFY(!marked().isEmpty() && marked().size() < 100);
    window.textBox->verticalScrollBar()->setValue(window.textBox->verticalScrollBar()->maximum());
    QVERIFY(marked().contains(window.textBox->document()->characterCount() - 3));
    QVERIFY(marked().size() < 100);
    window.showDrug({1, QStringLiteral("药"), QString(), QStringLiteral("没有标题的说明书")});
    QVERIFY(window.outlineList->isHidden());
}

void TestReading::followsChangesAndDeletes() {
    MainWindowFixture fixture;
    Form19& form = listTwoDrugs(fixture, QStringLiteral("旧的说明书"), QStringLiteral("饭后服"));
    form.Label4_Click(1);
    form.openReadingWindow();
    form.Label4_Click(0);
    form.openReadingWindow();
    QPointer<ReadingWindow> amoxicillin = form.readingWindows()[1];
    QPointer<ReadingWindow> ibuprofen = form.readingWindows()[0];
    amoxicillin->findBox->setText(QStringLiteral("说明"));

    form.Text1->setText(QStringLiteral("新的说明书"));
    fixture.fakes.dialogs.answers = {true};
    form.Image7_Click();
    QCOMPARE(amoxicillin->textBox->text(), QStringLiteral("新的说明书"));
    QCOMPARE(amoxicillin->findResult->text(), QStringLiteral("第 1 处，共 1 处")); // found again in the new text
    QCOMPARE(ibuprofen->textBox->text(), QStringLiteral("饭后服"));

    form.Label4_Click(0); // the list after the change: 阿莫西林 first
    QCOMPARE(form.chosenDrug(), amoxicillin->drugKey());
    fixture.fakes.dialogs.answers = {true};
    form.Image11_Click();
    QTRY_VERIFY(amoxicillin.isNull()); // closed: nothing stale stays on screen
    QVERIFY(!ibuprofen.isNull());
}

void TestReading::showsWhereTheFindWindowFoundIt() {
    MainWindowFixture fixture;
    fixture.file.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("AMXL")), QStringLiteral("Amoxicillin"),
                        QStringLiteral("【禁忌】青霉素过敏者、孕妇禁用。\r\n【注意事项】孕妇慎用。"));
    Form19& form = fixture.open();
    QCOMPARE(form.findDrugs(QStringLiteral("孕妇"), true), QStringLiteral("找到 1 种药品"));
    form.Label4_Click(0);
    form.openReadingWindow();
    ReadingWindow* window = form.readingWindows().constFirst();
    QCOMPARE(window->findBox->text(), QStringLiteral("孕妇"));
    QCOMPARE(window->matchCount(), 2);
    // Found by name only: nothing to show.
    window->close();
    QCOMPARE(form.findDrugs(QStringLiteral("阿莫"), false), QStringLiteral("找到 1 种药品"));
    form.Label4_Click(0);
    form.openReadingWindow();
    QTRY_COMPARE(form.readingWindows().size(), 1);
    QCOMPARE(form.readingWindows().constFirst()->findBox->text(), QString());
}

void TestReading::keepsItsPlaceBetweenRuns() {
    const QRect place(123, 134, 640, 480);
    {
        ReadingWindow window({1, QStringLiteral("药"), QString(), QStringLiteral("说明书")}, m_fakes.platform);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.setGeometry(place);
    } // closed before the moment passed: written as it goes
    QVERIFY(QFile::exists(m_config.filePath(QStringLiteral("xiyao/xiyao.ini"))));
    ReadingWindow again({2, QStringLiteral("药"), QString(), QString()}, m_fakes.platform);
    QCOMPARE(again.geometry(), place);
}

// The window's keys as an X server sends them.
void TestReading::shortcutsOnX() {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X display; tst_reading_xvfb runs it under Xvfb");
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("跳过：本机缺少 xdotool（scripts/deps 会安装）");
    MainWindowFixture fixture;
    fixture.file.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("AMXL")), QStringLiteral("Amoxicillin"),
                        QStringLiteral("【适应症】Amoxicillin.\r\n【用法用量】amox 250 mg, AMOX 500 mg."));
    Form19& form = fixture.open();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.FillDrugList(FullTableQuery);
    form.Label4_Click(0);
    const auto keys = [](const char* keys) {
        QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QLatin1String(keys)}), 0);
    };
    keys("ctrl+r");
    QTRY_COMPARE(form.readingWindows().size(), 1);
    ReadingWindow* window = form.readingWindows().constFirst();
    QTRY_VERIFY(window->isActiveWindow());
    keys("ctrl+f");
    QTRY_VERIFY(window->findBox->hasFocus());
    QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("AMOX")}), 0);
    QTRY_COMPARE(window->findResult->text(), QStringLiteral("第 1 处，共 3 处"));
    keys("F3");
    QTRY_COMPARE(window->currentMatch(), 1);
    keys("Return");
    QTRY_COMPARE(window->currentMatch(), 2);
    keys("shift+F3");
    QTRY_COMPARE(window->currentMatch(), 1);
    keys("alt+2");
    QTRY_COMPARE(window->textBox->textCursor().block().text(), QStringLiteral("【用法用量】amox 250 mg, AMOX 500 mg."));
    keys("Escape");
    QTRY_VERIFY(form.readingWindows().isEmpty());
}

using Rows = QList<QStringList>; // heading, left, right; "-" where a leaflet lacks the section

void TestReading::sideBySide_data() {
    QTest::addColumn<QString>("left");
    QTest::addColumn<QString>("right");
    QTest::addColumn<Rows>("rows");
    QTest::newRow("the standard order, whatever each leaflet's")
        << QStringLiteral("【用法用量】口服。\r\n【适应症】感冒。")
        << QStringLiteral("【禁忌】孕妇禁用。\n【用法用量】饭后。")
        << Rows{{QStringLiteral("适应症"), QStringLiteral("感冒。"), QStringLiteral("-")},
                {QStringLiteral("用法用量"), QStringLiteral("口服。"), QStringLiteral("饭后。")},
                {QStringLiteral("禁忌"), QStringLiteral("-"), QStringLiteral("孕妇禁用。")}};
    QTest::newRow("variants, repeats, openings and unknown sections")
        << QStringLiteral("示例。\r\n〖适应证〗：发热。\r\n【注意事项】甲。\r\n【药理作用】抑制。\r\n【注意事项】乙。")
        << QStringLiteral("【注意事项】丙。\r\n【其他】丁。")
        << Rows{{QStringLiteral("（开头）"), QStringLiteral("示例。"), QStringLiteral("-")},
                {QStringLiteral("适应症"), QStringLiteral("发热。"), QStringLiteral("-")},
                {QStringLiteral("注意事项"), QStringLiteral("甲。\n乙。"), QStringLiteral("丙。")},
                {QStringLiteral("药理作用"), QStringLiteral("抑制。"), QStringLiteral("-")},
                {QStringLiteral("其他"), QStringLiteral("-"), QStringLiteral("丁。")}};
    QTest::newRow("no headings") << QStringLiteral("只有一段。") << QString()
                                 << Rows{{QStringLiteral("（开头）"), QStringLiteral("只有一段。"),
                                          QStringLiteral("-")}};
}

void TestReading::sideBySide() {
    QFETCH(QString, left);
    QFETCH(QString, right);
    QFETCH(Rows, rows);
    Rows given;
    for (const CompareRow& row : compareRows(left, right))
        given.append({row.heading, row.left.value_or(QStringLiteral("-")), row.right.value_or(QStringLiteral("-"))});
    QCOMPARE(given, rows);
}

// 对比… in a reading window: a second drug found by its pinyin, then both side by side.
void TestReading::compareWithADrugFoundByPinyin() {
    MainWindowFixture fixture;
    Form19& form =
        listTwoDrugs(fixture, QStringLiteral("【用法用量】口服。"), QStringLiteral("【禁忌】对本品过敏者禁用。"));
    form.Label4_Click(0);
    form.openReadingWindow();
    ReadingWindow* reading = form.readingWindows().constFirst();
    QTest::mouseClick(reading->compareButton, Qt::LeftButton);
    DrugPicker* picker = form.drugPicker();
    QVERIFY(picker && picker->isVisible());
    picker->textBox->setText(QStringLiteral("blf"));
    QTest::keyClick(picker->textBox, Qt::Key_Return);
    QCOMPARE(picker->resultList->count(), 1);
    QCOMPARE(picker->resultList->item(0)->text(), QStringLiteral("布洛芬　Ibuprofen"));
    QTest::keyClick(picker->resultList, Qt::Key_Return);
    QTRY_COMPARE(form.compareWindows().size(), 1);
    CompareWindow* compare = form.compareWindows().constFirst();
    QVERIFY(compare->windowTitle().contains(QStringLiteral("阿莫西林 与 布洛芬")));
    QCOMPARE(compare->rows().size(), 2);
    QVERIFY(compare->textBox->toPlainText().contains(QStringLiteral("（没有这一节）")));
    QVERIFY(fixture.fakes.dialogs.messages.isEmpty());
    QCOMPARE(form.Label4[0]->caption(), QStringLiteral("阿莫西林")); // the main list is left as it was
}

QTEST_MAIN(TestReading)
#include "tst_reading.moc"

void TestReading::exportedPdfHoldsTheLeaflet_data() {
    QTest::addColumn<QString>("leaflet");
    QTest::addColumn<int>("pages"); // at least
    QString many;
    for (int i = 0; i < 150; ++i)
        many += QStringLiteral("第%1行：每日三次，饭后服用；儿童用量减半。\r\n").arg(i);
    QTest::newRow("opening, sections, beyond the basic plane, pages")
        << QStringLiteral("本品为白色胶囊𬭩𠀀。\r\n【成份】阿莫西林\r\n【用法用量】\r\n") +
               many + QStringLiteral("  【禁忌】 青霉素过敏者禁用。\n\n[注意事项]：无\r【贮藏】")
        << 2;
    QTest::newRow("no heading, one line") << QStringLiteral("口服，一次1粒。") << 1;
    // Seconds of work: only in the slow run (tst_reading_slow).
    QString large;
    if (qEnvironmentVariableIsSet("XIYAO_SLOW_TESTS")) {
        const QString rare = QStringLiteral("𬭩𠀀");
        for (qsizetype line = 0, bytes = 0; bytes < 10 * 1024 * 1024; ++line) {
            QString text = line % 50 == 0 ? QStringLiteral("【第%1节】\r\n").arg(line) : QString();
            for (int i = 0; i < 1000; ++i)
                text += i % 97 == 0 ? rare : QString(QChar(char16_t(0x4E00 + (line * 31 + i * 7) % 20000)));
            large += text + QStringLiteral("\r\n");
            bytes += text.toUtf8().size() + 2;
        }
    }
    QTest::newRow("10 MB leaflet") << large << (large.isEmpty() ? -1 : 100);
    QTest::newRow("empty") << QString() << 1;
}

void TestReading::exportedPdfHoldsTheLeaflet() {
    QFETCH(QString, leaflet);
    QFETCH(int, pages);
    if (pages < 0)
        QSKIP("跳过：10 MB 的说明书只在 slow 测试（XIYAO_SLOW_TESTS=1）中导出");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.pdf"));
    const QDate before = QDate::currentDate();
    ExportingWindow exporting(DrugLeaflet{4711, QStringLiteral("阿莫西林"), QStringLiteral("Amoxicillin"), leaflet});
    const QStringList messages = exporting.exportTo(path);
    QCOMPARE(messages, QStringList{QStringLiteral("说明书已导出为 PDF：\n%1").arg(path)});

    const QString text = pdfText(path);
    QCOMPARE(fontsNotEmbedded(path), QStringList());
    // The footer of each page: the key, the date, the page.
    QStringList pageTexts = text.split(u'\f');
    if (pageTexts.constLast().trimmed().isEmpty())
        pageTexts.removeLast();
    QVERIFY2(pageTexts.size() >= pages, qPrintable(text));
    QString body;
    for (int page = 0; page < pageTexts.size(); ++page) {
        QString onPage = pageTexts[page];
        const QString footerPage = QStringLiteral("第 %1 页").arg(page + 1);
        const QString key = QStringLiteral("编号 4711");
        QVERIFY2(onPage.contains(footerPage) && onPage.contains(key), qPrintable(onPage));
        const QDate after = QDate::currentDate();
        const QString date =
            onPage.contains(before.toString(Qt::ISODate)) ? before.toString(Qt::ISODate) : after.toString(Qt::ISODate);
        QVERIFY2(onPage.contains(date), qPrintable(onPage));
        body += onPage.remove(footerPage).remove(key).remove(date);
    }
    // The names, then every character of the leaflet in its order: nothing lost, nothing twice.
    QCOMPARE(withoutBlanks(body), withoutBlanks(QStringLiteral("阿莫西林Amoxicillin") + leaflet));
}

void TestReading::exportProposesTheDrugsName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("proposed");
    QTest::newRow("a name") << QStringLiteral("阿莫西林") << QStringLiteral("阿莫西林.pdf");
    QTest::newRow("a slash and what Windows refuses")
        << QStringLiteral("复方/氨酚:烷胺*片?") << QStringLiteral("复方_氨酚_烷胺_片_.pdf");
    QTest::newRow("dots only") << QStringLiteral("..") << QStringLiteral("说明书.pdf");
    QTest::newRow("too long for a file name")
        << QString(120, QChar(u'药')) << QString(83, QChar(u'药')) + QStringLiteral(".pdf");
}

void TestReading::exportProposesTheDrugsName() {
    QFETCH(QString, name);
    QFETCH(QString, proposed);
    ExportingWindow exporting(DrugLeaflet{1, name, QString(), QStringLiteral("口服。")});
    exporting.window.exportButton->click(); // the dialog cancelled: nothing more happens
    QCOMPARE(exporting.fakes.files.proposed.size(), 1);
    const QFileInfo file(exporting.fakes.files.proposed[0]);
    QCOMPARE(file.fileName(), proposed);
    QCOMPARE(file.absolutePath(), QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    QVERIFY(exporting.fakes.dialogs.messages.isEmpty());
    QVERIFY(exporting.fakes.dialogs.questions.isEmpty());
}

void TestReading::exportAsksBeforeReplacing_data() {
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<bool>("written");
    QTest::newRow("a new file: no question") << false << QList<bool>{} << true;
    QTest::newRow("an old file, No: left as it was") << true << QList<bool>{false} << false;
    QTest::newRow("an old file, Yes: replaced") << true << QList<bool>{true} << true;
}

void TestReading::exportAsksBeforeReplacing() {
    QFETCH(bool, exists);
    QFETCH(QList<bool>, answers);
    QFETCH(bool, written);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("阿莫西林.pdf"));
    if (exists) {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    ExportingWindow exporting(DrugLeaflet{7, QStringLiteral("阿莫西林"), QString(), QStringLiteral("口服。")});
    const QStringList messages = exporting.exportTo(path, answers);
    QCOMPARE(exporting.fakes.dialogs.questions.size(), exists ? 1 : 0);
    if (exists)
        QVERIFY(exporting.fakes.dialogs.questions[0].contains(path));
    QCOMPARE(contentOf(path).startsWith("%PDF"), written);
    if (!written)
        QCOMPARE(contentOf(path), QByteArray("old"));
    QCOMPARE(messages, written ? QStringList{QStringLiteral("说明书已导出为 PDF：\n%1").arg(path)} : QStringList());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), written || exists ? 1 : 0);
}

void TestReading::exportThatCannotBeWrittenIsTold_data() {
    QTest::addColumn<QString>("place");
    QTest::newRow("a read-only folder") << QStringLiteral("read-only");
    QTest::newRow("a folder's name") << QStringLiteral("folder");
    QTest::newRow("a full disk") << QStringLiteral("full");
}

void TestReading::exportThatCannotBeWrittenIsTold() {
    QFETCH(QString, place);
    QTemporaryDir dir;
    QString folder = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(folder));
    QString path = QDir(folder).filePath(QStringLiteral("说明书.pdf"));
    std::unique_ptr<ReadOnlyFile> readOnly;
    bool mounted = false;
    if (place == QStringLiteral("read-only")) {
        readOnly = std::make_unique<ReadOnlyFile>(folder);
        QVERIFY(readOnly->done());
    } else if (place == QStringLiteral("folder")) {
        QVERIFY(QDir().mkpath(path));
    } else {
        mounted = QProcess::execute(QStringLiteral("mount"),
                                    {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                     QStringLiteral("size=64k"), QStringLiteral("tmpfs"), folder}) == 0;
        if (!mounted)
            QSKIP("跳过：没有权限挂载一个小的 tmpfs");
    }
    // A leaflet whose PDF is far more than 64 KB.
    QString leaflet;
    for (int i = 0; i < 3000; ++i)
        leaflet += QChar(char16_t(0x4E00 + i * 7));
    ExportingWindow exporting(DrugLeaflet{9, QStringLiteral("说明书"), QString(), leaflet});
    const QStringList messages = exporting.exportTo(path);
    const QStringList left = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    if (mounted)
        QProcess::execute(QStringLiteral("umount"), {folder});
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].startsWith(QStringLiteral("无法导出 PDF")) && messages[0].contains(path),
             qPrintable(messages[0]));
    // Nothing half written stays behind; a folder stays a folder.
    QCOMPARE(left, place == QStringLiteral("folder") ? QStringList{QStringLiteral("说明书.pdf")} : QStringList());
}
