#include "data/DrugConnection.h"

#include "data/DatabaseError.h"
#include "data/DrugDatabase.h"
#include "data/Statement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlcipher/sqlite3.h>

namespace {

// The handle of a connection that is still being set up, closed unless released.
class PendingHandle {
public:
    ~PendingHandle() { sqlite3_close(db); }
    sqlite3* release() {
        sqlite3* handle = db;
        db = nullptr;
        return handle;
    }
    sqlite3* db = nullptr;
};

void exec(sqlite3* db, const QString& sql) {
    Statement statement(db, sql);
    while (statement.step()) {
    }
}

// The key and the page size must come first, before anything reads the file.
void applyKey(sqlite3* db, const QString& password) {
    const QByteArray key = password.toUtf8();
    if (sqlite3_key(db, key.constData(), static_cast<int>(key.size())) != SQLITE_OK)
        throw DatabaseError(engineMessage(db));
    exec(db, QStringLiteral("PRAGMA cipher_page_size = 4096"));
}

void applyDurability(sqlite3* db) {
    // A change is on the disk when its statement returns.
    exec(db, QStringLiteral("PRAGMA synchronous = FULL"));
}

} // namespace

DrugConnection::~DrugConnection() {
    close();
}

void DrugConnection::close() {
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_path.clear();
}

void DrugConnection::Open(const QString& connectionString) {
    const ConnectionParts parts = parseConnectionString(connectionString);
    openFile(parts.dataSource, parts.password);
}

void DrugConnection::openFile(const QString& path, const QString& password) {
    close();
    PendingHandle pending;
    const QByteArray nativePath = QFile::encodeName(path);
    // No SQLITE_OPEN_CREATE: a missing file fails instead of becoming an empty database.
    if (sqlite3_open_v2(nativePath.constData(), &pending.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr) !=
        SQLITE_OK)
        throw DatabaseError(engineMessage(pending.db));
    applyKey(pending.db, password);
    // The first read: a wrong key shows here as "file is encrypted or is not a database",
    // a readable file without the drug table fails on the table's name.
    exec(pending.db, QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(DrugTableName));
    applyDurability(pending.db);
    sqlite3_busy_timeout(pending.db, static_cast<int>(m_busyTimeout.count()));
    m_db = pending.release();
    m_path = path;
}

void DrugConnection::create(const QString& path, const QString& password) {
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink())
        throw DatabaseError(QStringLiteral("文件已存在，不会覆盖：%1").arg(QDir::toNativeSeparators(path)));
    if (!info.absoluteDir().exists())
        throw DatabaseError(
            QStringLiteral("文件夹不存在：%1").arg(QDir::toNativeSeparators(info.absoluteDir().path())));

    PendingHandle pending;
    const QByteArray nativePath = QFile::encodeName(path);
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    bool made = false;
    try {
        if (sqlite3_open_v2(nativePath.constData(), &pending.db, flags, nullptr) != SQLITE_OK)
            throw DatabaseError(engineMessage(pending.db));
        made = true;
        applyKey(pending.db, password);
        applyDurability(pending.db);
        exec(pending.db, DrugTableSchema);
    } catch (const DatabaseError&) {
        sqlite3_close(pending.release());
        if (made)
            QFile::remove(path);
        throw;
    }
}

void DrugConnection::setBusyTimeout(std::chrono::milliseconds timeout) {
    m_busyTimeout = timeout;
    if (m_db)
        sqlite3_busy_timeout(m_db, static_cast<int>(timeout.count()));
}

void DrugConnection::execute(const QString& sql) {
    if (!m_db)
        throw DatabaseError(QStringLiteral("数据库没有打开"));
    exec(m_db, sql);
}

void DrugConnection::beginTransaction() {
    execute(QStringLiteral("BEGIN IMMEDIATE"));
}

void DrugConnection::commit() {
    execute(QStringLiteral("COMMIT"));
}

void DrugConnection::rollback() noexcept {
    if (m_db && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

ConnectionParts parseConnectionString(const QString& connectionString) {
    static const QString sourceKey = QStringLiteral("Data Source=");
    static const QString passwordKey = QStringLiteral(";Jet OleDb:DataBase Password=");
    // The folder may itself hold ';' or '=', so the data source runs up to the last password key.
    const qsizetype sourceAt = connectionString.indexOf(sourceKey, 0, Qt::CaseInsensitive);
    const qsizetype passwordAt = connectionString.lastIndexOf(passwordKey, -1, Qt::CaseInsensitive);
    if (sourceAt < 0 || passwordAt < sourceAt)
        throw DatabaseError(QStringLiteral("连接字符串无效"));
    ConnectionParts parts;
    const qsizetype pathStart = sourceAt + sourceKey.size();
    parts.dataSource = connectionString.mid(pathStart, passwordAt - pathStart);
    parts.password = connectionString.mid(passwordAt + passwordKey.size());
    return parts;
}
