#include "data/DrugRecordset.h"

#include "data/DatabaseError.h"
#include "data/DrugConnection.h"
#include "data/DrugSchema.h"
#include "data/ServerConnection.h"
#include "data/ServerQuery.h"
#include "data/ServerSchema.h"
#include "data/Statement.h"

#include <algorithm>

namespace {

// A written value as the file keeps it: a cell never written is stored as Null.
Cell storedValue(const Cell& written) {
    return written.isEmpty() ? Cell::null() : written;
}

} // namespace

DrugRecordset::DrugRecordset() = default;
DrugRecordset::~DrugRecordset() = default;

void DrugRecordset::Open(const QString& sql, DrugConnection& connection, int cursorType, int lockType,
                         const QList<Cell>& parameters) {
    Close();
    if (cursorType != adOpenKeyset || (lockType != adLockReadOnly && lockType != adLockOptimistic))
        throw DatabaseError(QStringLiteral("记录集的打开方式不受支持"));
    if (!connection.isOpen())
        throw DatabaseError(QStringLiteral("数据库没有打开"));
    m_editable = lockType == adLockOptimistic;
    try {
        if (connection.server())
            openOnServer(sql, connection, parameters);
        else
            openOnFile(sql, connection, parameters);
    } catch (const DatabaseError&) {
        Close();
        throw;
    }
    m_connection = &connection;
    m_position = 0;
    m_open = true;
}

void DrugRecordset::openOnFile(const QString& sql, DrugConnection& connection, const QList<Cell>& parameters) {
    auto statement = std::make_unique<Statement>(connection, sql);
    if (!statement->isReadOnly())
        throw DatabaseError(QStringLiteral("记录集只能由查询语句打开"));
    for (int i = 0; i < parameters.size(); ++i)
        statement->bind(i + 1, parameters[i]);
    for (int i = 0; i < statement->columnCount(); ++i)
        m_columns.append(statement->columnName(i));
    m_askedNames.assign(m_columns.size(), nullptr);
    m_rows.reset(static_cast<int>(m_columns.size()));
    if (m_editable) {
        readEditInfo(*statement);
        m_unread = std::move(statement);
    } else {
        // The whole result is read now: the count is true and the rows stay those selected.
        readRows(*statement);
    }
}

void DrugRecordset::openOnServer(const QString& sql, DrugConnection& connection, const QList<Cell>& parameters) {
    requireServerQuery(sql);
    m_columns = serverRowColumns();
    m_askedNames.assign(m_columns.size(), nullptr);
    m_rows.reset(static_cast<int>(m_columns.size()));
    if (m_editable) {
        m_table = DrugTableName;
        m_originColumns = m_columns;
        m_unreadOnServer = UnreadQuery{sql, parameters};
    } else {
        readServerRows(connection, sql, parameters, m_rows);
    }
}

std::optional<qint64> DrugRecordset::revision() {
    if (!m_open || !m_connection->server())
        return std::nullopt;
    return field(RevisionColumn).integer();
}

void DrugRecordset::readRows(Statement& statement) {
    // Held across the walk, the connection's lock is taken again by each call without an atomic operation.
    const Statement::ConnectionLock lock(statement);
    while (statement.step())
        m_rows.append(statement);
}

void DrugRecordset::ensureRows() {
    if (!m_unread && !m_unreadOnServer)
        return;
    try {
        if (m_unread)
            readRows(*m_unread);
        else
            readServerRows(*m_connection, m_unreadOnServer->sql, m_unreadOnServer->parameters, m_rows);
    } catch (const DatabaseError& error) {
        failAndClose(error.message());
    }
    m_unread.reset();
    m_unreadOnServer.reset();
    m_position = 0;
    if (m_addedBeforeRead) {
        // The row added before the read stays the current one, whether the query found it or not.
        const Cell key = (*m_addedBeforeRead)[m_keyColumn];
        size_t found = 0;
        while (found < m_rows.size() && !(m_rows.cell(found, m_keyColumn) == key))
            ++found;
        if (found == m_rows.size())
            m_rows.append(*m_addedBeforeRead);
        m_position = found;
        m_addedBeforeRead.reset();
    }
}

void DrugRecordset::readEditInfo(const Statement& statement) {
    m_table.clear();
    for (int i = 0; i < statement.columnCount(); ++i) {
        const QString table = statement.columnTableName(i);
        m_originColumns.append(statement.columnOriginName(i));
        if (i == 0)
            m_table = table;
        else if (table != m_table)
            m_table.clear(); // rows from several tables, or computed values: not editable
    }
    for (int i = 0; i < m_originColumns.size() && !m_table.isEmpty(); ++i) {
        if (m_originColumns[i].isEmpty()) {
            m_table.clear();
            break;
        }
    }
}

void DrugRecordset::Close() {
    m_open = false;
    m_editable = false;
    m_unread.reset();
    m_unreadOnServer.reset();
    m_addedBeforeRead.reset();
    m_connection = nullptr;
    m_columns.clear();
    m_askedNames.clear();
    m_rows.reset(0);
    m_position = 0;
    m_table.clear();
    m_originColumns.clear();
    m_keyColumn = -1;
    m_pending = Pending::None;
    m_writes.clear();
}

void DrugRecordset::failAndClose(const QString& message) {
    Close();
    throw DatabaseError(message);
}

void DrugRecordset::requireOpen() {
    if (!m_open)
        failAndClose(QStringLiteral("记录集没有打开"));
}

void DrugRecordset::requireEditable() {
    requireOpen();
    if (!m_editable)
        failAndClose(QStringLiteral("记录集是只读的，不能修改"));
    if (m_table.isEmpty())
        failAndClose(QStringLiteral("这个查询的结果不能修改"));
    if (m_keyColumn < 0) {
        for (int i = 0; i < m_originColumns.size(); ++i) {
            if (m_connection->isRowKeyColumn(m_table, m_originColumns[i])) {
                m_keyColumn = i;
                break;
            }
        }
        if (m_keyColumn < 0)
            failAndClose(QStringLiteral("这个查询的结果不含记录的编号，不能修改"));
    }
}

void DrugRecordset::requireCurrentRow() {
    requireOpen();
    ensureRows();
    if (m_position >= m_rows.size())
        failAndClose(QStringLiteral("没有当前记录"));
}

qint64 DrugRecordset::RecordCount() {
    requireOpen();
    ensureRows();
    return static_cast<qint64>(m_rows.size());
}

bool DrugRecordset::atEnd() {
    if (!m_open)
        return true;
    ensureRows();
    return m_position >= m_rows.size();
}

void DrugRecordset::MoveNext() {
    requireOpen();
    if (m_pending != Pending::None)
        Update();
    ensureRows();
    if (m_position >= m_rows.size())
        failAndClose(QStringLiteral("已经到了最后一条记录之后"));
    ++m_position;
    // A read-only recordset only ever moves forward: the rows behind it are not read again.
    if (!m_editable)
        m_rows.releaseBefore(m_position);
}

int DrugRecordset::columnIndex(const QString& column) {
    for (size_t i = 0; i < m_askedNames.size(); ++i) {
        if (m_askedNames[i] == column.constData() && m_columns[i] == column)
            return static_cast<int>(i);
    }
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_columns[i].compare(column, Qt::CaseInsensitive) == 0) {
            m_askedNames[i] = column.constData();
            return i;
        }
    }
    failAndClose(QStringLiteral("记录集中没有这一列：%1").arg(column));
}

Cell DrugRecordset::field(const QString& column) {
    requireOpen();
    const int index = columnIndex(column);
    if (m_pending == Pending::Add || m_pending == Pending::Change) {
        for (const auto& [name, value] : m_writes) {
            if (name == m_columns[index])
                return value;
        }
        if (m_pending == Pending::Add)
            return Cell::null();
    }
    if ((m_unread || m_unreadOnServer) && m_addedBeforeRead)
        return (*m_addedBeforeRead)[index];
    requireCurrentRow();
    return m_rows.cell(m_position, index);
}

Cell DrugRecordset::takeField(const QString& column) {
    if (m_editable)
        return field(column);
    requireOpen();
    const int index = columnIndex(column);
    requireCurrentRow();
    return m_rows.take(m_position, index);
}

void DrugRecordset::setField(const QString& column, const Cell& value) {
    requireEditable();
    const int index = columnIndex(column);
    if (index == m_keyColumn)
        failAndClose(QStringLiteral("编号由数据库分配，不能写入"));
    if (m_pending == Pending::Delete)
        failAndClose(QStringLiteral("记录已标为删除，不能再写入"));
    if (m_pending == Pending::None) {
        requireCurrentRow();
        m_pending = Pending::Change;
    }
    const QString& name = m_columns[index];
    for (auto& [written, writtenValue] : m_writes) {
        if (written == name) {
            writtenValue = value;
            return;
        }
    }
    m_writes.emplace_back(name, value);
}

void DrugRecordset::AddNew() {
    requireEditable();
    if (m_pending != Pending::None)
        Update();
    m_pending = Pending::Add;
    m_writes.clear();
}

void DrugRecordset::Delete() {
    requireEditable();
    if (m_pending == Pending::Add) { // deleting a row not yet stored just drops it
        m_pending = Pending::None;
        m_writes.clear();
        return;
    }
    requireCurrentRow();
    m_pending = Pending::Delete;
    m_writes.clear();
}

void DrugRecordset::Update() {
    requireOpen();
    try {
        switch (m_pending) {
        case Pending::None:
            return;
        case Pending::Add:
            storeAddedRow();
            break;
        case Pending::Change:
            storeChangedRow();
            break;
        case Pending::Delete:
            storeDeletion();
            break;
        }
    } catch (const DatabaseError& error) {
        failAndClose(error.message());
    }
    m_pending = Pending::None;
    m_writes.clear();
}

void DrugRecordset::storeAddedRow() {
    if (m_connection->server()) {
        storeAddedRowOnServer();
        return;
    }
    QStringList names;
    QStringList marks;
    for (const auto& [name, value] : m_writes) {
        names.append(quotedIdentifier(m_originColumns[columnIndex(name)]));
        marks.append(QStringLiteral("?"));
    }
    const QString sql = names.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quotedIdentifier(m_table))
                                        : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                              .arg(quotedIdentifier(m_table), names.join(u','), marks.join(u','));
    {
        Statement insert(*m_connection, sql);
        for (int i = 0; i < static_cast<int>(m_writes.size()); ++i)
            insert.bind(i + 1, m_writes[i].second);
        insert.step();
    }
    // The row is stored once the insert returns: nothing after it may fail, so the row is
    // made from what was written, not read back. Columns not written read as Null (the drug
    // table gives none a default).
    std::vector<Cell> row(m_columns.size(), Cell::null());
    for (const auto& [name, value] : m_writes)
        row[columnIndex(name)] = storedValue(value);
    row[m_keyColumn] = Cell(m_connection->lastInsertedKey());
    keepAddedRow(std::move(row));
}

void DrugRecordset::keepAddedRow(std::vector<Cell> row) {
    if (m_unread || m_unreadOnServer) {
        m_addedBeforeRead = std::move(row);
    } else {
        m_rows.append(row);
        m_position = m_rows.size() - 1;
    }
}

// The key column by its own name: "rowid" may be the name of another column.
QString DrugRecordset::keyName() const {
    return quotedIdentifier(m_originColumns[m_keyColumn]);
}

void DrugRecordset::storeChangedRow() {
    if (m_connection->server()) {
        storeChangedRowOnServer();
        return;
    }
    QStringList assignments;
    for (const auto& [name, value] : m_writes)
        assignments.append(quotedIdentifier(m_originColumns[columnIndex(name)]) + QStringLiteral(" = ?"));
    Statement update(*m_connection,
                     QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
                         .arg(quotedIdentifier(m_table), assignments.join(QStringLiteral(", ")), keyName()));
    int position = 1;
    for (const auto& [name, value] : m_writes)
        update.bind(position++, value);
    update.bind(position, m_rows.cell(m_position, m_keyColumn));
    update.step();
    if (m_connection->changedRows() == 0)
        throw DatabaseError(QStringLiteral("这条记录已不存在"));
    for (const auto& [name, value] : m_writes)
        m_rows.set(m_position, columnIndex(name), storedValue(value));
}

void DrugRecordset::storeDeletion() {
    if (m_connection->server()) {
        storeDeletionOnServer();
        return;
    }
    Statement remove(*m_connection,
                     QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(quotedIdentifier(m_table), keyName()));
    remove.bind(1, m_rows.cell(m_position, m_keyColumn));
    remove.step();
    if (m_connection->changedRows() == 0)
        throw DatabaseError(QStringLiteral("这条记录已不存在"));
    m_rows.erase(m_position);
}

// On a server, the revision read with the row is part of the change's condition: a row another
// seat changed or deleted since is not touched, and the seat is told which of the two it was.

void DrugRecordset::storeAddedRowOnServer() {
    QStringList names;
    QStringList marks;
    QList<Cell> values;
    for (const auto& [name, value] : m_writes) {
        names.append(quotedIdentifier(name));
        values.append(value);
        marks.append(QStringLiteral("$%1").arg(values.size()));
    }
    const QString table = quotedIdentifier(m_table);
    const QString returning =
        QStringLiteral(" RETURNING %1, %2").arg(quotedIdentifier(KeyColumn), quotedIdentifier(RevisionColumn));
    const QString sql =
        names.isEmpty()
            ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table) + returning
            : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, names.join(u','), marks.join(u',')) +
                  returning;
    const ServerResult inserted =
        m_connection->reachServer().execute(sql, std::span<const Cell>(values.data(), values.size()));
    std::vector<Cell> row(m_columns.size(), Cell::null());
    for (const auto& [name, value] : m_writes)
        row[columnIndex(name)] = storedValue(value);
    row[m_keyColumn] = inserted.value(0, 0);
    row[columnIndex(RevisionColumn)] = inserted.value(0, 1);
    keepAddedRow(std::move(row));
}

void DrugRecordset::storeChangedRowOnServer() {
    QStringList assignments;
    QList<Cell> values;
    for (const auto& [name, value] : m_writes) {
        values.append(value);
        assignments.append(QStringLiteral("%1 = $%2").arg(quotedIdentifier(name)).arg(values.size()));
    }
    const QString revision = quotedIdentifier(RevisionColumn);
    assignments.append(QStringLiteral("%1 = %1 + 1").arg(revision));
    values.append(m_rows.cell(m_position, m_keyColumn));
    values.append(m_rows.cell(m_position, columnIndex(RevisionColumn)));
    const ServerResult updated = m_connection->reachServer().execute(
        QStringLiteral("UPDATE %1 SET %2 WHERE %3 = $%4 AND %5 = $%6 RETURNING %5")
            .arg(quotedIdentifier(m_table), assignments.join(QStringLiteral(", ")), keyName())
            .arg(values.size() - 1)
            .arg(revision)
            .arg(values.size()),
        std::span<const Cell>(values.data(), values.size()));
    if (updated.rowCount() == 0)
        throw DatabaseError(changedElsewhere());
    for (const auto& [name, value] : m_writes)
        m_rows.set(m_position, columnIndex(name), storedValue(value));
    m_rows.set(m_position, columnIndex(RevisionColumn), updated.value(0, 0));
}

void DrugRecordset::storeDeletionOnServer() {
    const ServerResult removed = m_connection->reachServer().execute(
        QStringLiteral("DELETE FROM %1 WHERE %2 = $1 AND %3 = $2")
            .arg(quotedIdentifier(m_table), keyName(), quotedIdentifier(RevisionColumn)),
        {m_rows.cell(m_position, m_keyColumn), m_rows.cell(m_position, columnIndex(RevisionColumn))});
    if (removed.changedRows() == 0)
        throw DatabaseError(changedElsewhere());
    m_rows.erase(m_position);
}

QString DrugRecordset::changedElsewhere() {
    const ServerResult present = m_connection->reachServer().execute(
        QStringLiteral("SELECT 1 FROM %1 WHERE %2 = $1").arg(quotedIdentifier(m_table), keyName()),
        {m_rows.cell(m_position, m_keyColumn)});
    return present.rowCount() == 0 ? DrugDeletedElsewhere : DrugChangedElsewhere;
}
