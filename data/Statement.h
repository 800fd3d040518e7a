#pragma once

#include "data/Cell.h"

#include <QString>

struct sqlite3;
struct sqlite3_stmt;

// One prepared statement of the engine, finalised when it goes out of scope. Every value
// reaches the engine through bind(), never through the SQL text.
class Statement {
public:
    Statement(sqlite3* db, const QString& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void bind(int position, const Cell& value); // position counts from 1
    // Runs to the next row: true while a row is there, false when the statement is done.
    bool step();
    void reset();

    bool isReadOnly() const;
    int columnCount() const;
    QString columnName(int column) const;
    QString columnTableName(int column) const; // empty for a computed column
    QString columnOriginName(int column) const;
    Cell column(int column) const;

private:
    [[noreturn]] void fail() const;

    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

// The engine's message for the last failed call on db.
QString engineMessage(sqlite3* db);

// A table or column name as an SQL identifier: in double quotes, inner quotes doubled.
QString quotedIdentifier(const QString& name);
