#include "bench/Floor.h"

#include "data/DatabaseError.h"
#include "data/DrugSchema.h"

#include "data/Engine.h"

namespace bench {
namespace {

constexpr qint64 ListEntries = 100001;

QString textOf(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(statement, column));
}

int columnNamed(sqlite3_stmt* statement, const QString& name) {
    const QByteArray utf8 = name.toUtf8();
    for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        if (utf8 == sqlite3_column_name(statement, i))
            return i;
    }
    throw DatabaseError(QStringLiteral("no column %1").arg(name));
}

} // namespace

FloorLoop::FloorLoop(sqlite3* db)
    : m_db(db)
    , m_names(ListEntries)
    , m_englishNames(ListEntries)
    , m_leaflets(ListEntries)
    , m_keys(ListEntries) {}

qint64 FloorLoop::run(const QString& sql, const QStringList& parameters) {
    sqlite3_stmt* statement = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, utf8.constData(), static_cast<int>(utf8.size()), &statement, nullptr) != SQLITE_OK)
        throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(m_db)));
    for (int i = 0; i < parameters.size(); ++i) {
        const QByteArray value = parameters[i].toUtf8();
        sqlite3_bind_text(statement, i + 1, value.constData(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    }
    const int name = columnNamed(statement, ChineseNameColumn);
    const int englishName = columnNamed(statement, EnglishNameColumn);
    const int leaflet = columnNamed(statement, LeafletColumn);
    const int key = columnNamed(statement, KeyColumn);
    qint64 rows = 0;
    while (rows < ListEntries && sqlite3_step(statement) == SQLITE_ROW) {
        m_names[rows] = textOf(statement, name);
        m_englishNames[rows] = textOf(statement, englishName);
        m_leaflets[rows] = textOf(statement, leaflet);
        m_keys[rows] = QString::number(sqlite3_column_int64(statement, key));
        ++rows;
    }
    sqlite3_finalize(statement);
    return rows;
}

} // namespace bench
