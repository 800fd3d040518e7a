#include "data/DataInfo.h"
#include "data/DrugConnection.h"
#include "data/DrugSchema.h"
#include "data/ServerConnection.h"
#include "data/Statement.h"
#include "tests/support/DrugFileFixture.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TableRows.h"

#include <QtTest>

namespace {

const QString SeatUser = QStringLiteral("seat");
const QString SeatPassword = QStringLiteral("right-secret");

// The drug table's columns as the drug file orders them.
QStringList fileColumns(const DrugConnection& connection) {
    Statement info(connection, QStringLiteral("PRAGMA table_info(%1)").arg(quotedIdentifier(DrugTableName)));
    QStringList columns;
    while (info.step())
        columns.append(info.column(1).toText());
    return columns;
}

// Every drug of the file, each column as the file holds it, in the order of the keys.
Rows fileDrugs(const DrugConnection& connection) {
    return fileRows(connection, QStringLiteral("SELECT %1 FROM %2 ORDER BY 1")
                                    .arg(quotedIdentifiers(fileColumns(connection)), quotedIdentifier(DrugTableName)));
}

// A drug file of the drugs given as rows of its columns in the file's order.
void fill(DrugFileFixture& file, const Rows& drugs, const QList<std::pair<QString, QString>>& info) {
    DrugConnection& connection = file.connection();
    const QStringList columns = fileColumns(connection);
    Statement insert(connection, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                     .arg(quotedIdentifier(DrugTableName), quotedIdentifiers(columns),
                                          QStringList(columns.size(), QStringLiteral("?")).join(u',')));
    for (const QList<Cell>& drug : drugs) {
        for (int i = 0; i < drug.size(); ++i)
            insert.bind(i + 1, drug[i]);
        insert.step();
        insert.reset();
    }
    writeDataInfo(connection, info);
}

// 编号, 中文名, 英文名, 拼音, 类别, 规格, 用量, 用法, 剂型, 药物说明书. The keys have gaps, as a file's
// do once drugs were deleted.
Rows newEdition() {
    const Cell null = Cell::null();
    return {
        {qint64(3), QStringLiteral("阿莫西林"), QStringLiteral("Amoxicillin"), QStringLiteral("AMXL"),
         QStringLiteral("抗生素"), QStringLiteral("0.25g"), QStringLiteral("一次1粒"), QStringLiteral("口服"),
         QStringLiteral("胶囊"), QStringLiteral("【用法用量】口服。\r\n【禁忌】青霉素过敏者禁用。\r\n")},
        {qint64(7), QStringLiteral("头孢𠀀𬭩"), null, null, null, null, null, null, null,
         QStringLiteral("𠀀开头\r\n【贮藏】密封。").repeated(1 << 16)},
        {qint64(42), QStringLiteral("布洛芬'); DROP TABLE 西药; --"), QString(), QStringLiteral("BLF"), QString(), null,
         null, null, null, QStringLiteral("饭后服。\n")},
    };
}

// The drugs an earlier publish put on the server: more of them, under higher keys.
Rows earlierEdition() {
    Rows drugs;
    for (const qint64 key : {1, 3, 60}) {
        drugs.append({key, QStringLiteral("旧药%1").arg(key), QStringLiteral("Old"), QStringLiteral("JY"), Cell::null(),
                      Cell::null(), Cell::null(), Cell::null(), Cell::null(), QStringLiteral("旧的说明书")});
    }
    return drugs;
}

// Drugs to import: more than one batch of them, in the columns of a spreadsheet (编号 there but
// never read), one of them named as a drug of the earlier edition, and the empty lines
// spreadsheets leave. bad: the drug whose row has no Chinese name, -1 for none.
QByteArray importedCsv(int bad = -1) {
    QString csv = QStringLiteral("药物说明书,中文名,编号,英文名,剂型\r\n\r\n,,,,\r\n\"\",旧药3,,Old,\r\n");
    for (int i = 0; i < 1100; ++i) {
        // Each record takes two lines: the leaflet's line break is quoted.
        csv +=
            QStringLiteral("\"【用法用量】第 %1 种，\"\"口服\"\"。\r\n【贮藏】密封。\",%2,999,%3,%4\r\n")
                .arg(i)
                .arg(i == bad ? QString()
                              : QStringLiteral("导入的药%1%2").arg(i).arg(i % 100 ? QString() : QStringLiteral("𠀀")),
                     i % 2 ? QStringLiteral("Drug %1").arg(i) : QString(), i % 3 ? QStringLiteral("片剂") : QString());
    }
    return csv.toUtf8();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

} // namespace

// xiyao-db publish against a real server that the test program starts once; each test function
// and row begins on a database without tables.
class TestPublish : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void publishedAsTheFileHoldsThem_data();
    void publishedAsTheFileHoldsThem();
    void sameFromServerAsFromFile_data();
    void sameFromServerAsFromFile();
    void importedAsIntoAFile_data();
    void importedAsIntoAFile();
    void refusedChangesNothing_data();
    void refusedChangesNothing();

private:
    std::unique_ptr<ServerConnection> connect() const;
    ProgramRun xiyaoDb(const QStringList& arguments) const;
    ProgramRun publish(const QStringList& arguments) const;
    // The server as xiyao-db's messages name it.
    QString serverName() const;
    // Everything the database holds that a publish may touch: tables, columns, rows, sequences.
    QStringList snapshot() const;

    PostgresServer m_server;
    DrugFileFixture m_newFile;
    DrugFileFixture m_earlierFile;
    DrugFileFixture m_unstorableFile; // a leaflet holds U+0000
};

void TestPublish::initTestCase() {
    if (const QString why = PostgresServer::unavailableReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    qputenv("PGPASSFILE", "/nonexistent/pgpass");
    const QString failure = m_server.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    connect()->execute(QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2'").arg(SeatUser, SeatPassword));
    fill(m_newFile, newEdition(),
         {{DataVersionItem, QStringLiteral("2026.1")}, {SourceItem, QStringLiteral("药典𠀀")}});
    m_unstorableFile.insert(QStringLiteral("阿莫西林"));
    m_unstorableFile.insert(QStringLiteral("布洛芬"), Cell::null(), QString(),
                            QStringLiteral("饭后") + QChar(0) + QStringLiteral("服"));
    fill(m_earlierFile, earlierEdition(),
         {{DataVersionItem, QStringLiteral("2025.4")}, {RevisionDateItem, QStringLiteral("2025-12-01")}});
}

void TestPublish::cleanupTestCase() {
    m_server.stop();
}

void TestPublish::init() {
    connect()->execute(QStringLiteral("DROP TABLE IF EXISTS %1, %2")
                           .arg(quotedIdentifier(DrugTableName), quotedIdentifier(DataInfoTableName)));
}

std::unique_ptr<ServerConnection> TestPublish::connect() const {
    auto connection = std::make_unique<ServerConnection>();
    connection->open(m_server.url());
    return connection;
}

ProgramRun TestPublish::xiyaoDb(const QStringList& arguments) const {
    return runProgram(QStringLiteral(XIYAO_DB_PATH), arguments);
}

ProgramRun TestPublish::publish(const QStringList& arguments) const {
    return xiyaoDb(QStringList{QStringLiteral("publish")} + arguments);
}

QString TestPublish::serverName() const {
    return QStringLiteral("服务器 ") + connect()->target();
}

QStringList TestPublish::snapshot() const {
    const auto server = connect();
    QStringList held;
    const ServerResult tables = server->execute(
        QStringLiteral("SELECT tablename FROM pg_tables WHERE schemaname = 'public' ORDER BY tablename"));
    for (int i = 0; i < tables.rowCount(); ++i) {
        const QString table = tables.value(i, 0).toText();
        const ServerResult columns = server->execute(
            QStringLiteral("SELECT string_agg(column_name || ' ' || data_type || ' ' || is_identity, ', ' "
                           "ORDER BY ordinal_position) FROM information_schema.columns WHERE table_name = $1"),
            {table});
        held.append(table + QStringLiteral(": ") + columns.value(0, 0).toText());
        const ServerResult rows = server->execute(
            QStringLiteral("SELECT to_jsonb(t)::text FROM %1 t ORDER BY 1").arg(quotedIdentifier(table)));
        for (int row = 0; row < rows.rowCount(); ++row)
            held.append(rows.value(row, 0).toText());
    }
    const ServerResult sequences =
        server->execute(QStringLiteral("SELECT sequencename || ' ' || coalesce(last_value, 0) FROM pg_sequences"));
    for (int i = 0; i < sequences.rowCount(); ++i)
        held.append(sequences.value(i, 0).toText());
    return held;
}

void TestPublish::publishedAsTheFileHoldsThem_data() {
    QTest::addColumn<bool>("earlier"); // an earlier edition on the server, one of its drugs changed
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("message");
    QTest::addColumn<qint64>("nextKey");
    QTest::addColumn<qint64>("revision");
    QTest::newRow("into a database without tables")
        << false << QStringList{} << QStringLiteral("已把 3 种药品发布到服务器") << qint64(43) << qint64(1);
    // The identity never goes back below a key it gave, and the revisions go above the replaced ones.
    QTest::newRow("--replace over an earlier edition")
        << true << QStringList{QStringLiteral("--replace")}
        << QStringLiteral("已删除服务器上原有的 3 种药品\n已把 3 种药品发布到服务器") << qint64(61) << qint64(8);
}

void TestPublish::publishedAsTheFileHoldsThem() {
    QFETCH(bool, earlier);
    QFETCH(QStringList, options);
    QFETCH(QString, message);
    QFETCH(qint64, nextKey);
    QFETCH(qint64, revision);
    const auto server = connect();
    if (earlier) {
        const ProgramRun first = publish({m_earlierFile.path(), m_server.url()});
        QVERIFY2(first.status == 0, qPrintable(first.err));
        server->execute(QStringLiteral("UPDATE %1 SET %2 = 7 WHERE %3 = 3")
                            .arg(quotedIdentifier(DrugTableName), quotedIdentifier(QStringLiteral("修订")),
                                 quotedIdentifier(KeyColumn)));
        server->execute(
            QStringLiteral("INSERT INTO %1 VALUES ('服务器备注', '留着')").arg(quotedIdentifier(DataInfoTableName)));
    }
    const ProgramRun run = publish(options + QStringList{m_newFile.path(), m_server.url()});
    QVERIFY2(run.status == 0, qPrintable(run.err));
    QVERIFY2(run.err.contains(message), qPrintable(run.err));

    // The file's columns in the file's order, then the revision.
    const QStringList columns = fileColumns(m_newFile.connection());
    const ServerResult names = server->execute(
        QStringLiteral(
            "SELECT column_name FROM information_schema.columns WHERE table_name = $1 ORDER BY ordinal_position"),
        {DrugTableName});
    QStringList serverColumns;
    for (int i = 0; i < names.rowCount(); ++i)
        serverColumns.append(names.value(i, 0).toText());
    QCOMPARE(serverColumns, columns + QStringList{QStringLiteral("修订")});

    // Every drug exactly, keys kept, NULL apart from empty text.
    const Rows expected = fileDrugs(m_newFile.connection());
    QCOMPARE(expected.size(), newEdition().size());
    QCOMPARE(serverRows(*server, QStringLiteral("SELECT %1 FROM %2 ORDER BY 1")
                                     .arg(quotedIdentifiers(columns), quotedIdentifier(DrugTableName))),
             expected);
    QCOMPARE(serverRows(*server, QStringLiteral("SELECT DISTINCT %1 FROM %2")
                                     .arg(quotedIdentifier(QStringLiteral("修订")), quotedIdentifier(DrugTableName))),
             Rows{{Cell(revision)}});

    // A drug a seat adds gets the next key, at its first revision.
    QCOMPARE(serverRows(*server, QStringLiteral("INSERT INTO %1 (%2) VALUES ('新药') RETURNING %3, %4")
                                     .arg(quotedIdentifier(DrugTableName), quotedIdentifier(ChineseNameColumn),
                                          quotedIdentifier(KeyColumn), quotedIdentifier(QStringLiteral("修订")))),
             (Rows{{Cell(nextKey), Cell(1)}}));

    // The file's information, the publish's date, and nothing of the earlier edition's but what
    // the program does not know.
    Rows info{{Cell(DataVersionItem), Cell(QStringLiteral("2026.1"))},
              {Cell(SourceItem), Cell(QStringLiteral("药典𠀀"))},
              {Cell(ImportDateItem), Cell(QDate::currentDate().toString(Qt::ISODate))},
              {Cell(LocalChangesItem), Cell(QStringLiteral("0"))}};
    if (earlier)
        info.append({Cell(QStringLiteral("服务器备注")), Cell(QStringLiteral("留着"))});
    std::sort(info.begin(), info.end(), [](const QList<Cell>& a, const QList<Cell>& b) {
        return a[0].toText().toUtf8() < b[0].toText().toUtf8();
    });
    QCOMPARE(serverRows(*server, QStringLiteral("SELECT * FROM %1 ORDER BY %2 COLLATE \"C\"")
                                     .arg(quotedIdentifier(DataInfoTableName), quotedIdentifier(DataInfoItemColumn))),
             info);
}

// The commands that read a drug list give from the server what they give from the file published
// there, the list named by the server's place instead of the file's path.
void TestPublish::sameFromServerAsFromFile_data() {
    QTest::addColumn<QStringList>("arguments"); // LIST: the file, then the server; OUT: a PDF not written
    QTest::addColumn<QString>("heading");       // the check report's first line from the server
    QTest::newRow("export") << QStringList{QStringLiteral("export"), QStringLiteral("LIST")} << QString();
    // The server's pages are its own: only its tables are checked, then every drug's initials.
    QTest::newRow("check") << QStringList{QStringLiteral("check"), QStringLiteral("LIST")}
                           << QStringLiteral("服务器上的表：正常");
    // Each key read on its own: the one no drug has is named, and no PDF is written.
    QTest::newRow("pdf of a key there and one not")
        << QStringList{QStringLiteral("pdf"), QStringLiteral("LIST"), QStringLiteral("OUT"), QStringLiteral("3"),
                       QStringLiteral("5")}
        << QString();
}

void TestPublish::sameFromServerAsFromFile() {
    if (!qEnvironmentVariableIsSet("XIYAO_SLOW_TESTS"))
        QSKIP("seconds of work: tst_publish_slow (label slow) runs it");
    QFETCH(QStringList, arguments);
    QFETCH(QString, heading);
    const ProgramRun published = publish({m_newFile.path(), m_server.url()});
    QVERIFY2(published.status == 0, qPrintable(published.err));
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
    arguments.replaceInStrings(QStringLiteral("OUT"), pdf);
    QList<ProgramRun> runs;
    for (const QString& list : {m_newFile.path(), m_server.url()})
        runs.append(xiyaoDb(QStringList(arguments).replaceInStrings(QStringLiteral("LIST"), list)));
    const ProgramRun& file = runs[0];
    const ProgramRun& server = runs[1];
    QCOMPARE(server.status, file.status);
    QCOMPARE(server.err, QString(file.err).replace(QDir::toNativeSeparators(m_newFile.path()), serverName()));
    QVERIFY(!QFile::exists(pdf));
    if (heading.isEmpty()) {
        QCOMPARE(server.out, file.out);
        return;
    }
    QList<QByteArray> serverLines = server.out.split('\n');
    QList<QByteArray> fileLines = file.out.split('\n');
    QCOMPARE(QString::fromUtf8(serverLines.takeFirst()), heading);
    QCOMPARE(QString::fromUtf8(fileLines.takeFirst()), QStringLiteral("完整性检查：正常"));
    QCOMPARE(serverLines, fileLines);
}

// xiyao-db import into a server does what it does to a file that holds the same drugs: the same
// drugs under the same keys, the same report and the same information; the server's identity
// gives the keys, above every key it gave, at a revision above every one it held.
void TestPublish::importedAsIntoAFile_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("message");
    QTest::newRow("--replace") << QStringList{QStringLiteral("--replace")} << QStringLiteral("已删除原有的 3 种药品");
    QTest::newRow("--skip-existing") << QStringList{QStringLiteral("--skip-existing")} << QStringLiteral("已跳过 1 行");
}

void TestPublish::importedAsIntoAFile() {
    if (!qEnvironmentVariableIsSet("XIYAO_SLOW_TESTS"))
        QSKIP("seconds of work: tst_publish_slow (label slow) runs it");
    QFETCH(QStringList, options);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("drugs.m"));
    const QString csv = dir.filePath(QStringLiteral("drugs.csv"));
    writeFile(csv, importedCsv());
    // The earlier edition in both, one of its drugs changed since on the server.
    const ProgramRun published = publish({m_earlierFile.path(), m_server.url()});
    QVERIFY2(published.status == 0, qPrintable(published.err));
    const auto server = connect();
    server->execute(QStringLiteral("UPDATE 西药 SET 修订 = 7 WHERE 编号 = 3"));
    QVERIFY(QFile::copy(m_earlierFile.path(), file));
    const auto both = [&](const QStringList& arguments) {
        QList<ProgramRun> runs;
        for (const QString& list : {file, m_server.url()})
            runs.append(xiyaoDb(QStringList(arguments).replaceInStrings(QStringLiteral("LIST"), list)));
        runs[0].err.replace(QDir::toNativeSeparators(file), serverName());
        return runs;
    };
    const QList<ProgramRun> imports =
        both(QStringList{QStringLiteral("import")} + options + QStringList{QStringLiteral("LIST"), csv});
    QVERIFY2(imports[1].status == 0, qPrintable(imports[1].err));
    QVERIFY2(imports[1].err.contains(message), qPrintable(imports[1].err));
    QCOMPARE(imports[1].err, imports[0].err);
    const QList<ProgramRun> exports = both({QStringLiteral("export"), QStringLiteral("LIST")});
    QCOMPARE(exports[1].out.count("导入的药"), 1100);
    QCOMPARE(exports[1].out, exports[0].out);
    const QList<ProgramRun> settings =
        both({QStringLiteral("info"), QStringLiteral("--set"), QStringLiteral("来源=新来源"),
              QStringLiteral("--reset-changes"), QStringLiteral("LIST")});
    QCOMPARE(settings[1].status, 0);
    QCOMPARE(settings[1].err, settings[0].err);
    const QList<ProgramRun> infos = both({QStringLiteral("info"), QStringLiteral("LIST")});
    QVERIFY2(infos[1].out.contains("来源：新来源"), infos[1].out.constData());
    QCOMPARE(infos[1].out, infos[0].out);
    QCOMPARE(serverRows(*server, QStringLiteral("SELECT DISTINCT 修订 FROM 西药 WHERE 中文名 LIKE '导入的药%'")),
             Rows{{Cell(8)}});
}

void TestPublish::refusedChangesNothing_data() {
    QTest::addColumn<QStringList>("setup");     // SQL, or "publish": the earlier edition published
    QTest::addColumn<QStringList>("arguments"); // FILE: the drug file; URL: the server's URL; CSV: drugs
    QTest::addColumn<QString>("message");
    const QString publishing = QStringLiteral("publish");
    const QStringList replace{publishing, QStringLiteral("--replace"), QStringLiteral("FILE"), QStringLiteral("URL")};
    // The drug table as the program makes it, with columns left out or changed.
    const auto table = [](const QString& key, const QString& left, const QString& right) {
        QString sql = QStringLiteral("CREATE TABLE 西药 (编号 %1, 中文名 text, 英文名 text, 拼音 text, 类别 text, "
                                     "规格 text, 用量 text, 用法 text, 剂型 text, 药物说明书 text, "
                                     "修订 bigint NOT NULL DEFAULT 1)")
                          .arg(key);
        if (!left.isEmpty())
            sql.replace(left, right);
        return QStringList{
            sql, QStringLiteral("INSERT INTO 西药 (编号, 中文名) OVERRIDING SYSTEM VALUE VALUES (5, '已有的药')")};
    };
    const QString identity = QStringLiteral("bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY");
    QTest::newRow("drugs there, without --replace")
        << QStringList{publishing} << QStringList{publishing, QStringLiteral("FILE"), QStringLiteral("URL")}
        << QStringLiteral("服务器上的药品表已有 3 种药品；要用文件中的药品替换它们，请加上 --replace；服务器没有改动");
    QTest::newRow("a column missing") << table(identity, QStringLiteral(" 剂型 text,"), QString()) << replace
                                      << QStringLiteral("药品表缺少列：剂型");
    QTest::newRow("no revision") << table(identity, QStringLiteral(", 修订 bigint NOT NULL DEFAULT 1"), QString())
                                 << replace << QStringLiteral("药品表缺少列：修订");
    QTest::newRow("编号 not an identity") << table(QStringLiteral("bigint PRIMARY KEY"), {}, {}) << replace
                                          << QStringLiteral("药品表的“编号”不是它的 bigint 自增主键");
    QTest::newRow("编号 an integer identity")
        << table(QStringLiteral("integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY"), {}, {}) << replace
        << QStringLiteral("药品表的“编号”不是它的 bigint 自增主键");
    QTest::newRow("编号 an identity beside the key")
        << table(QStringLiteral("bigint GENERATED BY DEFAULT AS IDENTITY"), QStringLiteral("中文名 text"),
                 QStringLiteral("中文名 text PRIMARY KEY"))
        << replace << QStringLiteral("药品表的“编号”不是它的 bigint 自增主键");
    // The drug table the publish makes goes again with the rest.
    QTest::newRow("数据信息 of another shape")
        << QStringList{QStringLiteral("CREATE TABLE 数据信息 (名称 text)")} << replace
        << QStringLiteral("服务器上的“数据信息”不是本程序的数据信息表");
    // Found only once the earlier drugs are deleted and some of the file's are sent.
    QTest::newRow("--replace, a text the server cannot hold")
        << QStringList{publishing}
        << QStringList{publishing, QStringLiteral("--replace"), QStringLiteral("NUL"), QStringLiteral("URL")}
        << ServerNulTextMessage;
    QTest::newRow("wrong password") << QStringList{publishing}
                                    << QStringList{publishing, QStringLiteral("FILE"), QStringLiteral("WRONG")}
                                    << QStringLiteral("用户名或密码不对");
    QTest::newRow("nothing at the port") << QStringList{}
                                         << QStringList{publishing, QStringLiteral("FILE"),
                                                        QStringLiteral("postgresql://127.0.0.1:1/xiyao")}
                                         << QStringLiteral("服务器拒绝连接");
    QTest::newRow("drug file not there") << QStringList{publishing}
                                         << QStringList{publishing, QStringLiteral("--replace"), QStringLiteral("NONE"),
                                                        QStringLiteral("URL")}
                                         << QStringLiteral("NONE：");

    const QString importing = QStringLiteral("import");
    const QString replaceOption = QStringLiteral("--replace");
    QTest::newRow("import, wrong password")
        << QStringList{} << QStringList{importing, replaceOption, QStringLiteral("WRONG"), QStringLiteral("CSV")}
        << QStringLiteral("用户名或密码不对");
    // A name the resolver refuses by itself, so that the test asks no name server.
    QTest::newRow("import, a host no one knows")
        << QStringList{}
        << QStringList{importing, QStringLiteral("postgres://xiyao%20no-such-host/xiyao"), QStringLiteral("CSV")}
        << QStringLiteral("找不到服务器");
    QTest::newRow("import, tables of another shape")
        << table(identity, QStringLiteral(" 剂型 text,"), QString())
        << QStringList{importing, QStringLiteral("URL"), QStringLiteral("CSV")} << QStringLiteral("药品表缺少列：剂型");
    // Line 1,105 begins the row of the 551st drug, which has no name.
    QTest::newRow("import --replace, a bad row in the middle")
        << QStringList{publishing}
        << QStringList{importing, replaceOption, QStringLiteral("URL"), QStringLiteral("BAD")}
        << QStringLiteral("bad.csv 第 1105 行：缺少中文名");
    QTest::newRow("import --replace, a text the server cannot hold")
        << QStringList{publishing}
        << QStringList{importing, replaceOption, QStringLiteral("URL"), QStringLiteral("ZERO")}
        << QStringLiteral("zero.csv 第 5 行：“药物说明书”中有空字符（U+0000）");
}

void TestPublish::refusedChangesNothing() {
    QFETCH(QStringList, setup);
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    for (const QString& step : setup) {
        if (step == QStringLiteral("publish")) {
            const ProgramRun first = publish({m_earlierFile.path(), m_server.url()});
            QVERIFY2(first.status == 0, qPrintable(first.err));
        } else {
            connect()->execute(step);
        }
    }
    QTemporaryDir dir;
    const QString none = dir.filePath(QStringLiteral("none.m"));
    const QString wrong = m_server.tcpUrl(SeatUser, QStringLiteral("wrong-secret"));
    const QByteArray csv = importedCsv();
    writeFile(dir.filePath(QStringLiteral("drugs.csv")), csv);
    writeFile(dir.filePath(QStringLiteral("bad.csv")), importedCsv(550));
    writeFile(dir.filePath(QStringLiteral("zero.csv")),
              QByteArray(csv).replace("第 0 种", QByteArray("第 0 种") + '\0'));
    // Whole arguments only: a temporary folder's name may hold any letters.
    const QHash<QString, QString> placed{
        {QStringLiteral("FILE"), m_newFile.path()},
        {QStringLiteral("NUL"), m_unstorableFile.path()},
        {QStringLiteral("NONE"), none},
        {QStringLiteral("URL"), m_server.url()},
        {QStringLiteral("WRONG"), wrong},
        {QStringLiteral("CSV"), dir.filePath(QStringLiteral("drugs.csv"))},
        {QStringLiteral("BAD"), dir.filePath(QStringLiteral("bad.csv"))},
        {QStringLiteral("ZERO"), dir.filePath(QStringLiteral("zero.csv"))},
    };
    for (QString& argument : arguments)
        argument = placed.value(argument, argument);
    const QStringList before = snapshot();
    const ProgramRun run = xiyaoDb(arguments);
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.startsWith(QStringLiteral("xiyao-db：错误：")), qPrintable(run.err));
    QVERIFY2(run.err.contains(message.replace(QStringLiteral("NONE"), none)), qPrintable(run.err));
    QVERIFY2(run.err.endsWith(QStringLiteral("服务器没有改动\n")), qPrintable(run.err));
    QVERIFY2(!run.err.contains(QStringLiteral("secret")), qPrintable(run.err));
    QCOMPARE(snapshot(), before);
    QVERIFY(!QFile::exists(none));
}

QTEST_GUILESS_MAIN(TestPublish)
#include "tst_publish.moc"
