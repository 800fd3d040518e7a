#include "data/DrugDatabase.h"
#include "data/SqlTexts.h"
#include "tests/support/DrugFileFixture.h"

#include <QProcess>
#include <QtTest>

namespace {

struct Run {
    int status = -1;
    QByteArray out;
    QString err;
};

Run runTool(const QStringList& arguments, const QByteArray& input = QByteArray(),
            const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(XIYAO_DB_PATH), arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            QString::fromUtf8(process.readAllStandardError())};
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content) {
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(content);
    return path;
}

const QByteArray Header = "编号,中文名,英文名,药物说明书,拼音,类别,规格,用量,用法,剂型\r\n";

} // namespace

// The tool as a process: its exit codes, its messages and its output. What the CSV text may
// hold and how import, export and check treat it is tst_exchange's, in process.
class TestXiyaoDb : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void createRefusesExistingAndMissingFolder();
    void importThenExportThroughTheTool();
    void brokenCsvNamesFileAndLine();
    void missingFileFails_data();
    void missingFileFails();
    void pinyinFilter();
    void sampleListImports();
    void usage_data();
    void usage();
    void outputThatCannotBeWrittenFails_data();
    void outputThatCannotBeWrittenFails();
    void commandsNeedingInitialsRefuseWithoutTheConverter_data();
    void commandsNeedingInitialsRefuseWithoutTheConverter();
};

void TestXiyaoDb::createRefusesExistingAndMissingFolder() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("new.m"));
    QCOMPARE(runTool({QStringLiteral("create"), path}).status, 0);
    QVERIFY(QFile::exists(path));
    DrugConnection connection;
    connection.openFile(path, DrugPassword);
    connection.close();

    const Run again = runTool({QStringLiteral("create"), path});
    QVERIFY(again.status != 0);
    QVERIFY2(again.err.contains(QStringLiteral("已存在")), qPrintable(again.err));

    const Run missing = runTool({QStringLiteral("create"), dir.filePath(QStringLiteral("none/new.m"))});
    QVERIFY(missing.status != 0);
    QVERIFY2(missing.err.contains(QStringLiteral("文件夹不存在")), qPrintable(missing.err));
}

void TestXiyaoDb::importThenExportThroughTheTool() {
    QTemporaryDir dir;
    DrugFileFixture file;
    const QByteArray csv = "中文名,英文名\r\n头孢呋辛,\"Cefuroxime, oral\"\r\n维生素B1,\r\n";
    const Run imported = runTool({QStringLiteral("import"), file.path(), writeFile(dir, QStringLiteral("a.csv"), csv)});
    QCOMPARE(imported.status, 0);
    QVERIFY2(imported.err.contains(QStringLiteral("已导入 2 种药品")), qPrintable(imported.err));

    const Run exported = runTool({QStringLiteral("export"), file.path()});
    QCOMPARE(exported.status, 0);
    QCOMPARE(exported.out, Header + "1,头孢呋辛,\"Cefuroxime, oral\",,TbfX,,,,,\r\n2,维生素B1,,,WSSB,,,,,\r\n");
}

void TestXiyaoDb::brokenCsvNamesFileAndLine() {
    QTemporaryDir dir;
    DrugFileFixture file;
    file.insert(QStringLiteral("已有的药"), Cell(QStringLiteral("YYDY")));
    const QByteArray before = file.bytes();
    const QString csv = writeFile(dir, QStringLiteral("b.csv"), "中文名,英文名\r\n阿莫西林,x\r\n布洛芬\r\n");
    const Run run = runTool({QStringLiteral("import"), file.path(), csv});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(QStringLiteral("%1 第 3 行：有 1 个字段，表头有 2 个；数据库没有改动").arg(csv)),
             qPrintable(run.err));
    QVERIFY(file.bytes() == before);
}

void TestXiyaoDb::missingFileFails_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    // DB stands for a drug file, CSV for a good list, NONE for a file that is not there.
    QTest::newRow("import: no CSV") << QStringList{QStringLiteral("import"), QStringLiteral("DB"),
                                                   QStringLiteral("NONE")}
                                    << QStringLiteral("无法读取 NONE：");
    QTest::newRow("import: no drug file")
        << QStringList{QStringLiteral("import"), QStringLiteral("NONE"), QStringLiteral("CSV")}
        << QStringLiteral("NONE：");
    QTest::newRow("export: no drug file")
        << QStringList{QStringLiteral("export"), QStringLiteral("NONE")} << QStringLiteral("NONE：");
    QTest::newRow("check: no drug file") << QStringList{QStringLiteral("check"), QStringLiteral("NONE")}
                                         << QStringLiteral("NONE：");
}

void TestXiyaoDb::missingFileFails() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QTemporaryDir dir;
    DrugFileFixture file;
    const QString none = dir.filePath(QStringLiteral("none.m"));
    arguments.replaceInStrings(QStringLiteral("DB"), file.path());
    arguments.replaceInStrings(QStringLiteral("CSV"), writeFile(dir, QStringLiteral("c.csv"), "中文名\r\n布洛芬\r\n"));
    arguments.replaceInStrings(QStringLiteral("NONE"), none);
    const Run run = runTool(arguments);
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(QStringLiteral("xiyao-db：错误：") + message.replace(QStringLiteral("NONE"), none)),
             qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
    QVERIFY(!QFile::exists(none));
    QVERIFY(file.readAll().isEmpty());
}

void TestXiyaoDb::pinyinFilter() {
    const Run run = runTool({QStringLiteral("pinyin")}, "阿莫西林\r\n\n头孢呋辛\n[a]{z}");
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QByteArray("AMXL\n\nTbfX\n[a{z\n"));
}

void TestXiyaoDb::sampleListImports() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sample.m"));
    QCOMPARE(runTool({QStringLiteral("create"), path}).status, 0);
    const Run imported = runTool({QStringLiteral("import"), path, QStringLiteral(XIYAO_SAMPLE_CSV)});
    QVERIFY2(imported.status == 0, qPrintable(imported.err));
    const QString check = QString::fromUtf8(runTool({QStringLiteral("check"), path}).out);
    QVERIFY2(check.contains(QStringLiteral("拼音与中文名不符的药品：0")), qPrintable(check));

    DrugConnection connection;
    connection.openFile(path, DrugPassword);
    DrugRecordset recordset;
    recordset.Open(FullTableQuery, connection, adOpenKeyset, adLockReadOnly);
    QVERIFY(recordset.RecordCount() >= 60);
}

void TestXiyaoDb::usage_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::newRow("unknown command") << QStringList{QStringLiteral("frobnicate")} << 2;
    QTest::newRow("no command") << QStringList{} << 2;
    QTest::newRow("argument missing") << QStringList{QStringLiteral("export")} << 2;
    QTest::newRow("argument too many") << QStringList{QStringLiteral("pinyin"), QStringLiteral("x")} << 2;
    QTest::newRow("help") << QStringList{QStringLiteral("help")} << 0;
    QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << 0;
}

void TestXiyaoDb::usage() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    const Run run = runTool(arguments);
    QCOMPARE(run.status, status);
    QVERIFY2(run.err.contains(QStringLiteral("用法")), qPrintable(run.err));
    QCOMPARE(run.err.contains(QStringLiteral("命令或参数不对")), status != 0);
    QVERIFY(run.out.isEmpty());
}

void TestXiyaoDb::outputThatCannotBeWrittenFails_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("export") << QStringList{QStringLiteral("export")};
    QTest::newRow("check") << QStringList{QStringLiteral("check")};
    QTest::newRow("pinyin") << QStringList{QStringLiteral("pinyin")};
}

void TestXiyaoDb::outputThatCannotBeWrittenFails() {
    QFETCH(QStringList, arguments);
    DrugFileFixture file;
    file.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("AMXL")));
    if (arguments[0] != QStringLiteral("pinyin"))
        arguments.append(file.path());
    QProcess process;
    process.setStandardOutputFile(QStringLiteral("/dev/full"));
    process.start(QStringLiteral(XIYAO_DB_PATH), arguments);
    process.write("阿莫西林\n");
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(60000));
    QVERIFY(process.exitCode() != 0);
    QVERIFY(QString::fromUtf8(process.readAllStandardError()).contains(QStringLiteral("无法写出")));
}

void TestXiyaoDb::commandsNeedingInitialsRefuseWithoutTheConverter_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("needsInitials");
    QTest::newRow("import") << QStringLiteral("import") << true;
    QTest::newRow("check") << QStringLiteral("check") << true;
    QTest::newRow("pinyin") << QStringLiteral("pinyin") << true;
    QTest::newRow("export") << QStringLiteral("export") << false;
}

void TestXiyaoDb::commandsNeedingInitialsRefuseWithoutTheConverter() {
    QFETCH(QString, command);
    QFETCH(bool, needsInitials);
    QTemporaryDir dir;
    DrugFileFixture file;
    file.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("AMXL")));
    const QByteArray before = file.bytes();
    QStringList arguments{command};
    if (command != QStringLiteral("pinyin"))
        arguments.append(file.path());
    if (command == QStringLiteral("import"))
        arguments.append(writeFile(dir, QStringLiteral("new.csv"), "中文名\r\n布洛芬\r\n"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(XIYAO_NO_CP936));
    const Run run = runTool(arguments, "阿莫西林\n", environment);
    if (needsInitials) {
        QVERIFY2(run.status != 0, run.out.constData());
        QVERIFY2(run.err.contains(QStringLiteral("字符转换器")), qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
        QCOMPARE(file.bytes(), before);
    } else {
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QVERIFY(run.out.contains("阿莫西林"));
    }
}

QTEST_GUILESS_MAIN(TestXiyaoDb)
#include "tst_xiyaodb.moc"
