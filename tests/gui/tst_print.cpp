#include "data/SqlTexts.h"
#include "tests/support/MainWindowFixture.h"

#include <QtTest>

namespace {

using Lines = QList<QPair<int, QString>>;

QString characters(int count, QChar c = u'药') {
    return QString(count, c);
}

// The window with one drug whose leaflet is given, its row clicked.
struct Printing {
    MainWindowFixture fixture;
    Form19* form = nullptr;

    explicit Printing(const QString& leaflet) {
        fixture.file.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("AMXL")), QString(), leaflet);
        form = &fixture.open();
        form->FillDrugList(FullTableQuery);
        form->Label4_Click(0);
    }
    RecordingPrinter& printer() { return fixture.fakes.printer; }
};

} // namespace

class TestPrint : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { prepareTestApplication(); }
    void pieces_data();
    void pieces();
    void printsTheTextOfTheLastRowClick();
    void noPrintsNothing();
    void nothingChosenPrintsOneEmptyLine();
    void failingPrinterGivesAMessage();
};

void TestPrint::pieces_data() {
    QTest::addColumn<QString>("leaflet");
    QTest::addColumn<Lines>("expected");
    const QString hundred = characters(32, u'甲') + characters(30, u'乙') + characters(30, u'丙') + characters(8);
    QTest::newRow("100") << hundred
                         << Lines{{6, characters(32, u'甲')},
                                  {9, characters(30, u'乙')},
                                  {9, characters(30, u'丙')},
                                  {9, characters(8)}};
    QTest::newRow("62") << characters(32, u'甲') + characters(30, u'乙')
                        << Lines{{6, characters(32, u'甲')}, {9, characters(30, u'乙')}, {9, QString()}};
    QTest::newRow("31") << characters(31) << Lines{{6, characters(31)}, {9, QString()}};
    QTest::newRow("30") << characters(30) << Lines{{6, characters(30)}};
    QTest::newRow("spaces trimmed, inner kept")
        << QStringLiteral("   甲 乙\t  ") << Lines{{6, QStringLiteral("甲 乙\t")}};
    QTest::newRow("31 after trimming") << QStringLiteral("  ") + characters(31) + QStringLiteral(" ")
                                       << Lines{{6, characters(31)}, {9, QString()}};
    // Line breaks count as characters; a CR LF may be cut between two pieces.
    const QString withBreaks = characters(31) + QStringLiteral("\r\n") + characters(10);
    QTest::newRow("line breaks") << withBreaks
                                 << Lines{{6, characters(31) + QStringLiteral("\r")},
                                          {9, QStringLiteral("\n") + characters(10)}};
    // A character outside the basic plane counts once and is never cut in two.
    const QString emoji = QStringLiteral("💊");
    QTest::newRow("surrogate pairs") << emoji.repeated(33) << Lines{{6, emoji.repeated(32)}, {9, emoji}};
}

void TestPrint::pieces() {
    QFETCH(QString, leaflet);
    QFETCH(Lines, expected);
    Printing printing(leaflet);
    printing.form->Image5_Click();
    QCOMPARE(printing.fixture.fakes.dialogs.questions, QStringList{QStringLiteral("您真的要打印说明书吗？")});
    QCOMPARE(printing.printer().lines, expected);
    QCOMPARE(printing.printer().documentsEnded, 1);
}

void TestPrint::printsTheTextOfTheLastRowClick() {
    Printing printing(QStringLiteral("原来的说明"));
    printing.form->Text1->setText(QStringLiteral("改过的说明"));
    printing.form->Image5_Click();
    QCOMPARE(printing.printer().lines, (Lines{{6, QStringLiteral("原来的说明")}}));
    QCOMPARE(printing.form->drugView().LeafletText, QStringLiteral("原来的说明"));
}

void TestPrint::noPrintsNothing() {
    Printing printing(QStringLiteral("说明"));
    printing.fixture.fakes.dialogs.answers = {false};
    printing.form->Image5_Click();
    QVERIFY(printing.printer().lines.isEmpty());
    QCOMPARE(printing.printer().documentsEnded, 1); // ended, with no page
    QVERIFY(printing.fixture.fakes.dialogs.messages.isEmpty());
}

void TestPrint::nothingChosenPrintsOneEmptyLine() {
    MainWindowFixture fixture;
    Form19& form = fixture.open();
    form.Image5_Click();
    QCOMPARE(fixture.fakes.printer.lines, (Lines{{6, QString()}}));
}

void TestPrint::failingPrinterGivesAMessage() {
    Printing printing(characters(100));
    printing.printer().failing = true;
    printing.form->Image5_Click();
    QCOMPARE(printing.fixture.fakes.dialogs.messages.size(), 1);
    QVERIFY(printing.fixture.fakes.dialogs.messages[0].contains(QStringLiteral("打印机出错")));
    QCOMPARE(printing.printer().documentsEnded, 1);
    QCOMPARE(printing.form->drugView().LeafletText, characters(100));
}

QTEST_MAIN(TestPrint)
#include "tst_print.moc"
