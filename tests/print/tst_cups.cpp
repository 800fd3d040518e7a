#include "data/SqlTexts.h"
#include "platform/QtLeafletPrinter.h"
#include "tests/support/MainWindowFixture.h"

#include <QDir>
#include <QPrinterInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// Prints a leaflet through a real print queue: a private CUPS server whose default queue
// copies each job into a folder, read back as text.
class TestCups : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void leafletReachesThePrintQueue();
    void noPrinterGivesAMessage();

private:
    QString printedText();

    QTemporaryDir m_server;
};

void TestCups::initTestCase() {
    PrepareTestApplication();
    QProcess start;
    start.start(QStringLiteral("bash"), {QStringLiteral(CUPS_SERVER_SCRIPT), QStringLiteral("start"), m_server.path()});
    QVERIFY(start.waitForFinished(60000));
    QVERIFY2(start.exitCode() == 0, start.readAllStandardError().constData());
    // Before anything asks for a printer: the print support reads it once.
    qputenv("CUPS_SERVER", QString::fromUtf8(start.readAllStandardOutput()).trimmed().toLocal8Bit());
}

void TestCups::cleanupTestCase() {
    QProcess::execute(QStringLiteral("bash"),
                      {QStringLiteral(CUPS_SERVER_SCRIPT), QStringLiteral("stop"), m_server.path()});
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

    MainWindowFixture fixture;
    fixture.file.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("AMXL")), QStringLiteral("Amoxicillin"),
                        QStringLiteral("  ") + first + second + rest + QStringLiteral(" "));
    QtLeafletPrinter printer;
    Platform platform{fixture.fakes.dialogs, printer, fixture.fakes.urls, fixture.fakes.process};
    Form19 form(platform);
    QVERIFY(form.isLoaded());
    form.FillDrugList(FullTableQuery);
    form.Label4_Click(0);
    form.Image5_Click();
    QVERIFY2(fixture.fakes.dialogs.messages.isEmpty(), qPrintable(fixture.fakes.dialogs.messages.join(u'\n')));

    QStringList lines;
    for (const QString& line : printedText().split(u'\n')) {
        if (!line.trimmed().isEmpty() && line.trimmed() != QStringLiteral("\f"))
            lines.append(line.trimmed().remove(u'\f'));
    }
    const QStringList expected = {first, QStringLiteral("适应症"),
                                  QStringLiteral("对本品敏感的细菌所引起的各种感染均可使用请遵医嘱三"), rest};
    QCOMPARE(lines, expected);
}

void TestCups::noPrinterGivesAMessage() {
    cleanupTestCase();
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(m_server.filePath(QStringLiteral("cups.sock"))) ||
                                 QPrinterInfo::defaultPrinter().isNull(),
                             10000);
    MainWindowFixture fixture;
    fixture.file.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("AMXL")), QString(), QStringLiteral("说明"));
    QtLeafletPrinter printer;
    Platform platform{fixture.fakes.dialogs, printer, fixture.fakes.urls, fixture.fakes.process};
    Form19 form(platform);
    form.FillDrugList(FullTableQuery);
    form.Label4_Click(0);
    form.Image5_Click();
    QCOMPARE(fixture.fakes.dialogs.messages.size(), 1);
    QVERIFY2(fixture.fakes.dialogs.messages[0].contains(QStringLiteral("打印机")),
             qPrintable(fixture.fakes.dialogs.messages[0]));
    QCOMPARE(form.LeafletText, QStringLiteral("说明"));
}

QTEST_MAIN(TestCups)
#include "tst_cups.moc"
