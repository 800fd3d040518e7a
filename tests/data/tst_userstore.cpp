#include "data/DatabaseError.h"
#include "data/DrugConnection.h"
#include "data/Statement.h"
#include "tests/data/UserStoreWrites.h"
#include "tests/support/CrashRounds.h"
#include "tests/support/DrugFileFixture.h"
#include "tests/support/ReadOnlyFile.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QtTest>

#include <optional>
#include <stdexcept>
#include <sys/stat.h>

namespace {

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeBytes(const QString& path, const QByteArray& content) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
}

int modeOf(const QString& path) {
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
}

// The files set aside beside path, by name; their logs are left out.
QStringList setAsideBeside(const QString& path) {
    const QFileInfo info(path);
    QStringList names = QDir(info.absolutePath())
                            .entryList({info.fileName() + QStringLiteral(".损坏-*")}, QDir::AllEntries, QDir::Name);
    names.removeIf([](const QString& name) { return name.endsWith(QLatin1String("-wal")); });
    return names;
}

// Runs each statement of sql, split at semicolons, on the plain database file at path.
void runSql(const QString& path, const QString& sql) {
    DrugConnection connection;
    connection.openUserFile(path);
    for (const QString& statement : sql.split(u';', Qt::SkipEmptyParts))
        connection.execute(statement);
}

// A store of a few notes, favourites and viewed drugs, closed again so that all of it is in
// its file and none in the log beside it.
constexpr int Filled = 12;
void fillStore(const QString& path) {
    UserStore store(path);
    store.inTransaction([&] {
        for (int k = 0; k < Filled; ++k) {
            store.setNote(writtenDrug(QStringLiteral("填"), k), writtenNote(QStringLiteral("填"), k));
            store.setFavourite(writtenDrug(QStringLiteral("填"), k), true);
            store.recordViewed(writtenDrug(QStringLiteral("填"), k));
        }
    });
}

QList<UserNote> filledNotes() {
    QList<UserNote> notes;
    for (int k = 0; k < Filled; ++k)
        notes.append({writtenDrug(QStringLiteral("填"), k), writtenNote(QStringLiteral("填"), k)});
    return notes;
}

// The message of the DatabaseError that work throws; empty when it throws none.
template <typename Work> QString failureOf(Work work) {
    try {
        work();
    } catch (const DatabaseError& error) {
        return error.message().isEmpty() ? QStringLiteral("<empty message>") : error.message();
    }
    return {};
}

// A shell of the engine holding the store's write lock, until destroyed.
class LockHolder {
public:
    explicit LockHolder(const QString& path) {
        QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlcipher"));
        if (shell.isEmpty())
            shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
        if (shell.isEmpty())
            return;
        m_shell.start(shell, {path});
        m_shell.write("BEGIN EXCLUSIVE;\nSELECT 'locked';\n");
        QByteArray output;
        while (!output.contains("locked") && m_shell.waitForReadyRead(10000))
            output += m_shell.readAllStandardOutput();
        m_holding = output.contains("locked");
    }
    ~LockHolder() {
        m_shell.closeWriteChannel();
        if (!m_shell.waitForFinished(10000))
            m_shell.kill();
    }
    bool holding() const { return m_holding; }

private:
    QProcess m_shell;
    bool m_holding = false;
};

// The user's data folder is folder, until destroyed.
class DataHome {
public:
    explicit DataHome(const QString& folder)
        : m_before(qEnvironmentVariableIsSet("XDG_DATA_HOME") ? std::optional(qgetenv("XDG_DATA_HOME"))
                                                              : std::nullopt) {
        qputenv("XDG_DATA_HOME", QFile::encodeName(folder));
    }
    ~DataHome() {
        if (m_before)
            qputenv("XDG_DATA_HOME", *m_before);
        else
            qunsetenv("XDG_DATA_HOME");
    }

private:
    std::optional<QByteArray> m_before;
};

struct Reported {
    QList<int> notes;
    QList<int> favourites;
    QString errors;
};

// The child's whole lines; a line cut short by a kill is left out.
Reported readChildLines(const QByteArray& output) {
    Reported read;
    QList<QByteArray> lines = output.split('\n');
    lines.removeLast();
    for (const QByteArray& line : std::as_const(lines)) {
        const QString text = QString::fromUtf8(line);
        if (text.startsWith(QLatin1String("note ")))
            read.notes.append(text.mid(5).toInt());
        else if (text.startsWith(QLatin1String("favourite ")))
            read.favourites.append(text.mid(10).toInt());
        else if (text.startsWith(QLatin1String("error")))
            read.errors += text + u'\n';
    }
    return read;
}

// What a store holds of the children's writes, read once.
struct Held {
    QHash<QString, QString> notes; // by the drug's names
    QSet<QString> favourites;
    QString cutShort; // notes not written whole
};

QString keyOf(const DrugNames& drug) {
    return drug.chineseName + u'\n' + drug.englishName;
}

Held heldIn(UserStore& store) {
    Held held;
    for (const UserNote& note : store.notes()) {
        held.notes[keyOf(note.drug)] = note.text;
        const QString written = note.drug.englishName.section(u' ', -1);
        const QString prefix = written.section(u'-', 0, 0);
        const int k = written.section(u'-', 1).toInt();
        if (note.drug == writtenDrug(prefix, k) && note.text != writtenNote(prefix, k))
            held.cutShort += QStringLiteral("note %1 of %2 is not whole; ").arg(k).arg(prefix);
    }
    for (const DrugNames& drug : store.favourites())
        held.favourites.insert(keyOf(drug));
    return held;
}

// What the child wrote under prefix and reported stored that the store does not hold.
QString missingWrites(const Held& held, const QString& prefix, const Reported& reported) {
    QString missing;
    for (int k : reported.notes) {
        if (held.notes.value(keyOf(writtenDrug(prefix, k))) != writtenNote(prefix, k))
            missing += QStringLiteral("note %1 of %2; ").arg(k).arg(prefix);
    }
    for (int k : reported.favourites) {
        if (!held.favourites.contains(keyOf(writtenDrug(prefix, k))))
            missing += QStringLiteral("favourite %1 of %2; ").arg(k).arg(prefix);
    }
    return missing;
}

QString repeatsIn(const QList<DrugNames>& names) {
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (names.indexOf(names[i]) != i)
            return names[i].chineseName + QStringLiteral(" twice");
    }
    return {};
}

} // namespace

class TestUserStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void textsComeBackExactly_data();
    void textsComeBackExactly();
    void recentKeepsTheLastViewedOnce();
    void favouritesAndNotesKeepTheirOrder();
    void moveNote_data();
    void moveNote();
    void transactionsNest();
    void notAStoreIsSetAside_data();
    void notAStoreIsSetAside();
    void setAsideNeverOverwrites();
    void unusableStoreIsKept_data();
    void unusableStoreIsKept();
    void madeForItsOwnerOnly();
    void twoProgramsWriteAtOnce();
    void killedWhileWriting();

private:
    QString storePath() const { return m_dir->filePath(QStringLiteral("user-store.db")); }

    std::optional<QTemporaryDir> m_dir;
    QByteArray m_filled;
    QByteArray m_drugFile;
};

void TestUserStore::initTestCase() {
    QTemporaryDir dir;
    fillStore(dir.filePath(QStringLiteral("filled.db")));
    m_filled = bytesOf(dir.filePath(QStringLiteral("filled.db")));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("filled.db-wal"))));
    m_drugFile = DrugFileFixture().bytes();
}

void TestUserStore::init() {
    m_dir.emplace();
}

void TestUserStore::textsComeBackExactly_data() {
    QTest::addColumn<QString>("chineseName");
    QTest::addColumn<QString>("englishName");
    QTest::addColumn<QString>("note");
    QTest::addColumn<bool>("storable");
    QTest::newRow("basic plane") << QStringLiteral("阿莫西林胶囊") << QStringLiteral("Amoxicillin Capsules")
                                 << QStringLiteral("饭后服用；避免与“甲氨蝶呤”同服。") << true;
    QTest::newRow("no English name") << QStringLiteral("板蓝根颗粒") << QString() << QStringLiteral("冲服") << true;
    QTest::newRow("supplementary planes") << QStringLiteral("𠀀𪚥𰀀药") << QStringLiteral("𝔄𝔪𝔬𝔵 😀")
                                          << QStringLiteral("笔记 🧪𝄞 𠮷") << true;
    QTest::newRow("planes 14, 15 and 16")
        << QStringLiteral("药\U000E0101\U000E0001") << QStringLiteral("\U000F0000\U000FFFFD")
        << QStringLiteral("\U00100000\U0010FFFD\U000E007F") << true;
    QTest::newRow("quotes, NUL, BOM and line ends")
        << QStringLiteral("药\"'; DROP TABLE 笔记;--") << QStringLiteral("\uFEFFA\tB")
        << QString::fromUtf16(u"\uFEFFa\0b\r\nc\u2028", 9) << true;
    // A megabyte of UTF-8, from every plane in use.
    QTest::newRow("1 MB note") << QStringLiteral("长笔记药") << QStringLiteral("Long")
                               << QStringLiteral("第一行。💊𠮷\U000F0001\U0010FFFD\r\n").repeated(36000) << true;
    QTest::newRow("lone surrogate") << QStringLiteral("药") << QString() << QString(QChar(0xD800)) << false;
}

// What a user writes comes back exactly, also from the file when it is opened again; the names
// address the drug together.
void TestUserStore::textsComeBackExactly() {
    QFETCH(QString, chineseName);
    QFETCH(QString, englishName);
    QFETCH(QString, note);
    QFETCH(bool, storable);
    const DrugNames drug{chineseName, englishName};
    {
        UserStore store(storePath());
        QVERIFY(store.setAside().isEmpty());
        const QString failure = failureOf([&] { store.setNote(drug, note); });
        if (!storable) {
            QCOMPARE(failure, UnstorableTextMessage);
            QVERIFY(store.notes().isEmpty());
            return;
        }
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        store.setFavourite(drug, true);
        store.recordViewed(drug);
    }
    UserStore again(storePath());
    QVERIFY(again.setAside().isEmpty());
    QCOMPARE(again.note(drug), note);
    QCOMPARE(again.notes().size(), 1);
    QCOMPARE(again.notes().first().drug, drug);
    QCOMPARE(again.notes().first().text, note);
    QCOMPARE(again.favourites(), QList<DrugNames>{drug});
    QCOMPARE(again.recent(), QList<DrugNames>{drug});
    QVERIFY(again.isFavourite(drug));
    const DrugNames namesake{chineseName, englishName + u'x'};
    QVERIFY(!again.isFavourite(namesake));
    QVERIFY(again.note(namesake).isEmpty());
}

// The list holds each drug once, the newest first, and no more than RecentKept.
void TestUserStore::recentKeepsTheLastViewedOnce() {
    UserStore store(storePath());
    QList<DrugNames> expected;
    QList<int> viewed;
    for (int k = 0; k < UserStore::RecentKept + 10; ++k)
        viewed.append(k);
    viewed << 30 << UserStore::RecentKept + 9 << 3 << 30; // again: one in the list, one fallen out of it
    store.inTransaction([&] {
        for (int k : viewed) {
            const DrugNames drug = writtenDrug(QStringLiteral("看"), k);
            store.recordViewed(drug);
            expected.removeAll(drug);
            expected.prepend(drug);
            expected = expected.first(qMin<qsizetype>(expected.size(), UserStore::RecentKept));
        }
    });
    QCOMPARE(store.recent(), expected);
}

// Favourites come newest first, marking one again moves nothing; a note keeps the place where it
// was first written, until it is taken away.
void TestUserStore::favouritesAndNotesKeepTheirOrder() {
    UserStore store(storePath());
    const DrugNames a{QStringLiteral("甲药"), QStringLiteral("A")};
    const DrugNames b{QStringLiteral("乙药"), QString()};
    const DrugNames c{QStringLiteral("丙药"), QStringLiteral("C")};
    for (const DrugNames& drug : {a, b, c})
        store.setFavourite(drug, true);
    store.setFavourite(b, false);
    QVERIFY(!store.isFavourite(b));
    store.setFavourite(a, true);
    QCOMPARE(store.favourites(), (QList<DrugNames>{c, a}));
    store.setFavourite(b, true);
    QCOMPARE(store.favourites(), (QList<DrugNames>{b, c, a}));

    store.setNote(a, QStringLiteral("一"));
    store.setNote(b, QStringLiteral("二"));
    store.setNote(c, QStringLiteral("三"));
    store.setNote(a, QStringLiteral("一，改过"));
    store.setNote(b, QString());
    QVERIFY(store.note(b).isEmpty());
    store.setNote(b, QStringLiteral("二，又写"));
    QCOMPARE(
        store.notes(),
        (QList<UserNote>{{a, QStringLiteral("一，改过")}, {c, QStringLiteral("三")}, {b, QStringLiteral("二，又写")}}));
}

void TestUserStore::moveNote_data() {
    QTest::addColumn<QString>("fromNote");
    QTest::addColumn<QString>("toNote");
    QTest::addColumn<bool>("toItself");
    QTest::addColumn<QString>("expected");
    QTest::newRow("to a drug without a note")
        << QStringLiteral("旧版的笔记 𠀀") << QString() << false << QStringLiteral("旧版的笔记 𠀀");
    QTest::newRow("beside the note there")
        << QStringLiteral("旧") << QStringLiteral("新") << false << QStringLiteral("新\n旧");
    QTest::newRow("from a drug without a note") << QString() << QStringLiteral("新") << false << QStringLiteral("新");
    QTest::newRow("to itself") << QStringLiteral("旧") << QString() << true << QStringLiteral("旧");
}

// A note left without its drug (renamed in a new edition of the drug file) goes to the drug it
// now belongs to, and is not lost when that drug has a note of its own.
void TestUserStore::moveNote() {
    QFETCH(QString, fromNote);
    QFETCH(QString, toNote);
    QFETCH(bool, toItself);
    QFETCH(QString, expected);
    const DrugNames from{QStringLiteral("复方甘草片"), QStringLiteral("Compound Liquorice")};
    const DrugNames to = toItself ? from : DrugNames{QStringLiteral("复方甘草片（新）"), QString()};
    UserStore store(storePath());
    const DrugNames other{QStringLiteral("别的药"), QString()};
    store.setNote(other, QStringLiteral("不动"));
    store.setNote(from, fromNote);
    store.setNote(to, toItself ? fromNote : toNote);
    store.moveNote(from, to);
    QCOMPARE(store.note(to), expected);
    QCOMPARE(store.notes(), (QList<UserNote>{{other, QStringLiteral("不动")}, {to, expected}}));
}

// The calls that are a transaction of their own also run inside the caller's, and whatever
// ends the caller's work early leaves nothing of it and no lock behind.
void TestUserStore::transactionsNest() {
    UserStore store(storePath());
    const DrugNames a{QStringLiteral("甲药"), QString()};
    const DrugNames b{QStringLiteral("乙药"), QString()};
    const QString nested = failureOf([&] {
        store.inTransaction([&] {
            store.setNote(a, QStringLiteral("一"));
            store.moveNote(a, b);
            store.recordViewed(b);
        });
    });
    QVERIFY2(nested.isEmpty(), qPrintable(nested));
    QCOMPARE(store.note(b), QStringLiteral("一"));
    QCOMPARE(store.recent(), QList<DrugNames>{b});

    QVERIFY_THROWS_EXCEPTION(std::runtime_error, store.inTransaction([&] {
        store.setNote(a, QStringLiteral("不会留下"));
        throw std::runtime_error("the caller's own failure");
    }));
    QVERIFY(store.note(a).isEmpty());
    UserStore other(storePath());
    other.setBusyTimeout(ShortBusyTimeout);
    const QString written = failureOf([&] { other.setNote(a, QStringLiteral("另一个程序写的")); });
    QVERIFY2(written.isEmpty(), qPrintable(written));
    QCOMPARE(store.note(a), QStringLiteral("另一个程序写的"));
}

void TestUserStore::notAStoreIsSetAside_data() {
    QTest::addColumn<QByteArray>("content"); // the file, when not the filled store changed by sql
    QTest::addColumn<QString>("sql");
    QByteArray garbage(20000, '\0');
    for (qsizetype i = 0; i < garbage.size(); ++i)
        garbage[i] = char(i * 7919 % 251);
    QTest::newRow("garbage") << garbage << QString();
    QTest::newRow("a text") << QStringLiteral("收藏：阿莫西林\n").toUtf8() << QString();
    QTest::newRow("a drug file") << m_drugFile << QString();
    QTest::newRow("cut to 100 bytes") << m_filled.first(100) << QString();
    QTest::newRow("cut to its first page") << m_filled.first(4096) << QString();
    QTest::newRow("cut to half") << m_filled.first(m_filled.size() / 2) << QString();
    QTest::newRow("without its last page") << m_filled.first(m_filled.size() - 4096) << QString();
    QByteArray wiped = m_filled;
    const qsizetype middlePage = wiped.size() / 4096 / 2 * 4096;
    wiped.replace(middlePage, 4096, QByteArray(4096, '\0'));
    QTest::newRow("a page in the middle wiped") << wiped << QString();
    QTest::newRow("another program's database")
        << QByteArray()
        << QStringLiteral("DROP TABLE 收藏; DROP TABLE 最近查看; DROP TABLE 笔记; CREATE TABLE 病人 (姓名 TEXT);"
                          "INSERT INTO 病人 VALUES ('张三')");
    QTest::newRow("a table of another shape")
        << QByteArray() << QStringLiteral("DROP TABLE 笔记; CREATE TABLE 笔记 (内容 TEXT)");
    QTest::newRow("notes without their text")
        << QByteArray()
        << QStringLiteral("DROP TABLE 笔记; CREATE TABLE 笔记 (中文名 TEXT NOT NULL, 英文名 TEXT NOT NULL, "
                          "顺序 INTEGER NOT NULL, PRIMARY KEY (中文名, 英文名))");
    QTest::newRow("favourites without their key")
        << QByteArray()
        << QStringLiteral("DROP TABLE 收藏; CREATE TABLE 收藏 (中文名 TEXT NOT NULL, 英文名 TEXT NOT NULL, "
                          "顺序 INTEGER NOT NULL)");
}

// A file that holds no store is kept whole under a name of its own, and a new
// store takes its place; the user is told where the old one went.
void TestUserStore::notAStoreIsSetAside() {
    QFETCH(QByteArray, content);
    QFETCH(QString, sql);
    const QString path = storePath();
    writeBytes(path, content.isEmpty() ? m_filled : content);
    if (!sql.isEmpty())
        runSql(path, sql);
    const QByteArray before = bytesOf(path);

    UserStore store(path);
    const QStringList aside = setAsideBeside(path);
    QCOMPARE(aside.size(), 1);
    const QString asidePath = m_dir->filePath(aside.first());
    QVERIFY(
        QRegularExpression(QStringLiteral("^user-store\\.db\\.损坏-\\d{8}-\\d{6}$")).match(aside.first()).hasMatch());
    QCOMPARE(bytesOf(asidePath), before);
    QVERIFY2(store.setAside().contains(path) && store.setAside().contains(asidePath), qPrintable(store.setAside()));

    QVERIFY(store.notes().isEmpty() && store.favourites().isEmpty() && store.recent().isEmpty());
    const DrugNames drug{QStringLiteral("新药"), QString()};
    store.setNote(drug, QStringLiteral("新的笔记"));
    UserStore again(path);
    QVERIFY2(again.setAside().isEmpty(), qPrintable(again.setAside()));
    QCOMPARE(again.note(drug), QStringLiteral("新的笔记"));
}

// Each file set aside keeps its name; a later one takes the next free name.
void TestUserStore::setAsideNeverOverwrites() {
    const QString path = storePath();
    QMap<QString, QByteArray> earlier;
    const QDateTime now = QDateTime::currentDateTime();
    for (int second = 0; second < 3; ++second) {
        const QString stamped =
            path + QStringLiteral(".损坏-") + now.addSecs(second).toString(QStringLiteral("yyyyMMdd-HHmmss"));
        for (const QString& name : {stamped, stamped + QStringLiteral("-2")}) {
            earlier[name] = name.toUtf8();
            writeBytes(name, earlier[name]);
        }
    }
    QSet<QString> asideNames;
    for (const QByteArray& damaged : {QByteArray("第一个坏文件"), QByteArray("第二个坏文件")}) {
        writeBytes(path, damaged);
        const QString setAside = UserStore(path).setAside();
        QStringList names = setAsideBeside(path);
        QCOMPARE(names.size(), earlier.size() + asideNames.size() + 1);
        for (const QString& name : names) {
            const QString file = m_dir->filePath(name);
            if (!earlier.contains(file) && !asideNames.contains(file)) {
                QVERIFY2(setAside.contains(file), qPrintable(setAside));
                QCOMPARE(bytesOf(file), damaged);
                asideNames.insert(file);
            }
        }
    }
    QCOMPARE(asideNames.size(), 2);
    for (auto it = earlier.cbegin(); it != earlier.cend(); ++it)
        QCOMPARE(bytesOf(it.key()), it.value());
}

enum class Obstacle { Locked, ReadOnly, Folder, FolderUnwritable, StoreInUnwritableFolder, DataHomeUnwritable };
Q_DECLARE_METATYPE(Obstacle)

void TestUserStore::unusableStoreIsKept_data() {
    QTest::addColumn<Obstacle>("obstacle");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QString>("words");
    QTest::newRow("locked by another program") << Obstacle::Locked << true << QStringLiteral("另一个程序");
    QTest::newRow("read-only") << Obstacle::ReadOnly << true << QStringLiteral("只读");
    QTest::newRow("replaced by a folder") << Obstacle::Folder << false << QStringLiteral("文件夹");
    QTest::newRow("its folder cannot be written") << Obstacle::FolderUnwritable << false << QStringLiteral("写入");
    QTest::newRow("in a folder that cannot be written")
        << Obstacle::StoreInUnwritableFolder << false << QStringLiteral("写入");
    QTest::newRow("the data folder cannot be written")
        << Obstacle::DataHomeUnwritable << false << QStringLiteral("写入");
}

// A store that is there but cannot be used now is never set aside: the user is told in Chinese
// which file it is and what to do, and what can still be read is read.
void TestUserStore::unusableStoreIsKept() {
    QFETCH(Obstacle, obstacle);
    QFETCH(bool, readable);
    QFETCH(QString, words);
    const QString folder = m_dir->filePath(QStringLiteral("xiyao"));
    QVERIFY(QDir().mkpath(folder));
    QString path = QDir(folder).filePath(QStringLiteral("user-store.db"));
    const bool present = obstacle != Obstacle::FolderUnwritable && obstacle != Obstacle::DataHomeUnwritable;
    if (present)
        writeBytes(path, m_filled);

    std::optional<LockHolder> lock;
    std::optional<ReadOnlyFile> readOnly;
    std::optional<DataHome> dataHome;
    switch (obstacle) {
    case Obstacle::Locked:
        lock.emplace(path);
        if (!lock->holding())
            QSKIP("跳过：没有 sqlcipher 或 sqlite3，无法在另一个进程中锁住文件");
        break;
    case Obstacle::ReadOnly:
        readOnly.emplace(path);
        break;
    case Obstacle::Folder:
        QVERIFY(QFile::remove(path) && QDir().mkpath(path + QStringLiteral("/内容")));
        break;
    case Obstacle::FolderUnwritable:
    case Obstacle::StoreInUnwritableFolder:
        readOnly.emplace(folder);
        break;
    case Obstacle::DataHomeUnwritable:
        QVERIFY(QDir(folder).removeRecursively());
        readOnly.emplace(m_dir->path());
        dataHome.emplace(m_dir->path());
        path = UserStore::defaultPath();
        QCOMPARE(path, folder + QStringLiteral("/user-store.db"));
        break;
    }
    if (readOnly && !readOnly->done())
        QSKIP("跳过：无法把文件设为只读（以 root 运行时需要 chattr）");

    const QString native = QDir::toNativeSeparators(path);
    std::optional<UserStore> store;
    const QString opened = failureOf([&] {
        store.emplace(path);
        store->setBusyTimeout(ShortBusyTimeout);
    });
    if (readable) {
        QVERIFY2(opened.isEmpty(), qPrintable(opened));
        QVERIFY(store->setAside().isEmpty());
        QCOMPARE(store->notes(), filledNotes());
        QCOMPARE(store->favourites().size(), Filled);
        QCOMPARE(store->recent().size(), Filled);
        const DrugNames drug = writtenDrug(QStringLiteral("填"), 0);
        for (const QString& failure : {failureOf([&] { store->setNote(drug, QStringLiteral("改")); }),
                                       failureOf([&] { store->setFavourite(drug, false); }),
                                       failureOf([&] { store->recordViewed(drug); }), failureOf([&] {
                                           store->moveNote(drug, {QStringLiteral("别的"), {}});
                                       })}) {
            QVERIFY2(failure.contains(native) && failure.contains(words), qPrintable(failure));
        }
    } else {
        QVERIFY2(opened.contains(QDir::toNativeSeparators(QFileInfo(path).absolutePath())) && opened.contains(words),
                 qPrintable(opened));
    }
    store.reset();
    lock.reset();
    readOnly.reset();
    dataHome.reset();
    QVERIFY(setAsideBeside(path).isEmpty());
    if (obstacle == Obstacle::Folder)
        QVERIFY(QFileInfo(path + QStringLiteral("/内容")).isDir());
    if (present && obstacle != Obstacle::Folder) {
        UserStore again(path);
        QVERIFY(again.setAside().isEmpty());
        QCOMPARE(again.notes(), filledNotes());
    }
}

// The user's own store is made in their data folder, and only they can read it.
void TestUserStore::madeForItsOwnerOnly() {
    const DataHome dataHome(m_dir->filePath(QStringLiteral("数据")));
    const QString path = UserStore::defaultPath();
    QCOMPARE(path, m_dir->filePath(QStringLiteral("数据/xiyao/user-store.db")));
    UserStore store(path);
    store.setNote({QStringLiteral("药"), {}}, QStringLiteral("私人的笔记"));
    QCOMPARE(modeOf(m_dir->filePath(QStringLiteral("数据"))), 0700);
    QCOMPARE(modeOf(QFileInfo(path).absolutePath()), 0700);
    for (const QString& file : {path, path + QStringLiteral("-wal"), path + QStringLiteral("-shm")})
        QCOMPARE(modeOf(file), 0600);

    // A folder that was there already is the user's to set; a store copied in is made theirs alone.
    const QString shared = m_dir->filePath(QStringLiteral("共用"));
    const QString copied = shared + QStringLiteral("/store.db");
    QVERIFY(QDir().mkpath(shared));
    writeBytes(copied, m_filled);
    QVERIFY(::chmod(QFile::encodeName(shared).constData(), 0705) == 0 &&
            ::chmod(QFile::encodeName(copied).constData(), 0644) == 0);
    QCOMPARE(UserStore(copied).notes(), filledNotes());
    QCOMPARE(modeOf(shared), 0705);
    QCOMPARE(modeOf(copied), 0600);
}

// Two programs write at once into a store that neither has made yet: both keep everything.
void TestUserStore::twoProgramsWriteAtOnce() {
    constexpr int Writes = 15;
    const QStringList prefixes{QStringLiteral("甲"), QStringLiteral("乙")};
    QProcess children[2];
    for (int i = 0; i < 2; ++i)
        children[i].start(QStringLiteral(USER_STORE_CHILD), {storePath(), prefixes[i], QString::number(Writes)});
    QByteArray output[2];
    for (int i = 0; i < 2; ++i) {
        while (!output[i].contains("ready\n") && children[i].waitForReadyRead(30000))
            output[i] += children[i].readAllStandardOutput();
        QVERIFY2(output[i].contains("ready\n"), output[i].constData());
    }
    for (QProcess& child : children)
        child.write("go\n");
    for (int i = 0; i < 2; ++i) {
        QVERIFY(children[i].waitForFinished(60000));
        output[i] += children[i].readAllStandardOutput();
        const Reported reported = readChildLines(output[i]);
        QVERIFY2(children[i].exitCode() == 0 && reported.errors.isEmpty(),
                 qPrintable(reported.errors + QString::fromUtf8(children[i].readAllStandardError())));
        QCOMPARE(reported.notes.size(), Writes);
    }
    UserStore store(storePath());
    QVERIFY(store.setAside().isEmpty());
    const Held held = heldIn(store);
    QVERIFY2(held.cutShort.isEmpty(), qPrintable(held.cutShort));
    for (int i = 0; i < 2; ++i) {
        const QString missing = missingWrites(held, prefixes[i], readChildLines(output[i]));
        QVERIFY2(missing.isEmpty(), qPrintable(missing));
    }
    QCOMPARE(store.notes().size(), 2 * Writes);
    QCOMPARE(store.favourites().size(), 2 * Writes);
    QCOMPARE(store.recent().size(), qMin(2 * Writes, UserStore::RecentKept));
    QCOMPARE(repeatsIn(store.recent()), QString());
}

// A child writes notes, favourites and viewed drugs and is killed at a random moment; every tenth
// round begins without a store, and its child is killed around the moment it makes one. After
// each kill the store opens as it is, holds every write the child reported done, and any it had
// begun whole or not at all.
void TestUserStore::killedWhileWriting() {
    const int rounds = crashRounds(qEnvironmentVariableIsSet("XIYAO_SLOW_TESTS") ? 100 : 3);
    const quint32 seed = crashSeed();
    QRandomGenerator random(seed);
    QMap<int, Reported> reported;
    qint64 writes = 0;
    for (int round = 0; round < rounds; ++round) {
        const QString where = QStringLiteral("round %1 of seed %2 (XIYAO_CRASH_SEED)").arg(round).arg(seed);
        const bool fresh = round % 10 == 0;
        if (fresh) {
            for (const QString& file : QDir(m_dir->path()).entryList(QDir::Files))
                QVERIFY(QFile::remove(m_dir->filePath(file)));
            reported.clear();
        }
        QProcess child;
        child.start(QStringLiteral(USER_STORE_CHILD), {storePath(), QString::number(round), QStringLiteral("0")});
        QByteArray output;
        const QString ended = killAfter(child, output, random.bounded(fresh ? 15 : 250));
        QVERIFY2(ended.isEmpty(), qPrintable(where + QStringLiteral(": ") + ended));
        reported[round] = readChildLines(output);
        QVERIFY2(reported[round].errors.isEmpty(), qPrintable(where + u' ' + reported[round].errors));
        writes += reported[round].notes.size() + reported[round].favourites.size();

        UserStore store(storePath());
        QVERIFY2(store.setAside().isEmpty(), qPrintable(where + u' ' + store.setAside()));
        const Held held = heldIn(store);
        QVERIFY2(held.cutShort.isEmpty(), qPrintable(where + u' ' + held.cutShort));
        for (auto it = reported.cbegin(); it != reported.cend(); ++it) {
            const QString missing = missingWrites(held, QString::number(it.key()), it.value());
            QVERIFY2(missing.isEmpty(), qPrintable(where + QStringLiteral(": missing ") + missing));
        }
        QVERIFY(store.recent().size() <= UserStore::RecentKept);
        QCOMPARE(repeatsIn(store.recent()), QString());
    }
    qInfo("%d rounds, %lld writes reported (seed %u)", rounds, writes, seed);
}

QTEST_GUILESS_MAIN(TestUserStore)
#include "tst_userstore.moc"
