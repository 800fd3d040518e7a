#include "data/UserStore.h"

#include "data/DatabaseError.h"
#include "data/Statement.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString FavouritesTable = QStringLiteral("收藏");
const QString RecentTable = QStringLiteral("最近查看");
const QString NotesTable = QStringLiteral("笔记");

// Made with the owner's permissions alone before the engine sees it: the engine gives its log
// files the same.
void makeOwnersFile(const QString& path) {
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        throw DatabaseError(QStringLiteral("无法建立文件夹 %1").arg(QDir::toNativeSeparators(info.absolutePath())));
    QFile::setPermissions(info.absolutePath(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor >= 0)
        ::close(descriptor);
}

// A name beside path that no file has: path.损坏-YYYYMMDD-HHMMSS, then -2, -3 ….
QString setAsideName(const QString& path) {
    const QString stamped =
        path + QStringLiteral(".损坏-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = stamped;
    for (int n = 2; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++n)
        name = stamped + QStringLiteral("-%1").arg(n);
    return name;
}

// The engine's words (kept in the Chinese message) for a file that holds no store; the check
// of the tables' columns fails with "no such column".
bool isDamage(const QString& message) {
    for (const char* words : {"file is not a database", "file is encrypted", "malformed", "no such column"}) {
        if (message.contains(QLatin1String(words)))
            return true;
    }
    return false;
}

QList<DrugNames> namesOf(Statement& select) {
    QList<DrugNames> names;
    while (select.step())
        names.append({select.column(0).toText(), select.column(1).toText()});
    return names;
}

} // namespace

UserStore::UserStore(const QString& path)
    : m_path(path) {
    m_connection.setBusyTimeout(std::chrono::seconds(2));
    try {
        open();
    } catch (const DatabaseError& error) {
        // Only a file that is no store is set aside; a locked or read-only store is the user's
        // still, and the failure is told instead.
        if (!QFileInfo(path).isFile() || !isDamage(error.message()))
            throw;
        // Never lost: the file stays whole under a name of its own.
        const QString aside = setAsideName(path);
        m_connection.close();
        for (const QString& log : {QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(path + log);
        if (!QFile::rename(path, aside))
            throw;
        m_setAside = QStringLiteral("您的收藏和笔记文件 %1 无法读取（%2），已改名为 %3 保存，并新建了一个。")
                         .arg(QDir::toNativeSeparators(path), error.message(), QDir::toNativeSeparators(aside));
        open();
    }
}

QString UserStore::defaultPath() {
    // Not AppDataLocation: the program and xiyao-db must find the same file whatever their
    // application names.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("xiyao/user-store.db"));
}

void UserStore::open() {
    makeOwnersFile(m_path);
    m_connection.openUserFile(m_path);
    makeTables();
}

void UserStore::makeTables() {
    // The rows' 顺序 keeps the order they were written in; a table of another shape under one of
    // these names fails the first statement that reads it, as a damaged file does.
    for (const QString& table : {FavouritesTable, RecentTable}) {
        m_connection.execute(QStringLiteral("CREATE TABLE IF NOT EXISTS \"%1\" (中文名 TEXT NOT NULL, 英文名 TEXT NOT "
                                            "NULL, 顺序 INTEGER NOT NULL, PRIMARY KEY (中文名, 英文名))")
                                 .arg(table));
    }
    m_connection.execute(
        QStringLiteral("CREATE TABLE IF NOT EXISTS \"%1\" (中文名 TEXT NOT NULL, 英文名 TEXT NOT NULL, "
                       "内容 TEXT NOT NULL, 顺序 INTEGER NOT NULL, PRIMARY KEY (中文名, 英文名))")
            .arg(NotesTable));
    for (const QString& table : {FavouritesTable, RecentTable, NotesTable}) {
        Statement check(m_connection, QStringLiteral("SELECT 中文名, 英文名, 顺序 FROM \"%1\" LIMIT 1").arg(table));
        check.step();
    }
}

bool UserStore::isFavourite(const DrugNames& drug) {
    Statement select(m_connection,
                     QStringLiteral("SELECT 1 FROM \"%1\" WHERE 中文名 = ?1 AND 英文名 = ?2").arg(FavouritesTable));
    select.bind(1, Cell(drug.chineseName));
    select.bind(2, Cell(drug.englishName));
    return select.step();
}

void UserStore::setFavourite(const DrugNames& drug, bool favourite) {
    const QList<Cell> names{Cell(drug.chineseName), Cell(drug.englishName)};
    if (favourite)
        // One statement, so that two programs marking at once cannot take the same number.
        run(QStringLiteral("INSERT OR IGNORE INTO \"%1\" (中文名, 英文名, 顺序) "
                           "SELECT ?1, ?2, coalesce(max(顺序), 0) + 1 FROM \"%1\"")
                .arg(FavouritesTable),
            names);
    else
        run(QStringLiteral("DELETE FROM \"%1\" WHERE 中文名 = ?1 AND 英文名 = ?2").arg(FavouritesTable), names);
}

QList<DrugNames> UserStore::favourites() {
    Statement select(m_connection,
                     QStringLiteral("SELECT 中文名, 英文名 FROM \"%1\" ORDER BY 顺序 DESC").arg(FavouritesTable));
    return namesOf(select);
}

void UserStore::recordViewed(const DrugNames& drug) {
    inTransaction([&] {
        run(QStringLiteral("INSERT OR REPLACE INTO \"%1\" (中文名, 英文名, 顺序) "
                           "SELECT ?1, ?2, coalesce(max(顺序), 0) + 1 FROM \"%1\"")
                .arg(RecentTable),
            {Cell(drug.chineseName), Cell(drug.englishName)});
        run(QStringLiteral("DELETE FROM \"%1\" WHERE 顺序 NOT IN (SELECT 顺序 FROM \"%1\" ORDER BY 顺序 DESC LIMIT %2)")
                .arg(RecentTable)
                .arg(RecentKept));
    });
}

QList<DrugNames> UserStore::recent() {
    Statement select(m_connection,
                     QStringLiteral("SELECT 中文名, 英文名 FROM \"%1\" ORDER BY 顺序 DESC").arg(RecentTable));
    return namesOf(select);
}

QString UserStore::note(const DrugNames& drug) {
    Statement select(m_connection,
                     QStringLiteral("SELECT 内容 FROM \"%1\" WHERE 中文名 = ?1 AND 英文名 = ?2").arg(NotesTable));
    select.bind(1, Cell(drug.chineseName));
    select.bind(2, Cell(drug.englishName));
    return select.step() ? select.column(0).toText() : QString();
}

void UserStore::setNote(const DrugNames& drug, const QString& text) {
    inTransaction([&] { writeNote(drug, text); });
}

void UserStore::writeNote(const DrugNames& drug, const QString& text) {
    const QList<Cell> names{Cell(drug.chineseName), Cell(drug.englishName)};
    if (text.isEmpty()) {
        run(QStringLiteral("DELETE FROM \"%1\" WHERE 中文名 = ?1 AND 英文名 = ?2").arg(NotesTable), names);
        return;
    }
    // A note keeps its place in the order when it is written again.
    run(QStringLiteral("INSERT OR IGNORE INTO \"%1\" (中文名, 英文名, 内容, 顺序) "
                       "SELECT ?1, ?2, ?3, coalesce(max(顺序), 0) + 1 FROM \"%1\"")
            .arg(NotesTable),
        names + QList<Cell>{Cell(text)});
    run(QStringLiteral("UPDATE \"%1\" SET 内容 = ?3 WHERE 中文名 = ?1 AND 英文名 = ?2").arg(NotesTable),
        names + QList<Cell>{Cell(text)});
}

void UserStore::moveNote(const DrugNames& from, const DrugNames& to) {
    if (from == to)
        return;
    inTransaction([&] {
        const QString moved = note(from);
        const QString there = note(to);
        if (moved.isEmpty())
            return;
        writeNote(to, there.isEmpty() ? moved : there + QStringLiteral("\n") + moved);
        writeNote(from, QString());
    });
}

void UserStore::inTransaction(const std::function<void()>& work) {
    m_connection.beginTransaction();
    try {
        work();
        m_connection.commit();
    } catch (const DatabaseError&) {
        m_connection.rollback();
        throw;
    }
}

void UserStore::run(const QString& sql, const QList<Cell>& values) {
    Statement statement(m_connection, sql);
    for (qsizetype i = 0; i < values.size(); ++i)
        statement.bind(int(i + 1), values[i]);
    statement.step();
}

QList<UserNote> UserStore::notes() {
    Statement select(m_connection,
                     QStringLiteral("SELECT 中文名, 英文名, 内容 FROM \"%1\" ORDER BY 顺序").arg(NotesTable));
    QList<UserNote> notes;
    while (select.step())
        notes.append({{select.column(0).toText(), select.column(1).toText()}, select.column(2).toText()});
    return notes;
}
