#include "app/ReadingWindow.h"
#include "data/SqlTexts.h"
#include "platform/LazyLeafletPaper.h"
#include "platform/LazyLeafletPrinter.h"
#include "tests/support/MainWindowFixture.h"
#include "tests/support/PdfCheck.h"

#include <QDir>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// Prints a leaflet through a real print queue: a private CUPS server whose default queue
// copies each job into a folder, read back as text.
namespace {

constexpr int SkipStatus = 77; // the server script's "a tool is missing"

// A window on a new drug file whose one drug, with this leaflet, is chosen; 打印 is clicked
// once for each answer given, printing through the printing module the program loads (by
// default the one beside the program, as the program finds it: the tests are built beside it).
// The messages shown.
QStringList printLeaflet(const QString& leaflet, const QList<bool>& answers = {true},
                         const QString& module = QString()) {
    MainWindowFixture fixture;
    fixture.file.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("AMXL")), QStringLiteral("Amoxicillin"),
                        leaflet);
    LazyLeafletPrinter printer(module);
    Platform platform{fixture.fakes.dialogs, printer,
                      fixture.fakes.urls,    fixture.fakes.process,
                      fixture.fakes.clock,   fixture.fakes.paper,
                      fixture.fakes.files};
    Form19 form(platform, fixture.drugFile, fixture.userFile);
    if (!form.isLoaded())
        return {QStringLiteral("the drug file did not open")};
    form.FillDrugList(FullTableQuery);
    form.Label4_Click(0);
    fixture.fakes.dialogs.answers = answers;
    for (qsizetype i = 0; i < answers.size(); ++i)
        form.Image5_Click();
    return fixture.fakes.dialogs.messages;
}

} // namespace

class TestCups : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void leafletReachesThePrintQueue();
    void readingWindowPrintsItsPages();
    void queueThatWillNotPrintGivesItsReason_data();
    void queueThatWillNotPrintGivesItsReason();
    void noPrinterOrModuleGivesAMessage();

private:
    QString printedText();
    static QString lpRefusal(const QString& queue);
    static int jobsWaiting(const QString& queue);

    QTemporaryDir m_server;
};

void TestCups::initTestCase() {
    prepareTestApplication();
    QProcess start;
    start.start(QStringLiteral("bash"), {QStringLiteral(CUPS_SERVER_SCRIPT), QStringLiteral("start"), m_server.path()});
    QVERIFY(start.waitForFinished(60000));
    if (start.exitCode() == SkipStatus)
        QSKIP(start.readAllStandardOutput().trimmed().constData());
    QVERIFY2(start.exitCode() == 0, start.readAllStandardError().constData());
    // Before anything asks for a printer: the print support reads it once.
    qputenv("CUPS_SERVER", QString::fromUtf8(start.readAllStandardOutput()).trimmed().toLocal8Bit());
}

void TestCups::cleanupTestCase() {
    QProcess::execute(QStringLiteral("bash"),
                      {QStringLiteral(CUPS_SERVER_SCRIPT), QStringLiteral("stop"), m_server.path()});
}

void TestCups::cleanup() {
    qunsetenv("LPDEST");
}

// What CUPS tells lp when it refuses a job, in the language the test runs in.
QString TestCups::lpRefusal(const QString& queue) {
    QProcess lp;
    lp.start(QStringLiteral("lp"), {QStringLiteral("-d"), queue, QStringLiteral(CUPS_SERVER_SCRIPT)});
    lp.waitForFinished(30000);
    // "lp: reason", or "lp：reason" in Chinese; lp names itself by its path.
    return QString::fromUtf8(lp.readAllStandardError())
        .trimmed()
        .remove(QRegularExpression(QStringLiteral("^[^:：]*[:：]\\s*")));
}

int TestCups::jobsWaiting(const QString& queue) {
    QProcess lpstat;
    lpstat.start(QStringLiteral("lpstat"), {QStringLiteral("-o"), queue});
    lpstat.waitForFinished(30000);
    return int(QString::fromUtf8(lpstat.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts).size());
}

QString TestCups::printedText() {
    QDir out(m_server.filePath(QStringLiteral("out")));
    QStringList jobs;
    const auto finished = [&] {
        jobs = out.entryList({QStringLiteral("job-*")}, QDir::Files);
        return jobs.size() == 1 && !jobs[0].endsWith(QStringLiteral(".tmp"));
    };
    if (!QTest::qWaitFor(finished, 30000))
        return QStringLiteral("(no job arrived: %1)").arg(jobs.join(u' '));
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {out.filePath(jobs[0]), QStringLiteral("-")});
    text.waitForFinished(30000);
    if (qEnvironmentVariableIsSet("XIYAO_KEEP_PRINTOUT"))
        QFile::copy(out.filePath(jobs[0]), qEnvironmentVariable("XIYAO_KEEP_PRINTOUT"));
    return QString::fromUtf8(text.readAllStandardOutput());
}

void TestCups::leafletReachesThePrintQueue() {
    // 68 characters and a line break: pieces of 32 and 30 characters, then 8.
    const QString first = QStringLiteral("阿莫西林胶囊示例说明书第一段文字用于检查打印结果是否正确无误一二");
    const QString second = QStringLiteral("适应症\r\n对本品敏感的细菌所引起的各种感染均可使用请遵医嘱三");
    const QString rest = QStringLiteral("注意事项贮藏完毕");
    QCOMPARE(first.size(), 32);
    QCOMPARE(second.size(), 30);

    qputenv("LPDEST", "xiyao-test"); // the private queue, whatever the user's own default
    // No sends nothing: the one job is the Yes.
    const QStringList messages =
        printLeaflet(QStringLiteral("  ") + first + second + rest + QStringLiteral(" "), {false, true});
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join(u'\n')));

    QStringList lines;
    for (const QString& line : printedText().split(u'\n')) {
        if (!line.trimmed().isEmpty() && line.trimmed() != QStringLiteral("\f"))
            lines.append(line.trimmed().remove(u'\f'));
    }
    const QStringList expected = {first, QStringLiteral("适应症"),
                                  QStringLiteral("对本品敏感的细菌所引起的各种感染均可使用请遵医嘱三"), rest};
    QCOMPARE(lines, expected);
}

void TestCups::readingWindowPrintsItsPages() {
    QDir out(m_server.filePath(QStringLiteral("out")));
    for (const QString& job : out.entryList({QStringLiteral("job-*")}, QDir::Files))
        out.remove(job);
    qputenv("LPDEST", "xiyao-test");
    FakePlatform fakes;
    LazyLeafletPaper paper;
    Platform platform{fakes.dialogs, fakes.printer, fakes.urls, fakes.process, fakes.clock, paper, fakes.files};
    const QString leaflet = QStringLiteral("胶囊剂。\r\n【用法用量】口服，一次1粒。\r\n【禁忌】青霉素过敏者禁用。");
    ReadingWindow window(DrugLeaflet{31, QStringLiteral("阿莫西林"), QStringLiteral("Amoxicillin"), leaflet}, platform);
    // No sends nothing: the one job is the Yes's.
    fakes.dialogs.answers = {false, true};
    window.printButton->click();
    window.printButton->click();
    QCOMPARE(fakes.dialogs.questions.size(), 2);
    QVERIFY2(fakes.dialogs.messages.isEmpty(), qPrintable(fakes.dialogs.messages.join(u'\n')));
    QVERIFY(fakes.printer.lines.isEmpty()); // the main window's line printer has nothing to do with it

    // The export's pages: the names, the leaflet, its key and the page at the foot.
    QString text = printedText();
    QVERIFY2(text.contains(QStringLiteral("编号 31")) && text.contains(QStringLiteral("第 1 页")), qPrintable(text));
    text.remove(QStringLiteral("编号 31"))
        .remove(QStringLiteral("第 1 页"))
        .remove(QRegularExpression(QStringLiteral("\\d{4}-\\d\\d-\\d\\d")));
    QCOMPARE(withoutBlanks(text), withoutBlanks(QStringLiteral("阿莫西林Amoxicillin") + leaflet));
}

void TestCups::queueThatWillNotPrintGivesItsReason_data() {
    QTest::addColumn<QString>("queue");
    QTest::addColumn<QString>("reason"); // CUPS's own words
    QTest::addColumn<int>("waiting");    // jobs the queue holds afterwards
    QTest::newRow("rejects jobs") << QStringLiteral("xiyao-refusing") << lpRefusal(QStringLiteral("xiyao-refusing"))
                                  << 0;
    QTest::newRow("stopped, the leaflet waits") << QStringLiteral("xiyao-paused") << QStringLiteral("纸已用完") << 1;
}

void TestCups::queueThatWillNotPrintGivesItsReason() {
    QFETCH(QString, queue);
    QFETCH(QString, reason);
    QFETCH(int, waiting);
    QVERIFY(!reason.isEmpty());
    qputenv("LPDEST", queue.toUtf8());

    const QStringList messages = printLeaflet(QStringLiteral("说明"));
    QVERIFY2(messages.size() == 1, qPrintable(messages.join(u'\n')));
    QVERIFY2(messages[0].contains(QStringLiteral("打印机“%1”").arg(queue)) && messages[0].contains(reason),
             qPrintable(messages[0] + QStringLiteral("\n-- expected: ") + reason));
    QCOMPARE(jobsWaiting(queue), waiting);
}

void TestCups::noPrinterOrModuleGivesAMessage() {
    cleanupTestCase();
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(m_server.filePath(QStringLiteral("cups.sock"))) ||
                                 QPrinterInfo::defaultPrinter().isNull(),
                             10000);
    const QStringList messages = printLeaflet(QStringLiteral("说明"));
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].contains(QStringLiteral("打印机")), qPrintable(messages[0]));

    const QString missing = m_server.filePath(PrintingModuleName);
    const QStringList withoutModule = printLeaflet(QStringLiteral("说明"), {true}, missing);
    QCOMPARE(withoutModule.size(), 1);
    QVERIFY2(withoutModule[0].startsWith(QStringLiteral("无法打印说明书：\n无法载入打印模块 %1").arg(missing)),
             qPrintable(withoutModule[0]));
}

QTEST_MAIN(TestCups)
#include "tst_cups.moc"
