#include "data/DrugConnection.h"

#include "data/DatabaseError.h"
#include "data/DrugSchema.h"
#include "data/Engine.h"
#include "data/ServerConnection.h"
#include "data/ServerSchema.h"
#include "data/Statement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

void exec(const DrugConnection& connection, const QString& sql) {
    Statement statement(connection, sql);
    while (statement.step()) {
    }
}

// The key and the page size must come first, before anything reads the file.
void applyKey(const DrugConnection& connection, const QString& password) {
    const QByteArray key = password.toUtf8();
    sqlite3* db = engineHandle(connection);
    if (sqlite3_key(db, key.constData(), static_cast<int>(key.size())) != SQLITE_OK)
        throw DatabaseError(engineMessage(db));
    exec(connection, QStringLiteral("PRAGMA cipher_page_size = 4096"));
}

void applyDurability(const DrugConnection& connection) {
    // A change is on the disk when its statement returns.
    exec(connection, QStringLiteral("PRAGMA synchronous = FULL"));
}

QStringList tableFaults(const DrugConnection& connection) {
    // cid, name, type, notnull, dflt_value, pk
    Statement info(connection, QStringLiteral("PRAGMA table_info(%1)").arg(quotedIdentifier(DrugTableName)));
    QStringList present;
    while (info.step())
        present.append(info.column(1).toText());
    if (present.isEmpty())
        return {QStringLiteral("文件中没有药品表“%1”").arg(DrugTableName)};
    QStringList faults;
    QStringList missing;
    for (const QString& column : drugColumns()) {
        if (!present.contains(column, Qt::CaseInsensitive))
            missing.append(column);
    }
    if (!missing.isEmpty())
        faults.append(QStringLiteral("药品表缺少列：%1").arg(missing.join(QStringLiteral("、"))));
    // A change addresses its drug by 编号, and a new drug's 编号 is the row key the engine gives it.
    if (!missing.contains(KeyColumn) && !connection.isRowKeyColumn(DrugTableName, KeyColumn))
        faults.append(QStringLiteral("药品表的“%1”不是它的整数主键（INTEGER PRIMARY KEY，不带 DESC，"
                                     "表不是 WITHOUT ROWID），新药品得不到编号")
                          .arg(KeyColumn));
    // Other tools take these names for the row key; a column that hides it invites them to
    // change the wrong drug.
    for (const QString& name : present) {
        for (const char* rowKeyName : {"rowid", "oid", "_rowid_"}) {
            if (name.compare(QLatin1String(rowKeyName), Qt::CaseInsensitive) == 0)
                faults.append(QStringLiteral("药品表中有一列名为“%1”，与数据库的行号同名").arg(name));
        }
    }
    return faults;
}

QString fileLengthFault(const DrugConnection& connection, const QString& path) {
    // With a write-ahead log (another tool's choice) the newest pages may be in the log beside the file.
    Statement mode(connection, QStringLiteral("PRAGMA journal_mode"));
    if (mode.step() && mode.column(0).toText().compare(QStringLiteral("wal"), Qt::CaseInsensitive) == 0)
        return {};
    const qint64 pageSize = connection.pragmaNumber(QStringLiteral("page_size"));
    const qint64 pageCount = connection.pragmaNumber(QStringLiteral("page_count"));
    const qint64 length = QFileInfo(path).size();
    if (length == pageSize * pageCount)
        return {};
    return QStringLiteral("文件长 %1 字节，%2 页应有 %3 字节").arg(length).arg(pageCount).arg(pageSize * pageCount);
}

// Whether this process may read the file, by its effective user as the engine opens it.
bool readable(const QString& path) {
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return errno != EACCES && errno != EPERM;
    ::close(descriptor);
    return true;
}

// Whether this process may make and rename files in folder, by its effective user: an immutable
// folder refuses even the superuser.
bool writableFolder(const QString& folder) {
    return ::faccessat(AT_FDCWD, QFile::encodeName(folder).constData(), W_OK, AT_EACCESS) == 0;
}

// The nearest folder of path that is there.
QString existingFolder(const QString& path) {
    QFileInfo folder(QFileInfo(path).absolutePath());
    while (!folder.exists() && !folder.isRoot())
        folder.setFile(folder.absolutePath());
    return folder.absoluteFilePath();
}

// The user's file named first, what to do in the reason.
QString userFileMessage(const QString& path, const QString& reason) {
    return QStringLiteral("收藏和笔记文件 %1 无法使用：%2").arg(QDir::toNativeSeparators(path), reason);
}

QString folderInTheWay() {
    return QStringLiteral("这里是一个文件夹，不是文件。请把这个文件夹移走或改名，程序会新建收藏和笔记文件");
}

QString unwritableFolder(const QString& folder, bool present) {
    return QStringLiteral("文件夹 %1 不能写入，%2：请让它可写（chmod u+w；以 chattr +i 锁住的用 chattr -i）%3")
        .arg(QDir::toNativeSeparators(folder),
             present ? QStringLiteral("无法在文件旁建立它的日志文件") : QStringLiteral("无法在其中建立文件"),
             present ? QString() : QStringLiteral("，或让 XDG_DATA_HOME 指向一个可写的文件夹"));
}

// Only a regular file can be a database file. Anything else is refused before the engine opens
// it: a named pipe would block the open until another program wrote to it.
void refuseSpecialFile(const QString& path, FileKind kind) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || S_ISREG(status.st_mode))
        return; // a missing file is named by the engine's own failure
    const bool drugs = kind == FileKind::Drugs;
    if (S_ISDIR(status.st_mode))
        throw DatabaseError(drugs ? QStringLiteral("这是一个文件夹，不是药品数据库文件")
                                  : userFileMessage(path, folderInTheWay()));
    const QString special = QStringLiteral("这不是普通文件（是命名管道、设备或套接字）");
    throw DatabaseError(drugs ? special + QStringLiteral("，不是药品数据库文件")
                              : userFileMessage(path, special + QStringLiteral("，请把它移走")));
}

} // namespace

DrugConnection::DrugConnection() = default;

DrugConnection::~DrugConnection() {
    close();
}

void DrugConnection::close() {
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_server.reset();
    m_serverUrl.clear();
    m_serverTransaction = false;
    m_programFunctions.clear();
    m_path.clear();
    m_functions.clear();
}

void DrugConnection::openServer(const QString& url) {
    close();
    auto server = std::make_unique<ServerConnection>();
    server->open(url);
    requireUsableServerTables(*server);
    m_server = std::move(server);
    m_serverUrl = url;
}

ServerConnection* DrugConnection::server() const {
    return m_server.get();
}

ServerConnection& DrugConnection::reachServer() {
    if (!m_server)
        throw DatabaseError(QStringLiteral("数据库没有打开"));
    if (!m_server->isOpen()) {
        // A transaction's statements must not go on in a new connection outside it.
        if (m_serverTransaction)
            throw ServerError(QStringLiteral("与数据库服务器的连接断开了，这次的修改都已撤销，没有保存"), {}, true);
        m_server->open(m_serverUrl);
    }
    return *m_server;
}

const DrugConnection::TextFunction* DrugConnection::programFunction(const QString& name) const {
    const auto found = m_programFunctions.find(name);
    return found == m_programFunctions.end() ? nullptr : &found->second;
}

void DrugConnection::defineFunction(const QString& name, int argumentCount, TextFunction function) {
    if (argumentCount < 0 || argumentCount > MaxFunctionArguments)
        throw DatabaseError(QStringLiteral("函数“%1”的参数个数无效").arg(name));
    if (m_server) {
        // The server cannot call into the program: the queries that use it are run in two steps.
        m_programFunctions.insert_or_assign(name, std::move(function));
        m_functions.append(name);
        return;
    }
    if (!m_db)
        throw DatabaseError(QStringLiteral("药品数据库没有打开"));
    const auto call = [](sqlite3_context* context, int count, sqlite3_value** values) {
        const auto* own = static_cast<const TextFunction*>(sqlite3_user_data(context));
        QByteArrayView arguments[MaxFunctionArguments];
        for (int i = 0; i < count; ++i) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(values[i]));
            arguments[i] = QByteArrayView(text, text ? sqlite3_value_bytes(values[i]) : 0);
        }
        sqlite3_result_int64(context, (*own)(std::span<const QByteArrayView>(arguments, size_t(count))));
    };
    const auto destroy = [](void* own) {
        delete static_cast<TextFunction*>(own);
    };
    // The engine owns the copy from here on, failure included.
    if (sqlite3_create_function_v2(m_db, name.toUtf8().constData(), argumentCount, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                   new TextFunction(std::move(function)), call, nullptr, nullptr, destroy) != SQLITE_OK)
        throw DatabaseError(engineMessage(m_db));
    m_functions.append(name);
}

void DrugConnection::openFile(const QString& path, const QString& password, Access access) {
    close();
    // Set up as a connection of its own, which closes the handle unless it is taken over.
    DrugConnection pending;
    try {
        const QByteArray nativePath = QFile::encodeName(path);
        refuseSpecialFile(path, FileKind::Drugs);
        // No SQLITE_OPEN_CREATE: a missing file fails instead of becoming an empty database.
        const int mode = access == Access::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
        if (sqlite3_open_v2(nativePath.constData(), &pending.m_db, mode | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK)
            throw DatabaseError(engineMessage(pending.m_db));
        applyKey(pending, password);
        // The first read waits out another program's commit like any later statement.
        sqlite3_busy_timeout(pending.m_db, static_cast<int>(m_busyTimeout.count()));
        // One read transaction: no other program writes the file while its length is compared
        // with its pages. The schema is the first read: a wrong key shows there as "file is
        // encrypted or is not a database".
        exec(pending, QStringLiteral("BEGIN"));
        const QStringList faults = tableFaults(pending);
        if (!faults.isEmpty())
            throw DatabaseError(faults.join(QStringLiteral("；")) + QStringLiteral("。这不是本程序可用的药品数据库"));
        // A file cut short inside its last page opens, and fails only when that page is read.
        const QString length = fileLengthFault(pending, path);
        if (!length.isEmpty())
            throw DatabaseError(QStringLiteral("文件已损坏或不完整：") + length);
        exec(pending, QStringLiteral("COMMIT"));
        if (access == Access::ReadWrite)
            applyDurability(pending);
    } catch (const DatabaseError& error) {
        throw DatabaseError(fileFailureMessage(path, error.message()));
    }
    m_db = std::exchange(pending.m_db, nullptr);
    m_path = path;
}

void DrugConnection::requireOpen() const {
    if (m_server)
        throw DatabaseError(QStringLiteral("这项操作只能用于药品数据库文件，不能用于数据库服务器"));
    if (!m_db)
        throw DatabaseError(QStringLiteral("数据库没有打开"));
}

QStringList DrugConnection::drugTableFaults() const {
    if (m_server)
        return serverTableFaults(*m_server);
    requireOpen();
    return tableFaults(*this);
}

QString DrugConnection::lengthFault() const {
    if (m_server)
        return {};
    requireOpen();
    return fileLengthFault(*this, m_path);
}

qint64 DrugConnection::pragmaNumber(const QString& name) const {
    Statement pragma(*this, QStringLiteral("PRAGMA %1").arg(name));
    pragma.step();
    return pragma.column(0).integer().value_or(0);
}

qint64 DrugConnection::lastInsertedKey() const {
    requireOpen();
    return sqlite3_last_insert_rowid(m_db);
}

qint64 DrugConnection::changedRows() const {
    requireOpen();
    return sqlite3_changes(m_db);
}

bool DrugConnection::isRowKeyColumn(const QString& table, const QString& column) const {
    if (m_server) // the open refused a server whose key is not 编号, a bigint identity
        return table.compare(DrugTableName, Qt::CaseInsensitive) == 0 &&
               column.compare(KeyColumn, Qt::CaseInsensitive) == 0;
    // cid, name, type, notnull, dflt_value, pk
    Statement info(*this, QStringLiteral("PRAGMA table_info(%1)").arg(quotedIdentifier(table)));
    int keyParts = 0;
    bool integerKey = false;
    while (info.step()) {
        const bool inKey = info.column(5).integer().value_or(0) > 0;
        keyParts += inKey ? 1 : 0;
        if (inKey && info.column(1).toText().compare(column, Qt::CaseInsensitive) == 0)
            integerKey = info.column(2).toText().compare(QStringLiteral("INTEGER"), Qt::CaseInsensitive) == 0;
    }
    if (!integerKey || keyParts != 1)
        return false;
    // The engine makes an index for any primary key but its own row key (a DESC key, or the key
    // of a table WITHOUT ROWID). seq, name, unique, origin, partial
    Statement indexes(*this, QStringLiteral("PRAGMA index_list(%1)").arg(quotedIdentifier(table)));
    while (indexes.step()) {
        if (indexes.column(3).toText() == QLatin1String("pk"))
            return false;
    }
    return true;
}

sqlite3* engineHandle(const DrugConnection& connection) {
    return connection.m_db;
}

void DrugConnection::create(const QString& path, const QString& password) {
    DrugConnection().createFile(path, password);
}

void DrugConnection::createFile(const QString& path, const QString& password) {
    close();
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink())
        throw DatabaseError(QStringLiteral("文件已存在，不会覆盖：%1").arg(QDir::toNativeSeparators(path)));
    if (!info.absoluteDir().exists())
        throw DatabaseError(
            QStringLiteral("文件夹不存在：%1").arg(QDir::toNativeSeparators(info.absoluteDir().path())));

    DrugConnection pending;
    const QByteArray nativePath = QFile::encodeName(path);
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    bool made = false;
    try {
        if (sqlite3_open_v2(nativePath.constData(), &pending.m_db, flags, nullptr) != SQLITE_OK)
            throw DatabaseError(engineMessage(pending.m_db));
        made = true;
        applyKey(pending, password);
        sqlite3_busy_timeout(pending.m_db, static_cast<int>(m_busyTimeout.count()));
        applyDurability(pending);
        exec(pending, DrugTableSchema);
    } catch (const DatabaseError&) {
        pending.close();
        if (made)
            QFile::remove(path);
        throw;
    }
    m_db = std::exchange(pending.m_db, nullptr);
    m_path = path;
}

void DrugConnection::openUserFile(const QString& path) {
    close();
    DrugConnection pending;
    refuseSpecialFile(path, FileKind::User);
    // The engine opens a file it cannot write for reading: what the user keeps can still be
    // read, and each write fails, saying why.
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &pending.m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK)
        throw DatabaseError(engineMessage(pending.m_db));
    sqlite3_busy_timeout(pending.m_db, static_cast<int>(m_busyTimeout.count()));
    // The log lets another program read while this one writes; FULL puts each commit on the
    // disk before the statement returns. Two programs switching a new file to the log at once
    // can deadlock, and the engine then fails one at once without waiting: it tries again
    // until the busy timeout is spent.
    const auto deadline = std::chrono::steady_clock::now() + m_busyTimeout;
    for (;;) {
        try {
            exec(pending, QStringLiteral("PRAGMA journal_mode = WAL"));
            break;
        } catch (const DatabaseError&) {
            if (sqlite3_errcode(pending.m_db) != SQLITE_BUSY || std::chrono::steady_clock::now() >= deadline)
                throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    applyDurability(pending);
    m_db = std::exchange(pending.m_db, nullptr);
    m_path = path;
}

void DrugConnection::setBusyTimeout(std::chrono::milliseconds timeout) {
    m_busyTimeout = timeout;
    if (m_db)
        sqlite3_busy_timeout(m_db, static_cast<int>(timeout.count()));
}

void DrugConnection::execute(const QString& sql) {
    if (m_server) {
        reachServer().execute(sql);
        return;
    }
    requireOpen();
    exec(*this, sql);
}

void DrugConnection::beginTransaction() {
    if (m_server) {
        reachServer().beginTransaction();
        m_serverTransaction = true;
        return;
    }
    execute(QStringLiteral("BEGIN IMMEDIATE"));
}

void DrugConnection::commit() {
    if (m_server) {
        m_serverTransaction = false;
        m_server->commit();
        return;
    }
    execute(QStringLiteral("COMMIT"));
}

void DrugConnection::rollback() noexcept {
    if (m_server) {
        m_serverTransaction = false;
        m_server->rollback();
    } else if (m_db && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

QString fileFailureMessage(const QString& path, const QString& message, FileKind kind) {
    const bool drugs = kind == FileKind::Drugs;
    // The engine's messages begin with a Latin letter; this layer's are Chinese already.
    if (message.isEmpty() || !(message[0].isLetter() && message[0].unicode() < 128))
        return message;
    const QFileInfo info(path);
    const auto says = [&message](const char* words) {
        return message.startsWith(QLatin1String(words));
    };
    const bool present = info.exists() || info.isSymLink();
    const QString folder = present ? info.absolutePath() : existingFolder(path);
    QString reason = QStringLiteral("数据库出错");
    if (!drugs && info.isDir())
        reason = folderInTheWay();
    else if (!drugs && (says("unable to open") || says("attempt to write")) && !writableFolder(folder))
        reason = unwritableFolder(folder, present);
    else if (!present)
        reason = QStringLiteral("文件不存在");
    else if (info.isDir())
        reason = QStringLiteral("这是一个文件夹，不是药品数据库文件");
    else if (!readable(path))
        reason = drugs ? QStringLiteral("没有读取这个文件的权限")
                       : QStringLiteral("没有读取这个文件的权限：请让它属于您并可读写（chmod u+rw）");
    else if (says("file is encrypted") || says("file is not a database"))
        reason =
            drugs ? QStringLiteral("不是药品数据库，或文件已损坏") : QStringLiteral("不是本程序的数据库，或文件已损坏");
    else if (message.contains(QLatin1String("malformed")))
        reason = QStringLiteral("文件已损坏，无法读取");
    else if (says("attempt to write a readonly database"))
        reason = drugs ? QStringLiteral("文件是只读的，不能修改：请让它可写（例如 chmod u+w）后再试")
                       : QStringLiteral("文件是只读的，只能查看，不能修改：请让它可写（chmod u+w；以 chattr +i "
                                        "锁住的用 chattr -i）后再试");
    else if (says("database is locked") || says("database table is locked"))
        reason = QStringLiteral("文件正被另一个程序使用，请稍后再试");
    else if (says("database or disk is full"))
        reason = QStringLiteral("磁盘已满，无法写入");
    else if (says("disk I/O error"))
        reason = QStringLiteral("读写文件时出错");
    else if (says("no such table"))
        reason = drugs ? QStringLiteral("文件中没有药品表，不是药品数据库或文件已损坏") : QStringLiteral("文件已损坏");
    else if (says("unable to open"))
        reason = QStringLiteral("无法打开文件");
    const QString said = QStringLiteral("%1（%2）").arg(reason, message);
    return drugs ? said : userFileMessage(path, said);
}
