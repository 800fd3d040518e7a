#include "data/Statement.h"

#include "data/DatabaseError.h"
#include "data/DrugConnection.h"
#include "data/Engine.h"

#include <QStringDecoder>

// Stored text as it was written: QString::fromUtf8 would drop a leading U+FEFF as a byte-order
// mark, so every U+FEFF, the first ones included, is decoded as the character it is.
QString storedText(QByteArrayView utf8) {
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder.decode(utf8);
    // fromUtf8 keeps room for one character per byte: three times what Chinese text needs.
    // A list of long texts would hold that room as long as the list lives.
    if (text.capacity() - text.size() > 64)
        text.squeeze();
    return text;
}

QString engineMessage(sqlite3* db) {
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(SQLITE_NOMEM));
}

Statement::Statement(const DrugConnection& connection, const QString& sql)
    : m_db(engineHandle(connection)) {
    if (!m_db)
        throw DatabaseError(QStringLiteral("数据库没有打开"));
    const int rc = sqlite3_prepare16_v2(m_db, sql.utf16(), static_cast<int>(sql.size() * 2), &m_stmt, nullptr);
    if (rc != SQLITE_OK)
        fail();
    if (!m_stmt) // the text held no statement at all
        throw DatabaseError(QStringLiteral("SQL 语句为空"));
}

Statement::~Statement() {
    sqlite3_finalize(m_stmt);
}

void Statement::fail() const {
    throw DatabaseError(engineMessage(m_db));
}

void Statement::bind(int position, const Cell& value) {
    int rc = SQLITE_OK;
    switch (value.kind()) {
    case Cell::Kind::Empty:
    case Cell::Kind::Null:
        rc = sqlite3_bind_null(m_stmt, position);
        break;
    case Cell::Kind::Text: {
        // UTF-8 both ways: the engine's UTF-16 entry points drop a leading U+FEFF and rewrite
        // U+FFFE, U+FFFF and lone surrogates. A lone surrogate has no UTF-8 form at all, so
        // it is refused rather than stored as something else.
        const QString text = value.toText();
        if (!QStringView(text).isValidUtf16())
            throw DatabaseError(UnstorableTextMessage);
        const QByteArray utf8 = text.toUtf8();
        rc = sqlite3_bind_text(m_stmt, position, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        break;
    }
    case Cell::Kind::Number:
        // Whole numbers are bound as 64-bit integers, never through a double.
        if (const std::optional<qint64> integer = value.integer())
            rc = sqlite3_bind_int64(m_stmt, position, *integer);
        else
            rc = sqlite3_bind_double(m_stmt, position, value.toNumber());
        break;
    }
    if (rc != SQLITE_OK)
        fail();
}

bool Statement::step() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const QString message = engineMessage(m_db);
    sqlite3_reset(m_stmt);
    throw DatabaseError(message);
}

void Statement::reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

bool Statement::isReadOnly() const {
    return sqlite3_stmt_readonly(m_stmt) != 0;
}

int Statement::columnCount() const {
    return sqlite3_column_count(m_stmt);
}

QString Statement::columnName(int column) const {
    const auto* name = static_cast<const char16_t*>(sqlite3_column_name16(m_stmt, column));
    return name ? QString::fromUtf16(name) : QString();
}

QString Statement::columnTableName(int column) const {
    const auto* name = static_cast<const char16_t*>(sqlite3_column_table_name16(m_stmt, column));
    return name ? QString::fromUtf16(name) : QString();
}

QString Statement::columnOriginName(int column) const {
    const auto* name = static_cast<const char16_t*>(sqlite3_column_origin_name16(m_stmt, column));
    return name ? QString::fromUtf16(name) : QString();
}

Statement::Value Statement::columnValue(int column) const {
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return {Value::Type::Integer, static_cast<qint64>(sqlite3_column_int64(m_stmt, column)), 0, {}};
    case SQLITE_FLOAT:
        return {Value::Type::Real, 0, sqlite3_column_double(m_stmt, column), {}};
    default: {
        // Text, and blobs read as text: the pointer comes first, then its length.
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return {Value::Type::Text, 0, 0, QByteArrayView(text, sqlite3_column_bytes(m_stmt, column))};
    }
    }
}

Cell Statement::column(int column) const {
    const Value value = columnValue(column);
    switch (value.type) {
    case Value::Type::Null:
        return Cell::null();
    case Value::Type::Integer:
        return Cell(value.integer);
    case Value::Type::Real:
        return Cell(value.real);
    case Value::Type::Text:
        break;
    }
    return Cell(storedText(value.utf8));
}

Statement::ConnectionLock::ConnectionLock(const Statement& statement)
    : m_mutex(sqlite3_db_mutex(statement.m_db)) {
    sqlite3_mutex_enter(m_mutex);
}

Statement::ConnectionLock::~ConnectionLock() {
    sqlite3_mutex_leave(m_mutex);
}

QString quotedIdentifier(const QString& name) {
    QString text = name;
    text.replace(u'"', QStringLiteral("\"\""));
    return u'"' + text + u'"';
}

QString quotedIdentifiers(const QStringList& names) {
    QStringList quoted;
    for (const QString& name : names)
        quoted.append(quotedIdentifier(name));
    return quoted.join(u',');
}
