#include "data/DrugDatabase.h"
#include "data/SqlTexts.h"
#include "pinyin/PinyinInitials.h"
#include "tests/support/DrugFileFixture.h"

#include <QCryptographicHash>
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

QByteArray withoutKeys(const QByteArray& csv) {
    QByteArray result = csv;
    // Keys stand at the start of each record; a record starts after CR LF outside quotes,
    // and in these tests every such line start is a key followed by a comma.
    static const QRegularExpression key(QStringLiteral("(^|\r\n)[0-9]+,"));
    return QString::fromUtf8(result).replace(key, QStringLiteral("\\1#,")).toUtf8();
}

const QByteArray kHeader = "编号,中文名,英文名,药物说明书,拼音,类别,规格,用量,用法,剂型\r\n";

} // namespace

class TestXiyaoDb : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void createRefusesExistingAndMissingFolder();
    void importKeepsQuotedFieldsByteForByte();
    void brokenRowLeavesFileUntouched_data();
    void brokenRowLeavesFileUntouched();
    void exportImportRoundTrip();
    void checkListsWrongInitialsAndUnreachableNames();
    void pinyinFilter();
    void sampleListImports();
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

void TestXiyaoDb::importKeepsQuotedFieldsByteForByte() {
    QTemporaryDir dir;
    DrugFileFixture file;
    // A BOM, a header in another order, 编号 and 拼音 given but ignored, a leaflet holding
    // CR LF, a lone LF, commas and doubled quotes, and LF record ends.
    const QByteArray csv = "\xEF\xBB\xBF"
                           "拼音,中文名,编号,药物说明书,英文名\n"
                           "XXXX,头孢呋辛,999,\"第一行，\r\n第二行, \"\"引号\"\"\n第三行\",Cefuroxime\n"
                           "\n"
                           ",维生素B1,,,\"Vitamin B1, thiamine\"\n";
    const Run run = runTool({QStringLiteral("import"), file.path(), writeFile(dir, QStringLiteral("a.csv"), csv)});
    QVERIFY2(run.status == 0, qPrintable(run.err));
    const auto drugs = file.readAll();
    QCOMPARE(drugs.size(), 2);
    QCOMPARE(drugs[0].chineseName.toText(), QStringLiteral("头孢呋辛"));
    QCOMPARE(drugs[0].initials.toText(), QStringLiteral("TbfX"));
    QCOMPARE(drugs[0].leaflet.toText(), QStringLiteral("第一行，\r\n第二行, \"引号\"\n第三行"));
    QCOMPARE(drugs[0].key, 1);
    QCOMPARE(drugs[1].initials.toText(), QStringLiteral("WSSB"));
    QCOMPARE(drugs[1].englishName.toText(), QStringLiteral("Vitamin B1, thiamine"));

    const Run exported = runTool({QStringLiteral("export"), file.path()});
    QCOMPARE(exported.status, 0);
    QCOMPARE(exported.out, kHeader + "1,头孢呋辛,Cefuroxime,\"第一行，\r\n第二行, \"\"引号\"\"\n第三行\",TbfX,,,,,\r\n"
                                     "2,维生素B1,\"Vitamin B1, thiamine\",,WSSB,,,,,\r\n");
}

void TestXiyaoDb::brokenRowLeavesFileUntouched_data() {
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QString>("where");
    const QByteArray good = "中文名,英文名\r\n阿莫西林,Amoxicillin\r\n";
    QTest::newRow("unknown column") << QByteArray("中文名,剂量\r\n阿莫西林,x\r\n") << QStringLiteral("第 1 行");
    QTest::newRow("no Chinese name column") << QByteArray("英文名\r\nAspirin\r\n") << QStringLiteral("第 1 行");
    QTest::newRow("empty file") << QByteArray() << QStringLiteral("第 1 行");
    QTest::newRow("missing name") << good + "  ,Aspirin\r\n" << QStringLiteral("第 3 行");
    QTest::newRow("too few fields") << good + "布洛芬\r\n" << QStringLiteral("第 3 行");
    QTest::newRow("quote inside field") << good + "布洛\"芬,Ibuprofen\r\n" << QStringLiteral("第 3 行");
    QTest::newRow("text after quote") << good + "\"布洛芬\"x,Ibuprofen\r\n" << QStringLiteral("第 3 行");
    QTest::newRow("unclosed quote") << good + "布洛芬,\"Ibuprofen\r\nmore\r\n" << QStringLiteral("第 3 行");
    QTest::newRow("invalid UTF-8") << good + "\"多行\r\n名称\",ok\r\n\xE5\xB8,x\r\n" << QStringLiteral("第 5 行");
}

void TestXiyaoDb::brokenRowLeavesFileUntouched() {
    QFETCH(QByteArray, csv);
    QFETCH(QString, where);
    QTemporaryDir dir;
    DrugFileFixture file;
    file.insert(QStringLiteral("已有的药"), Cell(QStringLiteral("YYDY")));
    const QByteArray before = QCryptographicHash::hash(file.bytes(), QCryptographicHash::Sha256);
    const Run run = runTool({QStringLiteral("import"), file.path(), writeFile(dir, QStringLiteral("b.csv"), csv)});
    QVERIFY(run.status != 0);
    QVERIFY2(run.err.contains(where), qPrintable(run.err));
    QCOMPARE(QCryptographicHash::hash(file.bytes(), QCryptographicHash::Sha256), before);
    QCOMPARE(file.readAll().size(), 1);
}

void TestXiyaoDb::exportImportRoundTrip() {
    QTemporaryDir dir;
    DrugFileFixture first;
    const QStringList names = {QStringLiteral("阿莫西林"), QStringLiteral("复方甘草片，"), QStringLiteral("VC片")};
    for (const QString& name : names)
        first.insert(name, Cell(PinyinInitials(name)), QStringLiteral("Name, \"quoted\""),
                     QStringLiteral("  行一\r\n行二\r\n\r\n行四  "));
    const Run exported = runTool({QStringLiteral("export"), first.path()});
    QCOMPARE(exported.status, 0);

    const QString second = dir.filePath(QStringLiteral("second.m"));
    QCOMPARE(runTool({QStringLiteral("create"), second}).status, 0);
    const Run imported =
        runTool({QStringLiteral("import"), second, writeFile(dir, QStringLiteral("r.csv"), exported.out)});
    QVERIFY2(imported.status == 0, qPrintable(imported.err));
    const Run again = runTool({QStringLiteral("export"), second});
    QCOMPARE(withoutKeys(again.out), withoutKeys(exported.out));
    QVERIFY(again.out.startsWith(kHeader));
}

void TestXiyaoDb::checkListsWrongInitialsAndUnreachableNames() {
    DrugFileFixture file;
    file.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("AMXL")));
    file.insert(QStringLiteral("布洛芬"), Cell(QStringLiteral("XXX")));
    file.insert(QStringLiteral("吡嗪酰胺"), Cell(QStringLiteral("bA")));
    file.insert(QStringLiteral("维生素B1"), Cell::null());
    const Run run = runTool({QStringLiteral("check"), file.path()});
    QCOMPARE(run.status, 0);
    const QString out = QString::fromUtf8(run.out);
    QVERIFY2(out.contains(QStringLiteral("完整性检查：正常")), qPrintable(out));
    QVERIFY(out.contains(QStringLiteral("药品数：4")));
    QVERIFY(out.contains(QStringLiteral("拼音与中文名不符的药品：2")));
    QVERIFY(out.contains(QStringLiteral("2\t布洛芬\t存储：XXX\t应为：BLF")));
    QVERIFY(out.contains(QStringLiteral("4\t维生素B1\t存储：（空值）\t应为：WSSB")));
    QVERIFY(out.contains(QStringLiteral("名称中有字符得不到字母的药品：2")));
    QVERIFY(out.contains(QStringLiteral("3\t吡嗪酰胺\t嗪 酰")));
    QVERIFY(out.contains(QStringLiteral("4\t维生素B1\t1")));
    QVERIFY(!out.contains(QStringLiteral("阿莫西林")));

    QTemporaryDir dir;
    const Run missing = runTool({QStringLiteral("check"), dir.filePath(QStringLiteral("none.m"))});
    QVERIFY(missing.status != 0);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("none.m"))));
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

void TestXiyaoDb::usage() {
    const Run run = runTool({QStringLiteral("frobnicate")});
    QVERIFY(run.status != 0);
    QVERIFY(run.err.contains(QStringLiteral("用法")));
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
