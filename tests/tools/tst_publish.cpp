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
    void refusedPublishChangesNothing_data();
    void refusedPublishChangesNothing();

private:
    std::unique_ptr<ServerConnection> connect() const;
    ProgramRun publish(const QStringList& arguments) const;
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

ProgramRun TestPublish::publish(const QStringList& arguments) const {
    return runProgram(QStringLiteral(XIYAO_DB_PATH), QStringList{QStringLiteral("publish")} + arguments);
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

void TestPublish::refusedPublishChangesNothing_data() {
    QTest::addColumn<QStringList>("setup");     // SQL, or "publish": the earlier edition published
    QTest::addColumn<QStringList>("arguments"); // FILE: the drug file; URL: the server's URL
    QTest::addColumn<QString>("message");
    const QStringList replace{QStringLiteral("--replace"), QStringLiteral("FILE"), QStringLiteral("URL")};
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
        << QStringList{QStringLiteral("publish")} << QStringList{QStringLiteral("FILE"), QStringLiteral("URL")}
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
        << QStringList{QStringLiteral("publish")}
        << QStringList{QStringLiteral("--replace"), QStringLiteral("NUL"), QStringLiteral("URL")}
        << ServerNulTextMessage;
    QTest::newRow("wrong password") << QStringList{QStringLiteral("publish")}
                                    << QStringList{QStringLiteral("FILE"), QStringLiteral("WRONG")}
                                    << QStringLiteral("用户名或密码不对");
    QTest::newRow("nothing at the port") << QStringList{}
                                         << QStringList{QStringLiteral("FILE"),
                                                        QStringLiteral("postgresql://127.0.0.1:1/xiyao")}
                                         << QStringLiteral("服务器拒绝连接");
    QTest::newRow("drug file not there") << QStringList{QStringLiteral("publish")}
                                         << QStringList{QStringLiteral("--replace"), QStringLiteral("NONE"),
                                                        QStringLiteral("URL")}
                                         << QStringLiteral("NONE：");
}

void TestPublish::refusedPublishChangesNothing() {
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
    arguments.replaceInStrings(QStringLiteral("FILE"), m_newFile.path());
    arguments.replaceInStrings(QStringLiteral("NUL"), m_unstorableFile.path());
    arguments.replaceInStrings(QStringLiteral("NONE"), none);
    arguments.replaceInStrings(QStringLiteral("URL"), m_server.url());
    arguments.replaceInStrings(QStringLiteral("WRONG"), wrong);
    const QStringList before = snapshot();
    const ProgramRun run = publish(arguments);
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
