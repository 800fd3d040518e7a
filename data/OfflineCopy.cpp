#include "data/OfflineCopy.h"

#include "data/DatabaseError.h"
#include "data/DrugConnection.h"
#include "data/DrugRows.h"
#include "data/DrugSchema.h"
#include "data/OwnersFiles.h"
#include "data/ServerConnection.h"
#include "data/ServerSchema.h"
#include "data/Statement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSet>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// Written beside the copy and renamed over it; its name never ends like a copy's.
QString temporaryPath(const QString& path) {
    return path + QStringLiteral(".新");
}

// The engine's log beside a file, left there by a program killed while it wrote.
QString journalPath(const QString& path) {
    return path + QStringLiteral("-journal");
}

void removeTemporary(const QString& temporary) {
    QFile::remove(temporary);
    QFile::remove(journalPath(temporary));
}

// Puts what was written to a file or a folder (a rename in it) on the disk.
bool synced(const QString& path) {
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    const bool done = ::fsync(descriptor) == 0;
    ::close(descriptor);
    return done;
}

// The server's fingerprint of its tables kept beside the copy, in a file that also takes turns
// between refreshes: whoever holds it may take a temporary file found beside the copy for one a
// killed refresh left. A file system without locks (some network shares) leaves two refreshes at
// once unguarded, which one program's single worker never starts.
class Fingerprint {
public:
    explicit Fingerprint(const QString& copy)
        : m_path(copy + QStringLiteral(".fingerprint")) {
        m_descriptor = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_descriptor < 0) {
            throw DatabaseError(QStringLiteral("无法打开离线副本的记录文件 %1（%2）")
                                    .arg(QDir::toNativeSeparators(m_path), qt_error_string(errno)));
        }
        while (::flock(m_descriptor, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~Fingerprint() { ::close(m_descriptor); }
    Fingerprint(const Fingerprint&) = delete;
    Fingerprint& operator=(const Fingerprint&) = delete;

    QByteArray read() const {
        QByteArray kept(MaxSize, '\0');
        const ssize_t length = ::pread(m_descriptor, kept.data(), size_t(kept.size()), 0);
        return kept.left(length > 0 ? length : 0);
    }
    // Before the copy is replaced: no fingerprint ever stands beside a copy it does not describe.
    void clear() {
        if (::ftruncate(m_descriptor, 0) != 0 || ::fsync(m_descriptor) != 0) {
            throw DatabaseError(QStringLiteral("无法清除离线副本的记录文件 %1（%2）")
                                    .arg(QDir::toNativeSeparators(m_path), qt_error_string(errno)));
        }
    }
    // After it: one that fails to be kept only makes the next refresh write the copy again.
    void write(const QByteArray& fingerprint) {
        if (::pwrite(m_descriptor, fingerprint.constData(), size_t(fingerprint.size()), 0) == fingerprint.size())
            ::fsync(m_descriptor);
    }

private:
    static constexpr qsizetype MaxSize = 1024;
    QString m_path;
    int m_descriptor = -1;
};

// What the server holds, in numbers it computes inside the snapshot: a drug or an item added,
// deleted or changed moves at least one of them. xmin, the transaction that wrote a row's version,
// moves with any change of the row, also one made by hand without raising its revision.
QByteArray serverFingerprint(ServerConnection& server, bool hasInfo) {
    const QString key = quotedIdentifier(KeyColumn);
    const ServerResult drugs =
        server.execute(QStringLiteral("SELECT count(*), max(%1), sum(%1), sum(%2), sum(xmin::text::bigint) FROM %3")
                           .arg(key, quotedIdentifier(RevisionColumn), quotedIdentifier(DrugTableName)));
    // The format's own number first, so that another way of writing the copy never passes for this one.
    QByteArrayList parts{"1"};
    for (int column = 0; column < drugs.columnCount(); ++column)
        parts.append(drugs.utf8(0, column).toByteArray());
    if (hasInfo) {
        const ServerResult info = server.execute(QStringLiteral("SELECT count(*), sum(xmin::text::bigint) FROM %1")
                                                     .arg(quotedIdentifier(DataInfoTableName)));
        parts.append({info.utf8(0, 0).toByteArray(), info.utf8(0, 1).toByteArray()});
    } else {
        parts.append("-");
    }
    return parts.join(' ') + '\n';
}

// Whether the copy at path is what the fingerprint describes: kept beside it, and a drug file that opens.
bool copyHolds(const QString& path, const Fingerprint& kept, const QByteArray& fingerprint) {
    if (kept.read() != fingerprint)
        return false;
    try {
        DrugConnection copy;
        copy.openFile(path, DrugPassword);
        return true;
    } catch (const DatabaseError&) {
        return false;
    }
}

// The server's drugs into the file's drug table in the order of their keys, a batch at a time
// (DrugRows), so that a large list never sits in memory whole.
void copyDrugs(ServerConnection& server, DrugConnection& file, const std::atomic<bool>* stop) {
    const QStringList columns = serverDrugColumns();
    QStringList marks;
    for (qsizetype i = 1; i <= columns.size(); ++i)
        marks.append(QStringLiteral("?%1").arg(i));
    Statement insert(file, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                               .arg(quotedIdentifier(DrugTableName), quotedIdentifiers(columns), marks.join(u',')));
    DrugRows rows(server, columns);
    while (rows.next()) {
        if (stop && stop->load())
            throw DatabaseError(QStringLiteral("程序正在退出"));
        for (int column = 0; column < columns.size(); ++column)
            insert.bind(column + 1, rows.value(column));
        insert.step();
        insert.reset();
    }
}

void copyInfo(ServerConnection& server, DrugConnection& file) {
    const QString item = quotedIdentifier(DataInfoItemColumn);
    const QString value = quotedIdentifier(DataInfoValueColumn);
    const QString table = quotedIdentifier(DataInfoTableName);
    const ServerResult items =
        server.execute(QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY %1").arg(item, value, table));
    file.execute(DataInfoTableSchema);
    Statement insert(file, QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (?1, ?2)").arg(table, item, value));
    QSet<QString> seen;
    for (int row = 0; row < items.rowCount(); ++row) {
        const Cell name = items.isNull(row, 0) ? Cell::null() : Cell(storedText(items.utf8(row, 0)));
        // A hand-made table without its key may hold an item twice; the file's holds each once.
        if (!name.isNull()) {
            if (seen.contains(name.toText())) {
                throw DatabaseError(QStringLiteral("服务器上的“%1”表中项目“%2”有不止一行，药品文件中每个项目只能有一行")
                                        .arg(DataInfoTableName, name.toText()));
            }
            seen.insert(name.toText());
        }
        insert.bind(1, name);
        insert.bind(2, items.isNull(row, 1) ? Cell::null() : Cell(storedText(items.utf8(row, 1))));
        insert.step();
        insert.reset();
    }
}

// The new copy, complete and on the disk, in a file that nobody reads yet.
void writeCopy(ServerConnection& server, bool hasInfo, const QString& temporary, const std::atomic<bool>* stop) {
    try {
        DrugConnection file;
        file.createFile(temporary, DrugPassword);
        keepToOwner(temporary);
        file.beginTransaction();
        copyDrugs(server, file, stop);
        if (hasInfo)
            copyInfo(server, file);
        file.commit();
        file.close();
    } catch (const ServerError&) {
        throw;
    } catch (const DatabaseError& error) {
        // Said while the file is still there for the words to look at.
        throw DatabaseError(fileFailureMessage(temporary, error.message()));
    }
    if (!synced(temporary))
        throw DatabaseError(QStringLiteral("无法把新副本写到磁盘上（%1）").arg(qt_error_string(errno)));
}

QString notRefreshed(const QString& path, const QString& reason) {
    return QStringLiteral("离线副本 %1 没有更新：%2").arg(QDir::toNativeSeparators(path), reason);
}

} // namespace

QString offlineCopyPath() {
    // Beside the user's store, for the same reasons: the program and its tools find one folder.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("xiyao/server-copy/") + DrugFileName);
}

CopyRefresh refreshOfflineCopy(ServerConnection& server, const QString& path, const std::atomic<bool>* stop) {
    try {
        // Its own transaction: a caller's would end with it.
        if (server.inTransaction())
            throw ServerError(QStringLiteral("连接正在进行另一个事务"), {}, false);
        makeOwnersFolders(path);
        Fingerprint kept(path);
        // One snapshot: the drugs and the information of one moment, whatever the seats write meanwhile.
        server.execute(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
        const auto ended = qScopeGuard([&server] { server.rollback(); });
        requireUsableServerTables(server);
        const bool hasInfo = serverHasTable(server, DataInfoTableName);
        const QByteArray fingerprint = serverFingerprint(server, hasInfo);
        if (copyHolds(path, kept, fingerprint))
            return CopyRefresh::Unchanged;

        const QString temporary = temporaryPath(path);
        removeTemporary(temporary);
        auto removed = qScopeGuard([&temporary] { removeTemporary(temporary); });
        writeCopy(server, hasInfo, temporary, stop);
        kept.clear();
        if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) != 0)
            throw DatabaseError(QStringLiteral("无法用新副本替换原来的副本（%1）").arg(qt_error_string(errno)));
        removed.dismiss();
        synced(QFileInfo(path).absolutePath());
        kept.write(fingerprint);
        return CopyRefresh::Written;
    } catch (const ServerError& error) {
        throw ServerError(notRefreshed(path, error.message()), error.sqlState(), error.connectionLost());
    } catch (const DatabaseError& error) {
        throw DatabaseError(notRefreshed(path, error.message()));
    }
}
