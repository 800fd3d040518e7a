#include "data/DataInfo.h"

#include "data/DatabaseError.h"
#include "data/DrugConnection.h"
#include "data/DrugSchema.h"
#include "data/ServerConnection.h"
#include "data/ServerSchema.h"
#include "data/Statement.h"

#include <QDate>
#include <QRegularExpression>

#include <functional>

namespace {

enum class TableShape { Missing, Usable, Other };

// A hand-made table may bear the name; only one with both columns can hold the items.
TableShape infoTableShape(const DrugConnection& connection) {
    Statement kind(connection, QStringLiteral("SELECT type FROM sqlite_master WHERE name = ?1 COLLATE NOCASE"));
    kind.bind(1, Cell(DataInfoTableName));
    if (!kind.step())
        return TableShape::Missing;
    if (kind.column(0).toText() != QLatin1String("table"))
        return TableShape::Other;
    // cid, name, type, notnull, dflt_value, pk
    Statement info(connection, QStringLiteral("PRAGMA table_info(%1)").arg(quotedIdentifier(DataInfoTableName)));
    bool item = false;
    bool value = false;
    while (info.step()) {
        const QString name = info.column(1).toText();
        item = item || name.compare(DataInfoItemColumn, Qt::CaseInsensitive) == 0;
        value = value || name.compare(DataInfoValueColumn, Qt::CaseInsensitive) == 0;
    }
    return item && value ? TableShape::Usable : TableShape::Other;
}

QString otherShapeMessage() {
    return QStringLiteral("文件中的“%1”不是本程序的数据信息表（应有“%2”和“%3”两列），无法读写数据信息；药品不受影响")
        .arg(DataInfoTableName, DataInfoItemColumn, DataInfoValueColumn);
}

// Makes the table when missing; throws on a table of another shape.
void requireUsableTable(DrugConnection& connection) {
    switch (infoTableShape(connection)) {
    case TableShape::Missing:
        connection.execute(DataInfoTableSchema);
        return;
    case TableShape::Usable:
        return;
    case TableShape::Other:
        throw DatabaseError(otherShapeMessage());
    }
}

// By UPDATE, then INSERT: a hand-made table without a unique 项目 still takes the item once.
void writeItem(DrugConnection& connection, const QString& item, const QString& sqlValue, const Cell& bound) {
    const QString table = quotedIdentifier(DataInfoTableName);
    const QString itemColumn = quotedIdentifier(DataInfoItemColumn);
    const QString valueColumn = quotedIdentifier(DataInfoValueColumn);
    {
        Statement update(
            connection,
            QStringLiteral("UPDATE %1 SET %2 = %3 WHERE %4 = ?2").arg(table, valueColumn, sqlValue, itemColumn));
        update.bind(1, bound);
        update.bind(2, Cell(item));
        update.step();
    }
    if (connection.changedRows() > 0)
        return;
    Statement insert(connection,
                     QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (?2, ?1)").arg(table, itemColumn, valueColumn));
    insert.bind(1, bound);
    insert.bind(2, Cell(item));
    insert.step();
}

// The table, made when missing; false for a table of another shape, which the program's own
// bookkeeping leaves alone rather than fail a change of the drugs.
bool madeIfMissing(DrugConnection& connection) {
    const TableShape shape = infoTableShape(connection);
    if (shape == TableShape::Missing)
        connection.execute(DataInfoTableSchema);
    return shape != TableShape::Other;
}

void takeItem(DataInfo& info, const QString& item, const QString& value) {
    if (item == DataVersionItem)
        info.version = value;
    else if (item == RevisionDateItem)
        info.revisionDate = value;
    else if (item == SourceItem)
        info.source = value;
    else if (item == ImportDateItem)
        info.importDate = value;
    else if (item == LocalChangesItem)
        info.localChanges = value.toLongLong();
}

// The server's information table. A seat that opened the server found it of the right shape, or
// none; a login that may not make it leaves the bookkeeping out, never the change.

bool serverInfoTableExists(ServerConnection& server) {
    return server.execute(QStringLiteral("SELECT to_regclass($1) IS NOT NULL"), {quotedIdentifier(DataInfoTableName)})
               .value(0, 0)
               .integer()
               .value_or(0) != 0;
}

DataInfo readServerDataInfo(ServerConnection& server) {
    DataInfo info;
    if (!serverInfoTableExists(server))
        return info;
    const ServerResult items =
        server.execute(QStringLiteral("SELECT %1, %2 FROM %3")
                           .arg(quotedIdentifier(DataInfoItemColumn), quotedIdentifier(DataInfoValueColumn),
                                quotedIdentifier(DataInfoTableName)));
    for (int row = 0; row < items.rowCount(); ++row)
        takeItem(info, items.value(row, 0).toText(), items.value(row, 1).toText());
    return info;
}

// The item set to newValue (an SQL expression of $1 and the item's 内容), or made with inserted.
void writeServerItem(ServerConnection& server, const QString& item, const QString& newValue, const Cell& bound,
                     const Cell& inserted) {
    const QString table = quotedIdentifier(DataInfoTableName);
    const QString itemColumn = quotedIdentifier(DataInfoItemColumn);
    const QString valueColumn = quotedIdentifier(DataInfoValueColumn);
    if (server
            .execute(
                QStringLiteral("UPDATE %1 SET %2 = %3 WHERE %4 = $2").arg(table, valueColumn, newValue, itemColumn),
                {bound, Cell(item)})
            .changedRows() > 0)
        return;
    server.execute(QStringLiteral("INSERT INTO %1 (%2, %3) VALUES ($1, $2)").arg(table, itemColumn, valueColumn),
                   {Cell(item), inserted});
}

// The program's own bookkeeping inside a change's transaction: what fails of it is undone alone.
bool serverBookkeeping(ServerConnection& server, const std::function<void()>& write) {
    if (!server.inTransaction()) {
        server.beginTransaction();
        try {
            const bool written = serverBookkeeping(server, write);
            server.commit();
            return written;
        } catch (...) {
            server.rollback();
            throw;
        }
    }
    server.execute(QStringLiteral("SAVEPOINT xiyao_bookkeeping"));
    try {
        if (!serverInfoTableExists(server))
            server.execute(serverDataInfoTableSchema());
        write();
    } catch (const ServerError& error) {
        if (error.connectionLost())
            throw;
        server.execute(QStringLiteral("ROLLBACK TO SAVEPOINT xiyao_bookkeeping"));
        return false;
    }
    server.execute(QStringLiteral("RELEASE SAVEPOINT xiyao_bookkeeping"));
    return true;
}

} // namespace

DataInfo readDataInfo(const DrugConnection& connection) {
    if (ServerConnection* server = connection.server())
        return readServerDataInfo(*server);
    DataInfo info;
    const TableShape shape = infoTableShape(connection);
    if (shape == TableShape::Missing)
        return info;
    if (shape == TableShape::Other)
        throw DatabaseError(otherShapeMessage());
    Statement select(connection, QStringLiteral("SELECT %1, %2 FROM %3")
                                     .arg(quotedIdentifier(DataInfoItemColumn), quotedIdentifier(DataInfoValueColumn),
                                          quotedIdentifier(DataInfoTableName)));
    while (select.step())
        takeItem(info, select.column(0).toText(), select.column(1).toText());
    return info;
}

void writeDataInfo(DrugConnection& connection, const QList<std::pair<QString, QString>>& items) {
    if (ServerConnection* server = connection.server()) {
        if (!serverInfoTableExists(*server))
            server->execute(serverDataInfoTableSchema());
        for (const auto& [item, value] : items)
            writeServerItem(*server, item, QStringLiteral("$1"), Cell(value), Cell(value));
        return;
    }
    requireUsableTable(connection);
    for (const auto& [item, value] : items)
        writeItem(connection, item, QStringLiteral("?1"), Cell(value));
}

bool countLocalChange(DrugConnection& connection) {
    if (ServerConnection* server = connection.server()) {
        return serverBookkeeping(*server, [server] {
            // As the file's engine counts: a text that is no count starts again.
            writeServerItem(*server, LocalChangesItem,
                            QStringLiteral("CASE WHEN %1 ~ '^[0-9]{1,18}$' THEN (CAST(%1 AS bigint) + $1)::text "
                                           "ELSE CAST($1 AS text) END")
                                .arg(quotedIdentifier(DataInfoValueColumn)),
                            Cell(qint64(1)), Cell(QStringLiteral("1")));
        });
    }
    if (!madeIfMissing(connection))
        return false;
    // Counted by the engine from what the file holds, so two programs on one file both count.
    writeItem(connection, LocalChangesItem,
              QStringLiteral("CAST(CAST(%1 AS INTEGER) + ?1 AS TEXT)").arg(quotedIdentifier(DataInfoValueColumn)),
              Cell(qint64(1)));
    return true;
}

bool recordImportDate(DrugConnection& connection, const QDate& date) {
    if (ServerConnection* server = connection.server()) {
        const Cell day(date.toString(Qt::ISODate));
        return serverBookkeeping(*server,
                                 [&] { writeServerItem(*server, ImportDateItem, QStringLiteral("$1"), day, day); });
    }
    if (!madeIfMissing(connection))
        return false;
    writeItem(connection, ImportDateItem, QStringLiteral("?1"), Cell(date.toString(Qt::ISODate)));
    return true;
}

QStringList dataInfoLines(const DataInfo& info, qint64 drugs) {
    const auto line = [](const QString& label, const QString& value) {
        return QStringLiteral("%1：%2").arg(label, value.isEmpty() ? QStringLiteral("未知") : value);
    };
    return {line(DataVersionItem, info.version),
            line(RevisionDateItem, info.revisionDate),
            line(SourceItem, info.source),
            line(ImportDateItem, info.importDate),
            line(LocalChangesItem, QString::number(info.localChanges)),
            line(QStringLiteral("药品数"), QString::number(drugs))};
}

qint64 drugCount(const DrugConnection& connection) {
    if (ServerConnection* server = connection.server())
        return server->execute(QStringLiteral("SELECT count(*) FROM %1").arg(quotedIdentifier(DrugTableName)))
            .value(0, 0)
            .integer()
            .value_or(0);
    Statement count(connection, QStringLiteral("SELECT count(*) FROM %1").arg(quotedIdentifier(DrugTableName)));
    count.step();
    return count.column(0).integer().value_or(0);
}

QList<QString> settableDataInfoItems() {
    return {DataVersionItem, RevisionDateItem, SourceItem};
}

std::optional<QString> revisionDateFault(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$"));
    if (form.match(text).hasMatch() && QDate::fromString(text, Qt::ISODate).isValid())
        return std::nullopt;
    return QStringLiteral("修订日期“%1”不是真实的日期，应写成 YYYY-MM-DD，例如 2026-02-28").arg(text);
}
