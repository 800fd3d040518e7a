#include "data/DataInfo.h"
#include "data/DrugConnection.h"
#include "data/DrugRecordset.h"
#include "data/DrugSchema.h"
#include "data/SqlTexts.h"
#include "data/Statement.h"
#include "data/UserStore.h"
#include "tests/support/DrugFileFixture.h"
#include "tests/support/PdfCheck.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/ReadOnlyFile.h"

#include <QProcess>
#include <QtTest>

#include <optional>

namespace {

using Run = ProgramRun;

Run runTool(const QStringList& arguments, const QByteArray& input = QByteArray(),
            const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    return runProgram(QStringLiteral(XIYAO_DB_PATH), arguments, input, environment);
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content) {
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(content);
    return path;
}

const QByteArray Header = "编号,中文名,英文名,药物说明书,拼音,类别,规格,用量,用法,剂型\r\n";

const QByteArray NotesHeader = "类型,中文名,英文名,内容\r\n";

// The tool's environment with its own data folder, where the user's store is by default.
QProcessEnvironment withDataHome(const QString& folder) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), folder);
    return environment;
}

// A store's favourites and notes, to compare.
QStringList storeContent(const QString& path) {
    UserStore store(path);
    QStringList content;
    for (const DrugNames& drug : store.favourites())
        content.append(QStringLiteral("收藏 %1|%2").arg(drug.chineseName, drug.englishName));
    for (const UserNote& note : store.notes())
        content.append(QStringLiteral("笔记 %1|%2|%3").arg(note.drug.chineseName, note.drug.englishName, note.text));
    return content;
}

} // namespace

// The tool as a process: its exit codes, its messages and its output. What the CSV text may
// hold and how import, export and check treat it is tst_exchange's, in process.
class TestXiyaoDb : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void createRefusesExistingAndMissingFolder();
    void importThenExportThroughTheTool();
    void importOptionsTreatExistingNames_data();
    void importOptionsTreatExistingNames();
    void importReadsAListAsExcelSavesIt_data();
    void importReadsAListAsExcelSavesIt();
    void brokenCsvNamesFileAndLine();
    void missingFileFails_data();
    void missingFileFails();
    void checkFailsOnADamagedFile_data();
    void checkFailsOnADamagedFile();
    void infoShowsAndSetsTheDataVersion_data();
    void infoShowsAndSetsTheDataVersion();
    void pinyinFilter();
    void sampleListImports();
    void pdfOfDrugsWithoutADisplay_data();
    void pdfOfDrugsWithoutADisplay();
    void usage_data();
    void usage();
    void outputThatCannotBeWrittenFails_data();
    void outputThatCannotBeWrittenFails();
    void commandsNeedingInitialsRefuseWithoutTheConverter_data();
    void commandsNeedingInitialsRefuseWithoutTheConverter();
    void notesMoveToAnotherStore();
    void notesFailuresChangeNothing_data();
    void notesFailuresChangeNothing();
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
    QCOMPARE(runTool({QStringLiteral("export"), file.path(), QStringLiteral("--bom")}).out,
             "\xEF\xBB\xBF" + exported.out);
    // The import noted its date, and the file with its information table is still sound.
    const QStringList days{QDate::currentDate().toString(Qt::ISODate),
                           QDate::currentDate().addDays(-1).toString(Qt::ISODate)};
    const QString importDate = readDataInfo(file.connection()).importDate;
    QVERIFY2(days.contains(importDate), qPrintable(importDate));
    QCOMPARE(runTool({QStringLiteral("check"), file.path()}).status, 0);
}

void TestXiyaoDb::importOptionsTreatExistingNames_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("drugs");
    // DB holds six drugs, CSV has them again and one more.
    QTest::newRow("existing names warned, imported all the same")
        << QStringList{QStringLiteral("import"), QStringLiteral("DB"), QStringLiteral("CSV")}
        << QStringLiteral(
               "xiyao-db：警告：有 6 行的中文名在数据库中已存在（阿莫西林、布洛芬、头孢呋辛、甲硝唑、青霉素 等）；"
               "这些行也已导入")
        << 13;
    QTest::newRow("--skip-existing after the files")
        << QStringList{QStringLiteral("import"), QStringLiteral("DB"), QStringLiteral("CSV"),
                       QStringLiteral("--skip-existing")}
        << QStringLiteral("已跳过 6 行：中文名在数据库中已存在（阿莫西林、布洛芬、头孢呋辛、甲硝唑、青霉素 等）\n"
                          "已导入 1 种药品")
        << 7;
    QTest::newRow("--replace before the files") << QStringList{QStringLiteral("import"), QStringLiteral("--replace"),
                                                               QStringLiteral("DB"), QStringLiteral("CSV")}
                                                << QStringLiteral("已删除原有的 6 种药品\n已导入 7 种药品") << 7;
}

void TestXiyaoDb::importOptionsTreatExistingNames() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QFETCH(int, drugs);
    QTemporaryDir dir;
    DrugFileFixture file;
    const QStringList names{QStringLiteral("阿莫西林"), QStringLiteral("布洛芬"), QStringLiteral("头孢呋辛"),
                            QStringLiteral("甲硝唑"),   QStringLiteral("青霉素"), QStringLiteral("维生素B1")};
    for (const QString& name : names)
        file.insert(name);
    const QString csv =
        writeFile(dir, QStringLiteral("again.csv"),
                  "中文名\r\n" + (names + QStringList{QStringLiteral("阿司匹林")}).join(u'\n').toUtf8());
    arguments.replaceInStrings(QStringLiteral("DB"), file.path());
    arguments.replaceInStrings(QStringLiteral("CSV"), csv);
    const Run run = runTool(arguments);
    QCOMPARE(run.status, 0);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QCOMPARE(file.readAll().size(), drugs);
}

void TestXiyaoDb::importReadsAListAsExcelSavesIt_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("drugs");
    // DB stands for a drug file, CSV for the list, FILE for the list in the message. The list
    // has two rows of empty cells and a blank line.
    const QString imported = QStringLiteral("跳过了 3 个空行\n已导入 2 种药品");
    QTest::newRow("--encoding gb18030") << QStringList{QStringLiteral("import"), QStringLiteral("DB"),
                                                       QStringLiteral("CSV"), QStringLiteral("--encoding"),
                                                       QStringLiteral("gb18030")}
                                        << 0 << imported << 2;
    QTest::newRow("--encoding GBK before the files")
        << QStringList{QStringLiteral("import"), QStringLiteral("--encoding"), QStringLiteral("GBK"),
                       QStringLiteral("DB"), QStringLiteral("CSV")}
        << 0 << imported << 2;
    QTest::newRow("read as UTF-8: the message names the option")
        << QStringList{QStringLiteral("import"), QStringLiteral("DB"), QStringLiteral("CSV")} << 1
        << QStringLiteral(
               "xiyao-db：错误：FILE 第 1 行：表头不是有效的 UTF-8 文本；整个文件是有效的 GB18030（GBK）文本，"
               "中文 Windows 上的 Excel、WPS 保存的 CSV 就是这种编码；请加上 --encoding gb18030 再导入；"
               "数据库没有改动")
        << 0;
}

void TestXiyaoDb::importReadsAListAsExcelSavesIt() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(int, drugs);
    QTemporaryDir dir;
    DrugFileFixture file;
    const QString csv = writeFile(dir, QStringLiteral("excel.csv"),
                                  gb18030("中文名,英文名,药物说明书,,\r\n"
                                          "阿莫西林,Amoxicillin,\"一日三次，\r\n饭后服用\",,\r\n"
                                          ",,,,\r\n"
                                          "\r\n"
                                          "布洛芬,,,,\r\n"
                                          ",,,,\r\n"));
    arguments.replaceInStrings(QStringLiteral("DB"), file.path());
    arguments.replaceInStrings(QStringLiteral("CSV"), csv);
    const Run run = runTool(arguments);
    QCOMPARE(run.status, status);
    QVERIFY2(run.err.contains(message.replace(QStringLiteral("FILE"), csv)), qPrintable(run.err));
    QCOMPARE(file.readAll().size(), drugs);
    if (status != 0)
        return;
    // Back out in GB18030: the UTF-8 export, each character in the form iconv gives it.
    const Run exported =
        runTool({QStringLiteral("export"), file.path(), QStringLiteral("--encoding"), QStringLiteral("gb18030")});
    QCOMPARE(exported.status, 0);
    QCOMPARE(exported.out, gb18030(runTool({QStringLiteral("export"), file.path()}).out));
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
    // A file whose name begins like a server's is a file: only an address is refused before it.
    QTest::newRow("publish: no drug file, named like the server")
        << QStringList{QStringLiteral("publish"), QStringLiteral("postgres-old.m"),
                       QStringLiteral("postgresql://127.0.0.1:1/xiyao")}
        << QStringLiteral("postgres-old.m：");
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

void TestXiyaoDb::checkFailsOnADamagedFile_data() {
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("report");
    QTest::newRow("truncated mid-page") << QStringLiteral("truncated") << QStringLiteral("文件已损坏，无法读取")
                                        << QString();
    QTest::newRow("a byte flipped in a middle page")
        << QStringLiteral("flipped") << QStringLiteral("文件已损坏，问题见检查报告")
        << QStringLiteral("完整性检查：发现问题");
    // The engine takes a page of zeros for one never written: its own check passes.
    QTest::newRow("last page of a leaflet zeroed")
        << QStringLiteral("zeroed") << QStringLiteral("文件已损坏，问题见检查报告") << QStringLiteral("页全是零");
    QTest::newRow("a CSV list, not a drug file")
        << QStringLiteral("csv") << QStringLiteral("不是药品数据库，或文件已损坏") << QString();
}

void TestXiyaoDb::checkFailsOnADamagedFile() {
    QFETCH(QString, damage);
    QFETCH(QString, message);
    QFETCH(QString, report);
    DrugFileFixture file;
    // One drug, its long leaflet on overflow pages: the middle pages and the last.
    file.insert(QStringLiteral("阿莫西林"), Cell::null(), QString(), QStringLiteral("说明书").repeated(3000));
    constexpr qsizetype Page = 4096;
    QByteArray bytes = file.bytes();
    const qsizetype middle = bytes.size() / Page / 2 * Page;
    if (damage == QStringLiteral("truncated"))
        bytes.truncate(middle + Page / 2);
    else if (damage == QStringLiteral("flipped"))
        bytes[middle + 100] = static_cast<char>(bytes[middle + 100] ^ 1);
    else if (damage == QStringLiteral("zeroed"))
        bytes.replace(bytes.size() - Page, Page, QByteArray(Page, '\0'));
    else if (damage == QStringLiteral("csv"))
        bytes = "中文名\r\n阿莫西林\r\n";
    QTemporaryDir dir;
    const Run run = runTool({QStringLiteral("check"), writeFile(dir, QStringLiteral("damaged.m"), bytes)});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(QStringLiteral("xiyao-db：错误：")) && run.err.contains(message), qPrintable(run.err));
    QVERIFY2(QString::fromUtf8(run.out).contains(report), run.out.constData());
}

void TestXiyaoDb::infoShowsAndSetsTheDataVersion_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("file"); // new, counted (4 local changes), read-only, other table
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said"); // what info shows afterwards, or the message of a failure
    const QString unknown =
        QStringLiteral("数据版本：未知\n修订日期：未知\n来源：未知\n导入日期：未知\n本地修改次数：0\n药品数：1\n");
    const QString set = QStringLiteral("--set");
    QTest::newRow("a file without the table") << QStringList{} << QStringLiteral("new") << 0 << unknown;
    QTest::newRow("set") << QStringList{set, QStringLiteral("数据版本=2026.1"),
                                        set, QStringLiteral("修订日期=2024-02-29"),
                                        set, QStringLiteral("来源=国家药典 2025 年版")}
                         << QStringLiteral("new") << 0
                         << QStringLiteral(
                                "数据版本：2026.1\n修订日期：2024-02-29\n来源：国家药典 2025 年版\n导入日期：未知\n"
                                "本地修改次数：0\n药品数：1\n");
    QTest::newRow("the count reset when publishing")
        << QStringList{set, QStringLiteral("数据版本=2"), QStringLiteral("--reset-changes")}
        << QStringLiteral("counted") << 0
        << QStringLiteral("数据版本：2\n修订日期：未知\n来源：未知\n导入日期：未知\n本地修改次数：0\n药品数：1\n");
    QTest::newRow("no such day, nothing written")
        << QStringList{set, QStringLiteral("数据版本=2026.1"), set, QStringLiteral("修订日期=2026-02-30")}
        << QStringLiteral("new") << 1 << QStringLiteral("修订日期“2026-02-30”不是真实的日期");
    QTest::newRow("a date in another form") << QStringList{set, QStringLiteral("修订日期=2026-2-3")}
                                            << QStringLiteral("new") << 1 << QStringLiteral("不是真实的日期");
    QTest::newRow("unknown item") << QStringList{set, QStringLiteral("作者=张三")} << QStringLiteral("new") << 1
                                  << QStringLiteral("不能设置“作者=张三”");
    QTest::newRow("the count by hand") << QStringList{set, QStringLiteral("本地修改次数=0")}
                                       << QStringLiteral("counted") << 1 << QStringLiteral("不能设置；");
    QTest::newRow("read-only file shows its info") << QStringList{} << QStringLiteral("read-only") << 0 << unknown;
    QTest::newRow("read-only file refuses a setting")
        << QStringList{set, QStringLiteral("数据版本=2")} << QStringLiteral("read-only") << 1
        << QStringLiteral("文件是只读的");
    QTest::newRow("a table of another shape, shown")
        << QStringList{} << QStringLiteral("other table") << 1 << QStringLiteral("不是本程序的数据信息表");
    QTest::newRow("a table of another shape, set")
        << QStringList{set, QStringLiteral("数据版本=2")} << QStringLiteral("other table") << 1
        << QStringLiteral("不是本程序的数据信息表");
}

void TestXiyaoDb::infoShowsAndSetsTheDataVersion() {
    QFETCH(QStringList, options);
    QFETCH(QString, file);
    QFETCH(int, status);
    QFETCH(QString, said);
    DrugFileFixture drugs;
    drugs.insert(QStringLiteral("阿莫西林"));
    if (file == QStringLiteral("counted")) {
        for (int i = 0; i < 4; ++i)
            countLocalChange(drugs.connection());
    } else if (file == QStringLiteral("other table")) {
        drugs.connection().execute(QStringLiteral("CREATE TABLE 数据信息 (名称 TEXT, 值 TEXT)"));
    }
    const QByteArray before = drugs.bytes();
    std::optional<ReadOnlyFile> readOnly;
    if (file == QStringLiteral("read-only")) {
        readOnly.emplace(drugs.path());
        QVERIFY(readOnly->done());
    }
    const Run run = runTool(QStringList{QStringLiteral("info")} + options + QStringList{drugs.path()});
    QVERIFY2(run.status == status, qPrintable(run.err));
    if (status != 0) {
        QVERIFY2(run.err.contains(said), qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
    } else if (options.isEmpty()) {
        QCOMPARE(QString::fromUtf8(run.out), said);
    } else {
        QCOMPARE(QString::fromUtf8(runTool({QStringLiteral("info"), drugs.path()}).out), said);
    }
    // Only a setting that succeeded writes; a read never makes the table.
    if (status != 0 || options.isEmpty())
        QCOMPARE(drugs.bytes(), before);
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

void TestXiyaoDb::pdfOfDrugsWithoutADisplay_data() {
    QTest::addColumn<QStringList>("chosen"); // the keys given by name, or --all
    QTest::addColumn<QStringList>("names");  // the drugs the PDF holds, in its order; none: refused
    QTest::newRow("two keys, in the order given") << QStringList{QStringLiteral("布洛芬"), QStringLiteral("阿莫西林")}
                                                  << QStringList{QStringLiteral("布洛芬"), QStringLiteral("阿莫西林")};
    QTest::newRow("--all, in the keys' order")
        << QStringList{QStringLiteral("--all")}
        << QStringList{QStringLiteral("阿莫西林"), QStringLiteral("头孢𠀀"), QStringLiteral("布洛芬")};
    QTest::newRow("an unknown key: nothing written")
        << QStringList{QStringLiteral("阿莫西林"), QStringLiteral("9999")} << QStringList{};
}

void TestXiyaoDb::pdfOfDrugsWithoutADisplay() {
    QFETCH(QStringList, chosen);
    QFETCH(QStringList, names);
    DrugFileFixture file;
    QHash<QString, QString> leaflets{
        {QStringLiteral("阿莫西林"), QStringLiteral("【用法用量】口服。\r\n【禁忌】青霉素过敏者禁用。")},
        {QStringLiteral("头孢𠀀"), QStringLiteral("𬭩开头\n【贮藏】密封。")},
        {QStringLiteral("布洛芬"), QStringLiteral("饭后服。")},
    };
    QHash<QString, qint64> keys;
    for (const QString& name : {QStringLiteral("阿莫西林"), QStringLiteral("头孢𠀀"), QStringLiteral("布洛芬")})
        keys.insert(name, file.insert(name, Cell(QStringLiteral("X")), QStringLiteral("E"), leaflets[name]));
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
    QStringList arguments{QStringLiteral("pdf"), file.path(), pdf};
    for (const QString& name : chosen)
        arguments.append(keys.contains(name) ? QString::number(keys[name]) : name);
    QProcessEnvironment noDisplay = QProcessEnvironment::systemEnvironment();
    noDisplay.remove(QStringLiteral("DISPLAY"));
    noDisplay.remove(QStringLiteral("WAYLAND_DISPLAY"));
    noDisplay.remove(QStringLiteral("QT_QPA_PLATFORM"));
    const Run run = runTool(arguments, {}, noDisplay);
    if (names.isEmpty()) {
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(QStringLiteral("没有编号为 9999 的药品")), qPrintable(run.err));
        QVERIFY(!QFile::exists(pdf));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 0);
        return;
    }
    QVERIFY2(run.status == 0, qPrintable(run.err));
    QCOMPARE(fontsNotEmbedded(pdf), QStringList());
    // Each drug from a page of its own (these fit on one), its key at the foot.
    QStringList pages = pdfText(pdf).split(u'\f');
    pages.removeAll(QString());
    QCOMPARE(pages.size(), names.size());
    for (qsizetype i = 0; i < names.size(); ++i) {
        QString page = pages[i];
        const QString key = QStringLiteral("编号 %1").arg(keys[names[i]]);
        QVERIFY2(page.contains(key) && page.contains(QStringLiteral("第 %1 页").arg(i + 1)), qPrintable(page));
        page.remove(key)
            .remove(QStringLiteral("第 %1 页").arg(i + 1))
            .remove(QRegularExpression(QStringLiteral("\\d{4}-\\d\\d-\\d\\d")));
        QCOMPARE(withoutBlanks(page), names[i] + QStringLiteral("E") + withoutBlanks(leaflets[names[i]]));
    }
}

void TestXiyaoDb::usage_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::newRow("unknown command") << QStringList{QStringLiteral("frobnicate")} << 2;
    QTest::newRow("no command") << QStringList{} << 2;
    QTest::newRow("argument missing") << QStringList{QStringLiteral("export")} << 2;
    QTest::newRow("import without arguments") << QStringList{QStringLiteral("import")} << 2;
    QTest::newRow("argument too many") << QStringList{QStringLiteral("pinyin"), QStringLiteral("x")} << 2;
    QTest::newRow("import: both options")
        << QStringList{QStringLiteral("import"), QStringLiteral("--skip-existing"), QStringLiteral("DB"),
                       QStringLiteral("CSV"), QStringLiteral("--replace")}
        << 2;
    QTest::newRow("export: an option of import")
        << QStringList{QStringLiteral("export"), QStringLiteral("DB"), QStringLiteral("--replace")} << 2;
    QTest::newRow("import: unknown encoding")
        << QStringList{QStringLiteral("import"), QStringLiteral("DB"), QStringLiteral("CSV"),
                       QStringLiteral("--encoding"), QStringLiteral("latin1")}
        << 2;
    QTest::newRow("export: a byte order mark in GB18030")
        << QStringList{QStringLiteral("export"), QStringLiteral("--bom"), QStringLiteral("DB"),
                       QStringLiteral("--encoding"), QStringLiteral("gb18030")}
        << 2;
    QTest::newRow("publish: an option of import")
        << QStringList{QStringLiteral("publish"), QStringLiteral("--skip-existing"), QStringLiteral("DB"),
                       QStringLiteral("postgresql://localhost/xiyao")}
        << 2;
    QTest::newRow("publish: the address first")
        << QStringList{QStringLiteral("publish"), QStringLiteral("postgresql://localhost/xiyao"), QStringLiteral("DB")}
        << 2;
    QTest::newRow("pdf: keys and --all") << QStringList{QStringLiteral("pdf"), QStringLiteral("DB"),
                                                        QStringLiteral("OUT"), QStringLiteral("1"),
                                                        QStringLiteral("--all")}
                                         << 2;
    QTest::newRow("pdf: a key that is no number")
        << QStringList{QStringLiteral("pdf"), QStringLiteral("DB"), QStringLiteral("OUT"), QStringLiteral("x")} << 2;
    QTest::newRow("check: unknown option")
        << QStringList{QStringLiteral("check"), QStringLiteral("--bom"), QStringLiteral("DB")} << 2;
    QTest::newRow("--set with another command") << QStringList{QStringLiteral("export"), QStringLiteral("DB"),
                                                               QStringLiteral("--set"), QStringLiteral("数据版本=1")}
                                                << 2;
    QTest::newRow("info: --set without its value")
        << QStringList{QStringLiteral("info"), QStringLiteral("DB"), QStringLiteral("--set")} << 2;
    QTest::newRow("notes: unknown action")
        << QStringList{QStringLiteral("notes"), QStringLiteral("list"), QStringLiteral("CSV")} << 2;
    QTest::newRow("notes import: --bom") << QStringList{QStringLiteral("notes"), QStringLiteral("import"),
                                                        QStringLiteral("CSV"), QStringLiteral("--bom")}
                                         << 2;
    QTest::newRow("notes: --store without its value") << QStringList{QStringLiteral("notes"), QStringLiteral("export"),
                                                                     QStringLiteral("CSV"), QStringLiteral("--store")}
                                                      << 2;
    QTest::newRow("--store with another command")
        << QStringList{QStringLiteral("export"), QStringLiteral("DB"), QStringLiteral("--store"), QStringLiteral("S")}
        << 2;
    QTest::newRow("help") << QStringList{QStringLiteral("help")} << 0;
    QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << 0;
}

void TestXiyaoDb::usage() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    const Run run = runTool(arguments);
    QCOMPARE(run.status, status);
    QVERIFY2(run.err.contains(QStringLiteral("用法")), qPrintable(run.err));
    QVERIFY2(run.err.contains(QStringLiteral("可用的列：中文名、英文名、药物说明书、类别、规格、用量、用法、剂型")) &&
                 run.err.contains(QStringLiteral("--encoding gb18030")),
             qPrintable(run.err));
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

void TestXiyaoDb::notesMoveToAnotherStore() {
    QTemporaryDir dir;
    const QString home = dir.filePath(QStringLiteral("data"));
    const QString mine = home + QStringLiteral("/xiyao/user-store.db");
    const QString csv = dir.filePath(QStringLiteral("notes.csv"));
    // Before the user has a store: the header alone, and no store made for it.
    const Run none = runTool({QStringLiteral("notes"), QStringLiteral("export"), csv}, {}, withDataHome(home));
    QVERIFY2(none.status == 0, qPrintable(none.err));
    QVERIFY2(none.err.contains(QStringLiteral("还没有收藏和笔记（%1 不存在）").arg(mine)), qPrintable(none.err));
    QVERIFY(!QFile::exists(home));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), NotesHeader);
    file.close();
    {
        UserStore store(mine);
        store.setFavourite({QStringLiteral("布洛芬"), QString()}, true);
        store.setFavourite({QStringLiteral("阿莫西林"), QStringLiteral("Amoxicillin")}, true);
        store.setNote({QStringLiteral("阿莫西林"), QStringLiteral("Amoxicillin")},
                      QStringLiteral("饭后服，\"多喝水\"\n𠀀"));
    }
    const Run exported = runTool({QStringLiteral("notes"), QStringLiteral("export"), csv, QStringLiteral("--bom")}, {},
                                 withDataHome(home));
    QVERIFY2(exported.status == 0, qPrintable(exported.err));
    QVERIFY2(exported.err.contains(QStringLiteral("已把 2 个收藏和 1 条笔记导出到 ") + csv), qPrintable(exported.err));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().startsWith("\xEF\xBB\xBF" + NotesHeader + "收藏,阿莫西林,Amoxicillin,\r\n"));

    const QString other = dir.filePath(QStringLiteral("other/store.db"));
    const QStringList import{QStringLiteral("notes"), QStringLiteral("import"), QStringLiteral("--store"), other, csv};
    const Run imported = runTool(import, {}, withDataHome(home));
    QVERIFY2(imported.status == 0, qPrintable(imported.err));
    QCOMPARE(imported.err, QStringLiteral("收藏：加入 2 个，已有 0 个\n"
                                          "笔记：加入 1 条，接在原有笔记之后 0 条，原有笔记已包含而跳过 0 条\n"));
    QCOMPARE(storeContent(other), storeContent(mine));
    const Run again = runTool(import, {}, withDataHome(home));
    QVERIFY2(again.status == 0, qPrintable(again.err));
    QVERIFY2(again.err.endsWith(QStringLiteral("原有笔记已包含而跳过 1 条\n没有新的内容，收藏和笔记没有改动\n")),
             qPrintable(again.err));
    QCOMPARE(storeContent(other), storeContent(mine));
}

void TestXiyaoDb::notesFailuresChangeNothing_data() {
    QTest::addColumn<QStringList>(
        "arguments");                    // STORE: the store; CSV: a file there, named by the row (FILE in the message)
    QTest::addColumn<QByteArray>("csv"); // what CSV holds, when it is a file
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    const QStringList import{QStringLiteral("notes"), QStringLiteral("import"), QStringLiteral("CSV"),
                             QStringLiteral("--store"), QStringLiteral("STORE")};
    const QStringList exportTo{QStringLiteral("notes"), QStringLiteral("export"), QStringLiteral("CSV"),
                               QStringLiteral("--store"), QStringLiteral("STORE")};
    const QByteArray good = NotesHeader + "收藏,青霉素,,\r\n笔记,布洛芬,,忌酒\r\n";
    QTest::newRow("import: a bad row in the middle")
        << import << good + "收藏,头孢呋辛,,另有内容\r\n收藏,维生素B1,,\r\n"
        << 1 << QStringLiteral("FILE 第 4 行：收藏的内容应当是空的；笔记的类型应当是“笔记”；收藏和笔记没有改动");
    QTest::newRow("import: GB18030") << import << gb18030(good) << 1
                                     << QStringLiteral("另存为“CSV UTF-8（逗号分隔）”后再导入；收藏和笔记没有改动");
    QTest::newRow("import: no such file") << import << QByteArray("none") << 1 << QStringLiteral("无法读取 FILE：");
    QTest::newRow("import: a folder") << import << QByteArray("folder") << 1
                                      << QStringLiteral("FILE 是一个文件夹，不是 CSV 文件；收藏和笔记没有改动");
    QTest::newRow("import: a named pipe")
        << import << QByteArray("fifo") << 1 << QStringLiteral("FILE 不是普通文件（是命名管道、设备或套接字）");
    QTest::newRow("export: a named pipe") << exportTo << QByteArray("fifo") << 1
                                          << QStringLiteral("FILE 不是普通文件（是命名管道、设备或套接字）；没有导出");
    QTest::newRow("export: a folder that is not there")
        << exportTo << QByteArray("none/") << 1 << QStringLiteral("无法写入 FILE");
    QTest::newRow("export: over the store")
        << exportTo << QByteArray("store") << 1 << QStringLiteral("FILE 就是收藏和笔记文件本身；没有导出");
}

void TestXiyaoDb::notesFailuresChangeNothing() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, csv);
    QFETCH(int, status);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString store = dir.filePath(QStringLiteral("store.db"));
    {
        UserStore user(store);
        user.setFavourite({QStringLiteral("阿莫西林"), QString()}, true);
        user.setNote({QStringLiteral("布洛芬"), QString()}, QStringLiteral("饭后服"));
    }
    const QStringList before = storeContent(store);
    QString path = dir.filePath(QStringLiteral("notes.csv"));
    if (csv == "none")
        path = dir.filePath(QStringLiteral("none.csv"));
    else if (csv == "none/")
        path = dir.filePath(QStringLiteral("none/notes.csv"));
    else if (csv == "folder")
        path = dir.path();
    else if (csv == "store")
        path = store;
    else if (csv == "fifo")
        QCOMPARE(QProcess::execute(QStringLiteral("mkfifo"), {path}), 0);
    else
        writeFile(dir, QStringLiteral("notes.csv"), csv);
    arguments.replaceInStrings(QStringLiteral("STORE"), store);
    arguments.replaceInStrings(QStringLiteral("CSV"), path);
    const Run run = runTool(arguments, {}, withDataHome(dir.filePath(QStringLiteral("data"))));
    QCOMPARE(run.status, status);
    QVERIFY2(run.err.contains(message.replace(QStringLiteral("FILE"), path)), qPrintable(run.err));
    QCOMPARE(storeContent(store), before);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("data"))));
}

QTEST_GUILESS_MAIN(TestXiyaoDb)
#include "tst_xiyaodb.moc"
