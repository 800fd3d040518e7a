#include "data/DataInfo.h"

#include "data/DatabaseError.h"
#include "data/DrugConnection.h"
#include "data/DrugSchema.h"
#include "data/Statement.h"

#include <QDate>
#include <QRegularExpression>

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

} // namespace

DataInfo readDataInfo(const DrugConnection& connection) {
    DataInfo info;
    const TableShape shape = infoTableShape(connection);
    if (shape == TableShape::Missing)
        return info;
    if (shape == TableShape::Other)
        throw DatabaseError(otherShapeMessage());
    Statement select(connection, QStringLiteral("SELECT %1, %2 FROM %3")
                                     .arg(quotedIdentifier(DataInfoItemColumn), quotedIdentifier(DataInfoValueColumn),
                                          quotedIdentifier(DataInfoTableName)));
    while (select.step()) {
        const QString item = select.column(0).toText();
        const QString value = select.column(1).toText();
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
    return info;
}

void writeDataInfo(DrugConnection& connection, const QList<std::pair<QString, QString>>& items) {
    requireUsableTable(connection);
    for (const auto& [item, value] : items)
        writeItem(connection, item, QStringLiteral("?1"), Cell(value));
}

bool countLocalChange(DrugConnection& connection) {
    if (!madeIfMissing(connection))
        return false;
    // Counted by the engine from what the file holds, so two programs on one file both count.
    writeItem(connection, LocalChangesItem,
              QStringLiteral("CAST(CAST(%1 AS INTEGER) + ?1 AS TEXT)").arg(quotedIdentifier(DataInfoValueColumn)),
              Cell(qint64(1)));
    return true;
}

bool recordImportDate(DrugConnection& connection, const QDate& date) {
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
