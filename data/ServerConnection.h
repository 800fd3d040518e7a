#pragma once

#include "data/Cell.h"
#include "data/DatabaseError.h"

#include <QByteArrayView>
#include <QString>

#include <initializer_list>
#include <memory>
#include <span>

struct pg_conn;
struct pg_result;

// A failure of the database server or of the way to it: the reason in Chinese, libpq's own words
// after it. Its SQLSTATE (empty where the server sent none) and whether the connection is gone let
// a caller retry a conflict or fall back to its offline copy without reading the words.
class ServerError : public DatabaseError {
public:
    ServerError(QString message, QString sqlState, bool connectionLost)
        : DatabaseError(std::move(message))
        , m_sqlState(std::move(sqlState))
        , m_connectionLost(connectionLost) {}
    const QString& sqlState() const noexcept { return m_sqlState; }
    bool connectionLost() const noexcept { return m_connectionLost; }
    // Another transaction changed the same rows first (serialization failure or deadlock): the
    // whole transaction may be tried again.
    bool isConflict() const noexcept;

private:
    QString m_sqlState;
    bool m_connectionLost;
};

// The rows of one statement run on the server, all of them received. Values are read as the
// program's cells: NULL as Cell::null(), integers (and booleans, as 0 and 1) as integers,
// floating-point numbers as doubles, a numeric as an integer when it is whole and fits, else a
// double, everything else as its text.
class ServerResult {
public:
    int rowCount() const;
    int columnCount() const;
    QString columnName(int column) const;
    bool isNull(int row, int column) const;
    Cell value(int row, int column) const;
    // Whether the column's values are read as text (not a number or a truth value).
    bool isTextColumn(int column) const;
    // The value as the server sent it, as UTF-8 text; valid while the result lives.
    QByteArrayView utf8(int row, int column) const;
    // Rows that an INSERT, UPDATE or DELETE changed; 0 for other statements.
    qint64 changedRows() const;

private:
    friend class ServerConnection;
    struct Clear {
        void operator()(pg_result* result) const;
    };
    explicit ServerResult(pg_result* result)
        : m_result(result) {}
    std::unique_ptr<pg_result, Clear> m_result;
};

// One connection to a PostgreSQL server, opened by a libpq URL or connection string
// ("postgresql://host/db?sslmode=require", "host=… dbname=…"). A password is read the way libpq
// reads it (the URL, ~/.pgpass, a service file) and never kept: not even the URL is. Text goes both
// ways as UTF-8, whatever the server's or the URL's client_encoding. Every value reaches the server
// as a bound parameter, never through the SQL text.
class ServerConnection {
public:
    ServerConnection() = default;
    ~ServerConnection();
    ServerConnection(const ServerConnection&) = delete;
    ServerConnection& operator=(const ServerConnection&) = delete;

    // Throws ServerError: a wrong password, an unknown host, a refused connection, a missing
    // database … each said in Chinese.
    void open(const QString& url);
    // False also once the connection was lost.
    bool isOpen() const { return m_conn != nullptr; }
    void close();
    // Where the connection goes, as host:port/database, for messages; no user and no password.
    QString target() const;

    // Runs one statement with its parameters ($1, $2 … in the SQL). Text is sent as text of no
    // declared type, so the server reads it as it would read a quoted literal in that place;
    // integers go as bigint, other numbers as double precision, Null and Empty as NULL. Text
    // that is not valid UTF-16 or holds U+0000 is refused before it reaches the server. Throws
    // ServerError; a lost connection closes this one.
    ServerResult execute(const QString& sql, std::initializer_list<Cell> parameters = {});
    ServerResult execute(const QString& sql, std::span<const Cell> parameters);

    void beginTransaction();
    void commit();
    // Ends the transaction if one is open; never throws (a lost connection has ended it already).
    void rollback() noexcept;
    // Whether a transaction is open, a failed one included.
    bool inTransaction() const;

private:
    void requireOpen() const;
    [[noreturn]] void fail(const pg_result* result);

    pg_conn* m_conn = nullptr;
};

inline const QString ServerNulTextMessage =
    QStringLiteral("文字中有空字符（U+0000），数据库服务器无法保存，没有保存任何内容");
