#include "data/DrugRows.h"

#include "data/DrugConnection.h"
#include "data/DrugSchema.h"
#include "data/Statement.h"

#include <algorithm>
#include <atomic>

namespace {

// Rows fetched from the server at a time: 1,000, fewer after a batch of more than 8 MB, so that a
// batch of long leaflets still fits in memory.
constexpr qint64 BatchRows = 1000;
constexpr qint64 BatchBytes = 8 << 20;

qint64 textBytes(const ServerResult& batch) {
    qint64 bytes = 0;
    for (int row = 0; row < batch.rowCount(); ++row) {
        for (int column = 0; column < batch.columnCount(); ++column)
            bytes += batch.utf8(row, column).size();
    }
    return bytes;
}

QString selectSql(const QStringList& columns, const QString& keyMark) {
    const QString key = quotedIdentifier(KeyColumn);
    return QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4")
        .arg(quotedIdentifiers(columns), quotedIdentifier(DrugTableName),
             keyMark.isEmpty() ? QString() : QStringLiteral(" WHERE %1 = %2").arg(key, keyMark), key);
}

} // namespace

DrugRows::DrugRows(DrugConnection& connection, const QStringList& columns, std::optional<qint64> key) {
    if (!connection.server()) {
        m_statement =
            std::make_unique<Statement>(connection, selectSql(columns, key ? QStringLiteral("?1") : QString()));
        if (key)
            m_statement->bind(1, Cell(*key));
        return;
    }
    openOnServer(connection.reachServer(), columns, key);
}

DrugRows::DrugRows(ServerConnection& server, const QStringList& columns) {
    openOnServer(server, columns, std::nullopt);
}

void DrugRows::openOnServer(ServerConnection& server, const QStringList& columns, std::optional<qint64> key) {
    m_server = &server;
    m_fetch = BatchRows;
    // Each reader's cursor has a name of its own, so that two may be open in one transaction.
    static std::atomic<qint64> readers = 0;
    m_cursor = QStringLiteral("xiyao_rows_%1").arg(++readers);
    m_ownTransaction = !m_server->inTransaction();
    if (m_ownTransaction)
        m_server->execute(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
    try {
        const QString select = selectSql(columns, key ? QStringLiteral("$1") : QString());
        const QString declare = QStringLiteral("DECLARE %1 NO SCROLL CURSOR FOR ").arg(m_cursor) + select;
        if (key)
            m_server->execute(declare, {Cell(*key)});
        else
            m_server->execute(declare);
        m_cursorOpen = true;
    } catch (...) {
        if (m_ownTransaction)
            m_server->rollback();
        throw;
    }
}

DrugRows::~DrugRows() {
    if (!m_cursorOpen)
        return;
    if (m_ownTransaction) {
        m_server->rollback(); // it only read
        return;
    }
    try {
        m_server->execute(QStringLiteral("CLOSE %1").arg(m_cursor));
    } catch (const ServerError&) {
        // The caller's transaction failed already; its rollback closes the cursor.
    }
}

bool DrugRows::next() {
    if (m_statement)
        return m_statement->step();
    if (m_batch && ++m_row < m_batch->rowCount())
        return true;
    if (!m_cursorOpen)
        return false;
    if (m_batch)
        m_fetch = std::clamp(m_fetch * BatchBytes / std::max<qint64>(textBytes(*m_batch), 1), qint64(1), BatchRows);
    m_batch = m_server->execute(QStringLiteral("FETCH FORWARD %1 FROM %2").arg(m_fetch).arg(m_cursor));
    m_row = 0;
    if (m_batch->rowCount() < m_fetch)
        endOnServer();
    return m_batch->rowCount() > 0;
}

void DrugRows::endOnServer() {
    m_server->execute(QStringLiteral("CLOSE %1").arg(m_cursor));
    m_cursorOpen = false;
    if (m_ownTransaction)
        m_server->commit();
}

Cell DrugRows::value(int column) const {
    if (m_statement)
        return m_statement->column(column);
    return m_batch->value(m_row, column);
}
