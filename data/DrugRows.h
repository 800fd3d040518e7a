#pragma once

#include "data/Cell.h"
#include "data/ServerConnection.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class DrugConnection;
class Statement;

// The drug table's rows in the order of their keys, the columns asked for, from a drug file or
// from the server its connection is open on. A file's rows come through one statement; a
// server's through a cursor, a batch at a time, so that a large table is never held whole, in
// the caller's transaction or else in a read-only one of their own that sees one state of the
// list.
class DrugRows {
public:
    // key: only the drug of that key. Throws DatabaseError (ServerError for the server's failures).
    DrugRows(DrugConnection& connection, const QStringList& columns, std::optional<qint64> key = std::nullopt);
    // Every drug of a server, for a caller that holds a connection of its own.
    DrugRows(ServerConnection& server, const QStringList& columns);
    ~DrugRows();
    DrugRows(const DrugRows&) = delete;
    DrugRows& operator=(const DrugRows&) = delete;

    // Moves to the next row; false after the last. Throws DatabaseError.
    bool next();
    // The current row's value in the column of that place among those asked for.
    Cell value(int column) const;

private:
    void openOnServer(ServerConnection& server, const QStringList& columns, std::optional<qint64> key);
    void endOnServer();

    std::unique_ptr<Statement> m_statement; // a drug file's
    ServerConnection* m_server = nullptr;
    QString m_cursor;
    std::optional<ServerResult> m_batch;
    int m_row = 0;
    qint64 m_fetch = 0; // rows the next fetch asks for
    bool m_ownTransaction = false;
    bool m_cursorOpen = false;
};
