#include "data/Statement.h"

#include "data/DatabaseError.h"

#include <sqlcipher/sqlite3.h>

namespace {

QString fromUtf16(const void* text, int bytes) {
    return QString(static_cast<const QChar*>(text), bytes / 2);
}

} // namespace

QString engineMessage(sqlite3* db) {
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(SQLITE_NOMEM));
}

Statement::Statement(sqlite3* db, const QString& sql)
    : m_db(db) {
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
        const QString text = value.toText();
        rc = sqlite3_bind_text16(m_stmt, position, text.utf16(), static_cast<int>(text.size() * 2), SQLITE_TRANSIENT);
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

Cell Statement::column(int column) const {
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_NULL:
        return Cell::null();
    case SQLITE_INTEGER:
        return Cell(static_cast<qint64>(sqlite3_column_int64(m_stmt, column)));
    case SQLITE_FLOAT:
        return Cell(sqlite3_column_double(m_stmt, column));
    default: {
        // Text, and blobs read as text: the pointer comes first, then its length.
        const void* text = sqlite3_column_text16(m_stmt, column);
        return Cell(fromUtf16(text, sqlite3_column_bytes16(m_stmt, column)));
    }
    }
}

QString quotedIdentifier(const QString& name) {
    QString text = name;
    text.replace(u'"', QStringLiteral("\"\""));
    return u'"' + text + u'"';
}
