#pragma once

#include "data/Cell.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>

class DrugConnection;
struct sqlite3;
struct sqlite3_stmt;
struct sqlite3_mutex;

// One prepared statement of the engine, finalised when it goes out of scope. Every value
// reaches the engine through bind(), never through the SQL text.
class Statement {
public:
    Statement(const DrugConnection& connection, const QString& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Position counts from 1. Text that is not valid UTF-16 (a lone surrogate) cannot be
    // stored as it is and throws DatabaseError with UnstorableTextMessage.
    void bind(int position, const Cell& value);
    // Runs to the next row: true while a row is there, false when the statement is done.
    bool step();
    void reset();

    bool isReadOnly() const;
    int columnCount() const;
    QString columnName(int column) const;
    QString columnTableName(int column) const; // empty for a computed column
    QString columnOriginName(int column) const;
    Cell column(int column) const;
    // The same value as the engine holds it, without making a Cell: a text as its UTF-8 bytes,
    // valid until the statement steps on. column() is made of it; storedText() makes the text.
    struct Value {
        enum class Type { Null, Integer, Real, Text } type = Type::Null;
        qint64 integer = 0;
        double real = 0;
        QByteArrayView utf8;
    };
    Value columnValue(int column) const;

    // Holds the connection's own lock while it lives (nothing when the engine runs without one).
    class ConnectionLock {
    public:
        explicit ConnectionLock(const Statement& statement);
        ~ConnectionLock();
        ConnectionLock(const ConnectionLock&) = delete;
        ConnectionLock& operator=(const ConnectionLock&) = delete;

    private:
        sqlite3_mutex* m_mutex;
    };

private:
    [[noreturn]] void fail() const;

    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

inline const QString UnstorableTextMessage =
    QStringLiteral("文字中有无法保存的字符（不成对的 UTF-16 代理项），没有保存任何内容");

// A text read from the engine, from its UTF-8 bytes as stored (a leading U+FEFF is kept).
QString storedText(QByteArrayView utf8);

// A table or column name as an SQL identifier: in double quotes, inner quotes doubled.
QString quotedIdentifier(const QString& name);
// Names as a list of identifiers, separated by commas: a statement's columns.
QString quotedIdentifiers(const QStringList& names);
