#include "data/ServerConnection.h"
#include "data/Statement.h"
#include "tests/support/PostgresServer.h"

#include <QtTest>

#include <chrono>
#include <limits>
#include <optional>
#include <thread>

// The connection to a PostgreSQL server, against a real server that the test program starts once
// and stops at its end.
class TestServer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void valuesComeBackAsTheyWent_data();
    void valuesComeBackAsTheyWent();
    void unstorableTextRefused_data();
    void unstorableTextRefused();
    void textIsUtf8WhateverTheServerSays_data();
    void textIsUtf8WhateverTheServerSays();
    void connectionFailuresSaidInChinese_data();
    void connectionFailuresSaidInChinese();
    void statementFailuresSaidInChinese_data();
    void statementFailuresSaidInChinese();
    void unfinishedTransactionLeavesNothing_data();
    void unfinishedTransactionLeavesNothing();
    void concurrentChangeIsAConflict();
    void serverKilledMidTransaction_data();
    void serverKilledMidTransaction();

private:
    // A connection to the test database as its superuser.
    std::unique_ptr<ServerConnection> connect() const;
    qint64 rowsTagged(const QString& tag) const;

    PostgresServer m_server;
};

namespace {

const QString SeatUser = QStringLiteral("seat");
const QString SeatPassword = QStringLiteral("right-secret");

// The failure call throws, or nothing when it throws none.
template <typename Call> std::optional<ServerError> failureOf(Call&& call) {
    try {
        call();
    } catch (const ServerError& error) {
        return error;
    }
    return std::nullopt;
}

// One character of every Unicode plane, with the characters a text layer likes to drop or rewrite.
QString everyPlane() {
    QString text = QStringLiteral("\uFEFF阿莫西林\r\n\t");
    for (char32_t plane = 0; plane <= 16; ++plane) {
        const char32_t character = plane == 0 ? U'\u4E2D' : plane * 0x10000 + 0x1234;
        text += QString::fromUcs4(&character, 1);
    }
    return text + QStringLiteral("\uFFFE\uFFFF\U0010FFFF");
}

} // namespace

void TestServer::initTestCase() {
    if (const QString why = PostgresServer::unavailableReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    // No password file of the machine's user may answer for the tests.
    qputenv("PGPASSFILE", "/nonexistent/pgpass");
    const QString failure = m_server.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const auto admin = connect();
    admin->execute(QStringLiteral("CREATE TABLE kept (id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY, tag text, "
                                  "t text, n bigint UNIQUE, r double precision)"));
    admin->execute(QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2'").arg(SeatUser, SeatPassword));
    // A client that asks for nothing gets LATIN1 here, where Chinese has no form.
    admin->execute(QStringLiteral("ALTER DATABASE %1 SET client_encoding = 'LATIN1'").arg(PostgresServer::Database));
}

void TestServer::cleanupTestCase() {
    m_server.stop();
}

std::unique_ptr<ServerConnection> TestServer::connect() const {
    auto connection = std::make_unique<ServerConnection>();
    connection->open(m_server.url());
    return connection;
}

qint64 TestServer::rowsTagged(const QString& tag) const {
    const ServerResult result = connect()->execute(QStringLiteral("SELECT count(*) FROM kept WHERE tag = $1"), {tag});
    return result.value(0, 0).integer().value_or(-1);
}

void TestServer::valuesComeBackAsTheyWent_data() {
    QTest::addColumn<Cell>("value");
    QTest::addColumn<QString>("column");
    const QString big(1 << 20, QChar(u'药'));
    QTest::newRow("every plane") << Cell(everyPlane()) << QStringLiteral("t");
    QTest::newRow("1 MB of text") << Cell(big) << QStringLiteral("t");
    QTest::newRow("SQL in a value") << Cell(QStringLiteral("'; DROP TABLE kept; --")) << QStringLiteral("t");
    QTest::newRow("empty text") << Cell(QString()) << QStringLiteral("t");
    QTest::newRow("NULL") << Cell::null() << QStringLiteral("t");
    QTest::newRow("largest integer") << Cell(std::numeric_limits<qint64>::max()) << QStringLiteral("n");
    QTest::newRow("smallest integer") << Cell(std::numeric_limits<qint64>::min()) << QStringLiteral("n");
    QTest::newRow("beyond a double's digits") << Cell(qint64(1) << 53 | 1) << QStringLiteral("n");
    QTest::newRow("fraction") << Cell(0.1) << QStringLiteral("r");
    QTest::newRow("infinity") << Cell(-std::numeric_limits<double>::infinity()) << QStringLiteral("r");
}

void TestServer::valuesComeBackAsTheyWent() {
    QFETCH(Cell, value);
    QFETCH(QString, column);
    const auto connection = connect();
    // Through a column of its type, read back by another statement.
    const QString tag = QString::fromUtf8(QTest::currentDataTag());
    const ServerResult inserted = connection->execute(
        QStringLiteral("INSERT INTO kept (tag, %1) VALUES ($1, $2) RETURNING id").arg(column), {tag, value});
    QCOMPARE(inserted.changedRows(), 1);
    const ServerResult read =
        connection->execute(QStringLiteral("SELECT %1 FROM kept WHERE id = $1").arg(column), {inserted.value(0, 0)});
    QCOMPARE(read.rowCount(), 1);
    QCOMPARE(read.columnName(0), column);
    QCOMPARE(read.value(0, 0), value);
    // And as a parameter alone, whose type the server takes from the value.
    QCOMPARE(connection->execute(QStringLiteral("SELECT $1"), {value}).value(0, 0), value);
    QCOMPARE(rowsTagged(tag), 1);
}

void TestServer::unstorableTextRefused_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("lone surrogate") << QStringLiteral("阿莫西林") + QChar(0xD800) << UnstorableTextMessage;
    QTest::newRow("U+0000") << QStringLiteral("阿莫") + QChar(0) + QStringLiteral("西林") << ServerNulTextMessage;
}

void TestServer::unstorableTextRefused() {
    QFETCH(QString, text);
    QFETCH(QString, message);
    const auto connection = connect();
    const QString tag = QString::fromUtf8(QTest::currentDataTag());
    const auto failure = failureOf([&] {
        connection->execute(QStringLiteral("INSERT INTO kept (tag, t) VALUES ($1, $2)"), {tag, text});
    });
    QVERIFY(failure);
    QCOMPARE(failure->message(), message);
    QVERIFY(connection->isOpen());
    QCOMPARE(rowsTagged(tag), 0);
}

void TestServer::textIsUtf8WhateverTheServerSays_data() {
    QTest::addColumn<QString>("query");
    QTest::addColumn<QByteArray>("environment");
    QTest::newRow("the database's default") << QString() << QByteArray();
    QTest::newRow("the URL's") << QStringLiteral("&client_encoding=LATIN1") << QByteArray();
    QTest::newRow("PGCLIENTENCODING") << QString() << QByteArray("LATIN1");
}

void TestServer::textIsUtf8WhateverTheServerSays() {
    QFETCH(QString, query);
    QFETCH(QByteArray, environment);
    if (!environment.isEmpty())
        qputenv("PGCLIENTENCODING", environment);
    ServerConnection connection;
    connection.open(m_server.url() + query);
    qunsetenv("PGCLIENTENCODING");
    QCOMPARE(connection.execute(QStringLiteral("SHOW client_encoding")).value(0, 0), Cell(QStringLiteral("UTF8")));
    QCOMPARE(connection.execute(QStringLiteral("SELECT $1 || '片'"), {everyPlane()}).value(0, 0),
             Cell(everyPlane() + QStringLiteral("片")));
}

void TestServer::connectionFailuresSaidInChinese_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("words");
    QTest::newRow("wrong password") << m_server.tcpUrl(SeatUser, QStringLiteral("wrong-secret"))
                                    << QStringLiteral("用户名或密码不对")
                                    << QStringLiteral("password authentication failed");
    QTest::newRow("no password") << QStringLiteral("postgresql://%1@127.0.0.1:%2/%3")
                                        .arg(SeatUser)
                                        .arg(m_server.port())
                                        .arg(PostgresServer::Database)
                                 << QStringLiteral("服务器要求密码") << QStringLiteral("no password supplied");
    // A name the resolver refuses by itself, so that the test asks no name server.
    QTest::newRow("unknown host") << QStringLiteral("postgresql://xiyao%20no-such-host/xiyao")
                                  << QStringLiteral("找不到服务器") << QStringLiteral("could not translate host name");
    QTest::newRow("refused port") << QStringLiteral("postgresql://127.0.0.1:1/xiyao")
                                  << QStringLiteral("服务器拒绝连接") << QStringLiteral("Connection refused");
    QTest::newRow("no server on the socket")
        << QStringLiteral("postgresql:///xiyao?host=/nonexistent") << QStringLiteral("本机的数据库服务器没有运行")
        << QStringLiteral("No such file or directory");
    QTest::newRow("unknown database") << m_server.url(QStringLiteral("no_such_db"))
                                      << QStringLiteral("服务器上没有这个数据库") << QStringLiteral("does not exist");
    QTest::newRow("malformed URL") << QStringLiteral("postgresql://127.0.0.1:port/xiyao")
                                   << QStringLiteral("服务器地址的写法不对") << QStringLiteral("invalid");
    QTest::newRow("empty") << QStringLiteral(" ") << QStringLiteral("没有给出数据库服务器的地址") << QString();
}

void TestServer::connectionFailuresSaidInChinese() {
    QFETCH(QString, url);
    QFETCH(QString, reason);
    QFETCH(QString, words);
    ServerConnection connection;
    const auto failure = failureOf([&] { connection.open(url); });
    QVERIFY(failure);
    QVERIFY(!connection.isOpen());
    const QString message = failure->message();
    if (words.isEmpty()) {
        QCOMPARE(message, reason);
    } else {
        QVERIFY2(message.startsWith(QStringLiteral("连接数据库服务器")), qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("失败：") + reason), qPrintable(message));
        QVERIFY2(message.contains(words), qPrintable(message));
    }
    QVERIFY2(!message.contains(QStringLiteral("secret")), qPrintable(message));
    QVERIFY(!failure->connectionLost());
}

void TestServer::statementFailuresSaidInChinese_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("state");
    QTest::newRow("syntax") << QStringLiteral("SELEC 1") << QStringLiteral("SQL 语句有语法错误")
                            << QStringLiteral("42601");
    // Never more than one statement in a text, whatever a value slipped into it.
    QTest::newRow("two statements") << QStringLiteral("SELECT 1; DROP TABLE kept")
                                    << QStringLiteral("SQL 语句有语法错误") << QStringLiteral("42601");
    QTest::newRow("missing table") << QStringLiteral("SELECT * FROM nothing_here")
                                   << QStringLiteral("服务器上没有这个表") << QStringLiteral("42P01");
    QTest::newRow("duplicate") << QStringLiteral("INSERT INTO kept (tag, n) VALUES ('twice', -5), ('twice', -5)")
                               << QStringLiteral("与已有的数据重复") << QStringLiteral("23505");
    QTest::newRow("empty") << QStringLiteral(" ") << QStringLiteral("SQL 语句为空") << QString();
}

void TestServer::statementFailuresSaidInChinese() {
    QFETCH(QString, sql);
    QFETCH(QString, reason);
    QFETCH(QString, state);
    const auto connection = connect();
    const auto failure = failureOf([&] { connection->execute(sql); });
    QVERIFY(failure);
    QVERIFY2(failure->message().startsWith(reason), qPrintable(failure->message()));
    QCOMPARE(failure->sqlState(), state);
    QVERIFY(!failure->connectionLost());
    // The connection goes on.
    QCOMPARE(connection->execute(QStringLiteral("SELECT count(*) FROM kept WHERE tag = 'twice'")).value(0, 0), Cell(0));
}

void TestServer::unfinishedTransactionLeavesNothing_data() {
    QTest::addColumn<int>("ending");
    QTest::newRow("rolled back") << 0;
    QTest::newRow("a statement failed, then commit") << 1;
    QTest::newRow("closed before commit") << 2;
}

void TestServer::unfinishedTransactionLeavesNothing() {
    QFETCH(int, ending);
    const QString tag = QString::fromUtf8(QTest::currentDataTag());
    const auto connection = connect();
    connection->beginTransaction();
    QVERIFY(connection->inTransaction());
    connection->execute(QStringLiteral("INSERT INTO kept (tag, t) VALUES ($1, 'first')"), {tag});
    QCOMPARE(rowsTagged(tag), 0); // another connection sees nothing before the commit
    if (ending == 0) {
        connection->rollback();
    } else if (ending == 1) {
        QVERIFY(failureOf([&] {
            connection->execute(QStringLiteral("INSERT INTO kept (tag, n) VALUES ($1, 'not a number')"), {tag});
        }));
        const auto failure = failureOf([&] { connection->commit(); });
        QVERIFY(failure);
        QVERIFY2(failure->message().startsWith(QStringLiteral("事务中有语句失败")), qPrintable(failure->message()));
    } else {
        connection->close();
    }
    QVERIFY(!connection->inTransaction());
    QCOMPARE(rowsTagged(tag), 0);
}

void TestServer::concurrentChangeIsAConflict() {
    const auto first = connect();
    const auto second = connect();
    first->execute(QStringLiteral("INSERT INTO kept (tag, n) VALUES ('raced', 1)"));
    first->execute(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ"));
    QCOMPARE(first->execute(QStringLiteral("SELECT n FROM kept WHERE tag = 'raced'")).value(0, 0), Cell(1));
    second->execute(QStringLiteral("UPDATE kept SET n = 2 WHERE tag = 'raced'"));
    const auto failure =
        failureOf([&] { first->execute(QStringLiteral("UPDATE kept SET n = 3 WHERE tag = 'raced'")); });
    QVERIFY(failure);
    QVERIFY(failure->isConflict());
    QVERIFY2(failure->message().startsWith(QStringLiteral("另一处同时修改了同样的数据")),
             qPrintable(failure->message()));
    QVERIFY2(failure->message().contains(QStringLiteral("could not serialize access")), qPrintable(failure->message()));
    first->rollback();
    QCOMPARE(first->execute(QStringLiteral("SELECT n FROM kept WHERE tag = 'raced'")).value(0, 0), Cell(2));
}

void TestServer::serverKilledMidTransaction_data() {
    QTest::addColumn<bool>("duringAStatement");
    QTest::newRow("between statements") << false;
    QTest::newRow("during a statement") << true;
}

void TestServer::serverKilledMidTransaction() {
    QFETCH(bool, duringAStatement);
    const QString tag = QString::fromUtf8(QTest::currentDataTag());
    const auto connection = connect();
    connection->execute(QStringLiteral("INSERT INTO kept (tag, t) VALUES ($1, 'committed')"), {tag});
    connection->beginTransaction();
    connection->execute(QStringLiteral("INSERT INTO kept (tag, t) VALUES ($1, 'half-written')"), {tag});
    const auto failure = failureOf([&] {
        if (duringAStatement) {
            std::thread killer([this] {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                m_server.kill();
            });
            const auto joined = qScopeGuard([&killer] { killer.join(); });
            connection->execute(QStringLiteral("SELECT pg_sleep(30)"));
        } else {
            m_server.kill();
            connection->commit();
        }
    });
    QVERIFY(failure);
    QVERIFY2(failure->message().startsWith(QStringLiteral("与数据库服务器的连接断开了")),
             qPrintable(failure->message()));
    QVERIFY(failure->connectionLost());
    QVERIFY(!connection->isOpen());
    connection->rollback(); // nothing left to roll back, and no crash
    QVERIFY(failureOf([&] { connection->execute(QStringLiteral("SELECT 1")); }));

    const QString restarted = m_server.restart();
    QVERIFY2(restarted.isEmpty(), qPrintable(restarted));
    const ServerResult rows =
        connect()->execute(QStringLiteral("SELECT t FROM kept WHERE tag = $1 ORDER BY id"), {tag});
    QCOMPARE(rows.rowCount(), 1);
    QCOMPARE(rows.value(0, 0), Cell(QStringLiteral("committed")));
}

QTEST_GUILESS_MAIN(TestServer)
#include "tst_server.moc"
