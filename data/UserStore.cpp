#include "data/UserStore.h"

#include "data/DatabaseError.h"
#include "data/OwnersFiles.h"
#include "data/Statement.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStandardPaths>

#include <algorithm>

namespace {

const QString FavouritesTable = QStringLiteral("收藏");
const QString RecentTable = QStringLiteral("最近查看");
const QString NotesTable = QStringLiteral("笔记");

// The store's tables, from which they are made and against which a file's are checked. Every
// column is NOT NULL; the key is the drug's names.
struct StoreColumn {
    QString name;
    QString type;
    int keyPart; // 1-based place in the primary key, 0 outside it
};
struct StoreTable {
    QString name;
    QList<StoreColumn> columns;
};

const QList<StoreTable>& storeTables() {
    // The rows' 顺序 keeps the order they were written in.
    const StoreColumn chinese{QStringLiteral("中文名"), QStringLiteral("TEXT"), 1};
    const StoreColumn english{QStringLiteral("英文名"), QStringLiteral("TEXT"), 2};
    const StoreColumn order{QStringLiteral("顺序"), QStringLiteral("INTEGER"), 0};
    static const QList<StoreTable> tables{
        {FavouritesTable, {chinese, english, order}},
        {RecentTable, {chinese, english, order}},
        {NotesTable, {chinese, english, {QStringLiteral("内容"), QStringLiteral("TEXT"), 0}, order}},
    };
    return tables;
}

QString tableSchema(const StoreTable& table) {
    QStringList columns;
    QStringList key;
    for (const StoreColumn& column : table.columns) {
        columns.append(QStringLiteral("%1 %2 NOT NULL").arg(quotedIdentifier(column.name), column.type));
        if (column.keyPart > 0)
            key.append(quotedIdentifier(column.name));
    }
    return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2, PRIMARY KEY (%3))")
        .arg(quotedIdentifier(table.name), columns.join(QStringLiteral(", ")), key.join(QStringLiteral(", ")));
}

// Whether the file's table has the columns and key the store's statements rely on. Columns added
// by a later edition are left alone as long as a row can be written without them.
bool hasItsShape(const DrugConnection& connection, const StoreTable& table) {
    // cid, name, type, notnull, dflt_value, pk
    Statement info(connection, QStringLiteral("PRAGMA table_info(%1)").arg(quotedIdentifier(table.name)));
    int found = 0;
    while (info.step()) {
        const QString name = info.column(1).toText();
        const bool notNull = info.column(3).integer().value_or(0) != 0;
        const int keyPart = static_cast<int>(info.column(5).integer().value_or(0));
        const auto expected = std::find_if(table.columns.cbegin(), table.columns.cend(),
                                           [&name](const StoreColumn& column) { return column.name == name; });
        if (expected == table.columns.cend()) {
            if (keyPart > 0 || (notNull && info.column(4).isNull()))
                return false;
            continue;
        }
        if (info.column(2).toText().compare(expected->type, Qt::CaseInsensitive) != 0 || !notNull ||
            keyPart != expected->keyPart)
            return false;
        ++found;
    }
    return found == table.columns.size();
}

// A name beside path that no file has, its logs' names included: path.损坏-YYYYMMDD-HHMMSS, then
// -2, -3 ….
QString setAsideName(const QString& path) {
    const QString stamped =
        path + QStringLiteral(".损坏-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const auto taken = [](const QString& name) {
        for (const QString& file : {name, name + QStringLiteral("-wal"), name + QStringLiteral("-journal")}) {
            if (QFileInfo::exists(file) || QFileInfo(file).isSymLink())
                return true;
        }
        return false;
    };
    QString name = stamped;
    for (int n = 2; taken(name); ++n)
        name = stamped + QStringLiteral("-%1").arg(n);
    return name;
}

// The engine's words (kept in the Chinese message) for a file that holds no database.
bool isDamage(const QString& message) {
    for (const char* words : {"file is not a database", "file is encrypted", "malformed"}) {
        if (message.contains(QLatin1String(words)))
            return true;
    }
    return false;
}

// Runs work; the engine's failures come out in Chinese, naming the file.
template <typename Work> auto told(const QString& path, Work&& work) {
    try {
        return work();
    } catch (const DatabaseError& error) {
        throw DatabaseError(fileFailureMessage(path, error.message(), FileKind::User));
    }
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
    const QString fault = open();
    if (!fault.isEmpty())
        setAsideAndRenew(fault);
}

QString UserStore::defaultPath() {
    // Not AppDataLocation: the program and xiyao-db must find the same file whatever their
    // application names.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("xiyao/user-store.db"));
}

QString UserStore::open() {
    makeOwnersFile(m_path);
    try {
        m_connection.openUserFile(m_path);
        return storeFault();
    } catch (const DatabaseError& error) {
        // Only a file that is no store is set aside; a locked or read-only store is the user's
        // still, and the failure is told instead.
        if (isDamage(error.message()) && QFileInfo(m_path).isFile())
            return QStringLiteral("文件已损坏，或不是本程序的文件（%1）").arg(error.message());
        m_connection.close();
        throw DatabaseError(fileFailureMessage(m_path, error.message(), FileKind::User));
    }
}

QString UserStore::storeFault() {
    for (bool made = false;; made = true) {
        // One read of the whole file, which no other program's commit splits.
        m_connection.execute(QStringLiteral("BEGIN"));
        QStringList tables;
        QStringList faults;
        try {
            Statement check(m_connection, QStringLiteral("PRAGMA quick_check"));
            if (check.step() && check.column(0).toText() != QLatin1String("ok"))
                faults.append(QStringLiteral("文件已损坏（%1）").arg(check.column(0).toText().simplified().left(200)));
            Statement names(m_connection, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"));
            while (names.step())
                tables.append(names.column(0).toText());
            bool ours = false;
            for (const StoreTable& table : storeTables()) {
                if (!tables.contains(table.name))
                    faults.append(QStringLiteral("没有表“%1”").arg(table.name));
                else if (!hasItsShape(m_connection, table))
                    faults.append(QStringLiteral("表“%1”的结构不对").arg(table.name));
                ours = ours || tables.contains(table.name);
            }
            if (!ours && !tables.isEmpty())
                faults = QStringList{
                    QStringLiteral("这是另一个程序的数据库（其中的表：%1）").arg(tables.join(QStringLiteral("、")))};
            m_connection.commit();
        } catch (const DatabaseError&) {
            m_connection.rollback();
            throw;
        }
        if (!tables.isEmpty() || made)
            return faults.join(QStringLiteral("；"));
        // A new file: made whole in one transaction, or left empty. Another program may be
        // making it at the same moment; whichever comes second finds the tables there.
        inTransaction([this] {
            for (const StoreTable& table : storeTables())
                m_connection.execute(tableSchema(table));
        });
    }
}

void UserStore::setAsideAndRenew(const QString& fault) {
    m_connection.close();
    // Never lost: the file stays whole under a name of its own, and its log beside it, which
    // must not be read into the new store. The index of the log is made again from the log.
    const QString aside = setAsideName(m_path);
    bool moved = QFile::rename(m_path, aside);
    for (const QString& log : {QStringLiteral("-wal"), QStringLiteral("-journal")}) {
        if (moved && QFileInfo::exists(m_path + log))
            moved = QFile::rename(m_path + log, aside + log);
    }
    if (!moved)
        throw DatabaseError(QStringLiteral("收藏和笔记文件 %1 无法读取（%2），也无法改名为 %3 保存：请把它移走后再试")
                                .arg(QDir::toNativeSeparators(m_path), fault, QDir::toNativeSeparators(aside)));
    QFile::remove(m_path + QStringLiteral("-shm"));
    m_setAside = QStringLiteral("您的收藏和笔记文件 %1 无法读取（%2），已改名为 %3 保存，并新建了一个。")
                     .arg(QDir::toNativeSeparators(m_path), fault, QDir::toNativeSeparators(aside));
    const QString again = open();
    if (!again.isEmpty())
        throw DatabaseError(again);
}

bool UserStore::isFavourite(const DrugNames& drug) {
    return told(m_path, [&] {
        Statement select(m_connection,
                         QStringLiteral("SELECT 1 FROM \"%1\" WHERE 中文名 = ?1 AND 英文名 = ?2").arg(FavouritesTable));
        select.bind(1, Cell(drug.chineseName));
        select.bind(2, Cell(drug.englishName));
        return select.step();
    });
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
    return newestFirst(FavouritesTable);
}

QList<DrugNames> UserStore::newestFirst(const QString& table) {
    return told(m_path, [&] {
        Statement select(m_connection,
                         QStringLiteral("SELECT 中文名, 英文名 FROM \"%1\" ORDER BY 顺序 DESC").arg(table));
        return namesOf(select);
    });
}

void UserStore::recordViewed(const DrugNames& drug) {
    // 最近查看 is a trail the row clicks leave, not what the user wrote: its commit is not waited
    // for on the disk, which would slow every click. A killed program keeps it all the same (the
    // system holds the written pages); only a power cut may lose the last few. Inside a caller's
    // transaction the caller's commit decides, and the engine refuses the change there anyway.
    const bool ownCommit = m_transactions == 0;
    if (ownCommit)
        m_connection.execute(QStringLiteral("PRAGMA synchronous = NORMAL"));
    const auto synced = qScopeGuard([this, ownCommit] {
        if (!ownCommit)
            return;
        try {
            m_connection.execute(QStringLiteral("PRAGMA synchronous = FULL"));
        } catch (const DatabaseError&) {
            m_connection.close(); // never left writing notes without the sync: the next use fails
        }
    });
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
    return newestFirst(RecentTable);
}

QString UserStore::note(const DrugNames& drug) {
    return told(m_path, [&] {
        Statement select(m_connection,
                         QStringLiteral("SELECT 内容 FROM \"%1\" WHERE 中文名 = ?1 AND 英文名 = ?2").arg(NotesTable));
        select.bind(1, Cell(drug.chineseName));
        select.bind(2, Cell(drug.englishName));
        return select.step() ? select.column(0).toText() : QString();
    });
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
    // Inside another, a savepoint: a part that failed and was caught leaves nothing behind.
    const bool outermost = m_transactions == 0;
    told(m_path, [&] {
        if (outermost)
            m_connection.beginTransaction();
        else
            m_connection.execute(QStringLiteral("SAVEPOINT part"));
    });
    ++m_transactions;
    try {
        work();
        told(m_path, [&] {
            if (outermost)
                m_connection.commit();
            else
                m_connection.execute(QStringLiteral("RELEASE part"));
        });
        --m_transactions;
    } catch (...) {
        --m_transactions;
        if (outermost) {
            m_connection.rollback();
        } else {
            try {
                m_connection.execute(QStringLiteral("ROLLBACK TO part"));
                m_connection.execute(QStringLiteral("RELEASE part"));
            } catch (const DatabaseError&) {
                // The outermost transaction is undone by the engine already, or will be.
            }
        }
        throw;
    }
}

void UserStore::run(const QString& sql, const QList<Cell>& values) {
    told(m_path, [&] {
        Statement statement(m_connection, sql);
        for (qsizetype i = 0; i < values.size(); ++i)
            statement.bind(int(i + 1), values[i]);
        statement.step();
    });
}

QList<UserNote> UserStore::notes() {
    return told(m_path, [&] {
        Statement select(m_connection,
                         QStringLiteral("SELECT 中文名, 英文名, 内容 FROM \"%1\" ORDER BY 顺序").arg(NotesTable));
        QList<UserNote> notes;
        while (select.step())
            notes.append({{select.column(0).toText(), select.column(1).toText()}, select.column(2).toText()});
        return notes;
    });
}
