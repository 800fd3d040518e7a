#include "data/DatabaseError.h"
#include "data/DrugFile.h"
#include "data/DrugSchema.h"
#include "data/SqlTexts.h"
#include "data/Statement.h"
#include "exchange/DrugCheck.h"
#include "exchange/DrugImport.h"
#include "tests/reliability/TaggedDrug.h"
#include "tests/support/CrashRounds.h"
#include "tests/support/MainWindowFixture.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/ReadOnlyFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTextStream>
#include <QtTest>

#include "data/Engine.h"

#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const QString Ok = QStringLiteral("ok ！");
constexpr qsizetype Page = 4096;
constexpr uid_t Nobody = 65534;

// ---- Files

void writeBytes(const QString& path, const QByteArray& content) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
}

// A file of one drug made by the engine itself, as the program never makes one: the password
// (none: not encrypted), the cipher page size, the table and its key may differ from the
// program's, and a column may be left out.
struct MadeBySql {
    QString password = DrugPassword;
    int pageSize = 4096;
    QString table = DrugTableName;
    QString keyType = QStringLiteral("INTEGER PRIMARY KEY");
    QString leftOut = {};
    QString extraColumn = {}; // with its type
    QString tableOptions = {};
};

bool makeWithSql(const QString& path, const MadeBySql& made) {
    QStringList statements;
    if (!made.password.isEmpty()) {
        statements << QStringLiteral("PRAGMA key = '%1'").arg(made.password)
                   << QStringLiteral("PRAGMA cipher_page_size = %1").arg(made.pageSize);
    }
    QStringList columns{quotedIdentifier(KeyColumn) + u' ' + made.keyType};
    for (const QString& column : drugColumns()) {
        if (column != KeyColumn && column != made.leftOut)
            columns.append(quotedIdentifier(column) + QStringLiteral(" TEXT"));
    }
    if (!made.extraColumn.isEmpty())
        columns.append(made.extraColumn);
    const QString table = quotedIdentifier(made.table);
    statements
        << QStringLiteral("CREATE TABLE %1 (%2)%3").arg(table, columns.join(QStringLiteral(", ")), made.tableOptions)
        << QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (1, '阿莫西林')")
               .arg(table, quotedIdentifier(KeyColumn), quotedIdentifier(ChineseNameColumn));
    sqlite3* db = nullptr;
    bool done = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                                nullptr) == SQLITE_OK;
    for (const QString& statement : std::as_const(statements))
        done = done && sqlite3_exec(db, statement.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return done;
}

enum class BadFile {
    Missing,
    Empty,
    TruncatedInTheMiddle,
    TruncatedInTheLastPage,
    RandomBytes,
    Unencrypted,
    OtherPassword,
    SmallPages,
    NoDrugTable,
    MissingColumn,
    KeyNotTheRowKey,
    KeyDescending,
    WithoutRowid,
    ColumnNamedRowid,
    Folder,
    NamedPipe,
    Unreadable,
    ReadOnly,
};

// Puts a bad file of the kind at path, where nothing is; good is a drug file's bytes.
bool makeBadFile(BadFile kind, const QString& path, const QByteArray& good) {
    switch (kind) {
    case BadFile::Missing:
        return true;
    case BadFile::Empty:
        writeBytes(path, QByteArray());
        break;
    case BadFile::TruncatedInTheMiddle:
        writeBytes(path, good.left(good.size() / Page / 2 * Page + Page / 2));
        break;
    case BadFile::TruncatedInTheLastPage:
        writeBytes(path, good.left(good.size() - Page / 2));
        break;
    case BadFile::RandomBytes: {
        QByteArray bytes(3 * Page, '\0');
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
        writeBytes(path, bytes);
        break;
    }
    case BadFile::Unencrypted:
        return makeWithSql(path, {.password = QString()});
    case BadFile::OtherPassword:
        return makeWithSql(path, {.password = QStringLiteral("another")});
    case BadFile::SmallPages:
        return makeWithSql(path, {.pageSize = 1024});
    case BadFile::NoDrugTable:
        return makeWithSql(path, {.table = QStringLiteral("药品")});
    case BadFile::MissingColumn:
        return makeWithSql(path, {.leftOut = InitialsColumn});
    case BadFile::KeyNotTheRowKey:
        return makeWithSql(path, {.keyType = QStringLiteral("INT PRIMARY KEY")});
    case BadFile::KeyDescending:
        return makeWithSql(path, {.keyType = QStringLiteral("INTEGER PRIMARY KEY DESC")});
    case BadFile::WithoutRowid:
        return makeWithSql(path, {.tableOptions = QStringLiteral(" WITHOUT ROWID")});
    case BadFile::ColumnNamedRowid:
        return makeWithSql(path, {.extraColumn = QStringLiteral("OID INTEGER")});
    case BadFile::Folder:
        return QDir().mkdir(path);
    case BadFile::NamedPipe:
        return mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    case BadFile::Unreadable:
    case BadFile::ReadOnly:
        writeBytes(path, good);
        break;
    }
    return QFile::exists(path);
}

// Every entry of the folder with its bytes: what a failed start-up or command must leave alone.
QMap<QString, QByteArray> folderContents(const QString& folder) {
    QMap<QString, QByteArray> contents;
    for (const QFileInfo& entry :
         QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
        QFile file(entry.filePath());
        contents[entry.fileName()] = entry.isDir()                    ? QByteArray("<folder>")
                                     : !entry.isFile()                ? QByteArray("<not a regular file>")
                                     : file.open(QIODevice::ReadOnly) ? file.readAll()
                                                                      : QByteArray("<unreadable>");
    }
    return contents;
}

// Takes the file's read permission away while alive.
class Unreadable {
public:
    explicit Unreadable(const QString& path)
        : m_path(path) {
        QFile::setPermissions(path, QFileDevice::Permissions());
    }
    ~Unreadable() { QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner); }
    Unreadable(const Unreadable&) = delete;
    Unreadable& operator=(const Unreadable&) = delete;

private:
    QString m_path;
};

// The superuser reads whatever the permissions say: while alive, this process acts as the
// unprivileged user nobody. Its real user stays, so it comes back.
class ActingAsNobody {
public:
    ActingAsNobody() { m_acting = setegid(Nobody) == 0 && seteuid(Nobody) == 0; }
    ~ActingAsNobody() {
        if (seteuid(0) != 0 || setegid(0) != 0)
            qFatal("cannot come back from the user nobody");
    }
    ActingAsNobody(const ActingAsNobody&) = delete;
    ActingAsNobody& operator=(const ActingAsNobody&) = delete;
    bool acting() const { return m_acting; }

private:
    bool m_acting = false;
};

// ---- The companion tool

using Run = ProgramRun;

// Runs xiyao-db, as the user nobody when asked (the superuser only).
Run runTool(const QStringList& arguments, bool asNobody = false) {
    if (!asNobody)
        return runProgram(QStringLiteral(XIYAO_DB_PATH), arguments);
    return runProgram(QStringLiteral("setpriv"),
                      QStringList{QStringLiteral("--reuid=%1").arg(Nobody), QStringLiteral("--regid=%1").arg(Nobody),
                                  QStringLiteral("--clear-groups"), QStringLiteral(XIYAO_DB_PATH)} +
                          arguments);
}

// ---- What a file holds

// Every drug by key: its key, Chinese name, English name, leaflet and initials as text.
QList<QStringList> drugRows(DrugConnection& connection) {
    QStringList columns;
    for (const QString& column : {KeyColumn, ChineseNameColumn, EnglishNameColumn, LeafletColumn, InitialsColumn})
        columns.append(quotedIdentifier(column));
    Statement select(connection, QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                                     .arg(columns.join(u','), quotedIdentifier(DrugTableName), columns[0]));
    QList<QStringList> rows;
    while (select.step()) {
        QStringList row;
        for (int i = 0; i < columns.size(); ++i)
            row.append(select.column(i).toText());
        rows.append(row);
    }
    return rows;
}

// What xiyao-db check finds wrong (the engine's integrity check, blanked pages, the length);
// empty when nothing.
QString damage(DrugConnection& connection) {
    QString report;
    QTextStream stream(&report);
    const bool intact = checkDrugs(connection, stream);
    stream.flush();
    return intact ? QString() : report;
}

// ---- Crash rounds

// CTest runs the crash rounds as a test of their own (tst_reliability_crash), beside this one.
bool crashRoundsRunApart() {
    return qEnvironmentVariableIsSet("XIYAO_CRASH_ROUNDS_APART");
}

// Drugs by key, each named by the tag it was written from.
using Tags = QMap<qint64, qint64>;

// The change the child had begun and not yet reported stored.
struct Begun {
    QString verb; // add, modify or delete
    qint64 key = 0;
    qint64 tag = 0;
};

struct ChildLog {
    Tags stored;
    std::optional<Begun> begun;
    qint64 lastTag = 0;
    qint64 changes = 0;
    QString error;
};

// Applies the child's lines to what was stored before. Only whole lines count.
ChildLog readChildLog(const QByteArray& output, const Tags& before, qint64 lastTag) {
    ChildLog log{before, std::nullopt, lastTag, 0, QString()};
    QList<QByteArray> lines = output.split('\n');
    lines.removeLast(); // after the last line end: empty, or a line cut short
    for (const QByteArray& line : std::as_const(lines)) {
        const QStringList words = QString::fromUtf8(line).split(u' ');
        const QString& verb = words[0];
        const qint64 first = words.value(1).toLongLong();
        const qint64 second = words.value(2).toLongLong();
        if (verb == QStringLiteral("add")) {
            log.begun = Begun{verb, 0, first};
        } else if (verb == QStringLiteral("modify")) {
            log.begun = Begun{verb, first, second};
        } else if (verb == QStringLiteral("delete")) {
            log.begun = Begun{verb, first, 0};
        } else if (verb == QStringLiteral("added") || verb == QStringLiteral("modified")) {
            const bool added = verb == QStringLiteral("added");
            log.stored[added ? second : first] = added ? first : second;
            log.begun.reset();
            ++log.changes;
        } else if (verb == QStringLiteral("deleted")) {
            log.stored.remove(first);
            log.begun.reset();
            ++log.changes;
        } else if (verb == QStringLiteral("error")) {
            log.error = QString::fromUtf8(line);
        }
        if (log.begun)
            log.lastTag = qMax(log.lastTag, log.begun->tag);
    }
    return log;
}

// The tags of the file's drugs; a row whose fields are not all those of its tag is named in fault.
Tags storedTags(DrugConnection& connection, QString& fault) {
    Tags tags;
    for (const QStringList& row : drugRows(connection)) {
        const qint64 tag = tagOf(row[2]);
        const TaggedDrug drug = taggedDrug(tag);
        if (tag < 0 || TaggedDrug{row[1], row[2], row[3], row[4]} != drug)
            fault += QStringLiteral("drug %1 is not written whole (%2, leaflet of %3 characters); ")
                         .arg(row[0], row[1])
                         .arg(row[3].size());
        tags[row[0].toLongLong()] = tag;
    }
    return tags;
}

// What the file holds if the begun change was stored before the kill.
Tags withBegunChange(const Tags& stored, const Begun& begun, const Tags& found) {
    Tags tags = stored;
    if (begun.verb == QStringLiteral("modify")) {
        tags[begun.key] = begun.tag;
    } else if (begun.verb == QStringLiteral("delete")) {
        tags.remove(begun.key);
    } else {
        for (auto it = found.begin(); it != found.end(); ++it) {
            if (!stored.contains(it.key()))
                tags[it.key()] = begun.tag;
        }
    }
    return tags;
}

// A list of drugs to import, as xiyao-db reads it: enough rows for the tool's progress line to
// come after the last row, right before the commit.
constexpr int ImportRows = static_cast<int>(ImportProgressStep);

QStringList importedDrug(int row) {
    const QString name = QStringLiteral("导入药%1号").arg(row);
    return {name, QStringLiteral("Imported %1").arg(row), QStringLiteral("第%1行导入的说明书。").arg(row).repeated(20),
            PinyinInitials(name)};
}

QByteArray importText() {
    QByteArray text = QStringLiteral("%1,%2,%3\r\n").arg(ChineseNameColumn, EnglishNameColumn, LeafletColumn).toUtf8();
    for (int row = 0; row < ImportRows; ++row)
        text += importedDrug(row).first(3).join(u',').toUtf8() + "\r\n";
    return text;
}

struct ImportRun {
    bool killed = false;
    qint64 total = 0;         // ms from the start to the end
    qint64 afterLastRow = -1; // ms from the last row's progress line to the end
};

// Runs the import and, unless killAfter is negative, kills it killAfter microseconds after
// its start or after the progress line of its last row, when the commit begins.
ImportRun runImport(const QStringList& arguments, bool fromTheLastRow, qint64 killAfter) {
    const QByteArray lastRow = QStringLiteral("已导入 %1 / %1 行").arg(ImportRows).toUtf8();
    QProcess tool;
    tool.setReadChannel(QProcess::StandardError);
    QElapsedTimer clock;
    clock.start();
    tool.start(QStringLiteral(XIYAO_DB_PATH), arguments);
    QByteArray err;
    qint64 lastRowAt = -1;
    const auto readErr = [&] {
        err += tool.readAllStandardError();
        if (lastRowAt < 0 && err.contains(lastRow))
            lastRowAt = clock.nsecsElapsed() / 1000;
    };
    if (killAfter >= 0 && !fromTheLastRow) {
        while (tool.state() != QProcess::NotRunning && clock.nsecsElapsed() / 1000 < killAfter) {
            tool.waitForReadyRead(static_cast<int>(qMax<qint64>(1, (killAfter - clock.nsecsElapsed() / 1000) / 1000)));
            readErr();
        }
        tool.kill();
    } else if (killAfter >= 0) {
        while (tool.state() != QProcess::NotRunning && lastRowAt < 0) {
            tool.waitForReadyRead(1000);
            readErr();
        }
        std::this_thread::sleep_for(std::chrono::microseconds(killAfter));
        tool.kill();
    }
    while (tool.state() != QProcess::NotRunning) {
        tool.waitForReadyRead(1000);
        readErr();
    }
    tool.waitForFinished();
    readErr();
    const qint64 end = clock.nsecsElapsed() / 1000;
    return {tool.exitStatus() == QProcess::CrashExit, end / 1000, lastRowAt < 0 ? -1 : (end - lastRowAt) / 1000};
}

} // namespace

Q_DECLARE_METATYPE(BadFile)

class TestReliability : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { prepareTestApplication(); }
    void badFiles_data();
    void badFiles();
    void twoWriters_data();
    void twoWriters();
    void startUpBesideAnotherProgram_data();
    void startUpBesideAnotherProgram();
    void killedWhileStoring();
    void killedDuringAnImport_data();
    void killedDuringAnImport();
};

void TestReliability::badFiles_data() {
    QTest::addColumn<BadFile>("kind");
    QTest::addColumn<QString>("reason");
    const QString notADrugFile = QStringLiteral("不是药品数据库，或文件已损坏");
    QTest::newRow("missing") << BadFile::Missing << QStringLiteral("文件不存在");
    QTest::newRow("empty") << BadFile::Empty << QStringLiteral("文件中没有药品表“西药”");
    QTest::newRow("truncated mid-page in the middle")
        << BadFile::TruncatedInTheMiddle << QStringLiteral("文件已损坏，无法读取");
    // The engine opens it and fails only when the last page is read.
    QTest::newRow("truncated inside its last page")
        << BadFile::TruncatedInTheLastPage << QStringLiteral("文件已损坏或不完整：文件长");
    QTest::newRow("random bytes") << BadFile::RandomBytes << notADrugFile;
    QTest::newRow("unencrypted SQLite file with the drug table") << BadFile::Unencrypted << notADrugFile;
    QTest::newRow("another password") << BadFile::OtherPassword << notADrugFile;
    QTest::newRow("1024-byte cipher pages") << BadFile::SmallPages << notADrugFile;
    QTest::newRow("no drug table") << BadFile::NoDrugTable << QStringLiteral("文件中没有药品表“西药”");
    QTest::newRow("a column missing") << BadFile::MissingColumn << QStringLiteral("药品表缺少列：拼音");
    QTest::newRow("key not INTEGER PRIMARY KEY")
        << BadFile::KeyNotTheRowKey << QStringLiteral("药品表的“编号”不是它的整数主键");
    QTest::newRow("key INTEGER PRIMARY KEY DESC")
        << BadFile::KeyDescending << QStringLiteral("药品表的“编号”不是它的整数主键");
    QTest::newRow("table WITHOUT ROWID") << BadFile::WithoutRowid << QStringLiteral("药品表的“编号”不是它的整数主键");
    QTest::newRow("a column named like the row key")
        << BadFile::ColumnNamedRowid << QStringLiteral("药品表中有一列名为“OID”，与数据库的行号同名");
    QTest::newRow("a folder") << BadFile::Folder << QStringLiteral("这是一个文件夹");
    // Opening it would wait for a writer.
    QTest::newRow("a named pipe") << BadFile::NamedPipe << QStringLiteral("这不是普通文件");
    QTest::newRow("no read permission") << BadFile::Unreadable << QStringLiteral("没有读取这个文件的权限");
    // Opens and reads; only what writes fails.
    QTest::newRow("read-only") << BadFile::ReadOnly << QStringLiteral("文件是只读的，不能修改");
}

// Each kind at start-up and in every command of xiyao-db: a Chinese message, a failure status,
// no crash, and the folder as it was.
void TestReliability::badFiles() {
    QFETCH(BadFile, kind);
    QFETCH(QString, reason);
    MainWindowFixture fixture;
    const QString path = fixture.file.path();
    // One good file for every row: each new one costs a key derivation.
    static const QByteArray goodBytes = [] {
        DrugFileFixture good;
        good.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("AMXL")), QStringLiteral("Amoxicillin"),
                    QStringLiteral("说明书").repeated(3000));
        return good.bytes();
    }();
    QVERIFY(QFile::remove(path));
    QVERIFY(makeBadFile(kind, path, goodBytes));
    QTemporaryDir csvFolder;
    const QString csv = csvFolder.filePath(QStringLiteral("new.csv"));
    writeBytes(csv, "中文名\r\n布洛芬\r\n");
    const QMap<QString, QByteArray> before = folderContents(fixture.file.folder());

    const bool readOnly = kind == BadFile::ReadOnly;
    const bool asNobody = kind == BadFile::Unreadable && geteuid() == 0;
    std::optional<ReadOnlyFile> locked;
    std::optional<Unreadable> unreadable;
    if (readOnly) {
        locked.emplace(path);
        if (!locked->done())
            QSKIP("跳过：无法把文件设为只读（以 root 运行时需要 chattr）");
    }
    if (kind == BadFile::Unreadable) {
        if (asNobody && QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            QSKIP("跳过：以 root 运行时，没有 setpriv 就无法以无权限的用户读取文件");
        const auto open = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                          QFileDevice::ReadOther | QFileDevice::ExeOther;
        for (const QString& folder : {fixture.file.folder(), csvFolder.path()})
            QVERIFY(QFile::setPermissions(folder, open));
        QVERIFY(QFile::setPermissions(csv, QFileDevice::ReadOwner | QFileDevice::ReadOther));
        unreadable.emplace(path);
    }

    Form19* form = nullptr;
    {
        std::optional<ActingAsNobody> nobody;
        if (asNobody)
            QVERIFY(nobody.emplace().acting());
        form = &fixture.open();
    }
    const QStringList& messages = fixture.fakes.dialogs.messages;
    if (readOnly) {
        // The window starts; adding, changing and deleting each fail and store nothing.
        QVERIFY(form->isLoaded());
        form->FillDrugList(FullTableQuery);
        form->Label4_Click(0);
        form->Text6->setText(QStringLiteral("typed"));
        form->Image7_Click();
        form->Text1->setText(QString());
        form->Image13_Click();
        form->Image11_Click();
        QCOMPARE(messages.size(), 3);
        // Each names the file and says in Chinese what happened, the engine's words last.
        for (const QString& message : messages)
            QVERIFY2(message.contains(QStringLiteral("药品数据库文件 %1：%2").arg(path, reason)) &&
                         message.endsWith(QStringLiteral("（attempt to write a readonly database）")),
                     qPrintable(message));
        QCOMPARE(form->Text6->text(), QStringLiteral("typed"));
        QCOMPARE(form->Text1->text(), QString()); // the placeholder goes when nothing was stored
        QCOMPARE(form->Label2->caption(), QStringLiteral("1"));
        QVERIFY(!fixture.drugFile.recordset().isOpen());
        form->FillDrugList(FullTableQuery); // and the next operation works
        QCOMPARE(form->resultList().ListCount.toNumber(), 1.0);
    } else {
        QVERIFY(!form->isLoaded());
        QVERIFY(!fixture.drugFile.connection().isOpen());
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].startsWith(QStringLiteral("无法打开药品数据库 ") + path) && messages[0].contains(reason),
                 qPrintable(messages[0]));
        // A missing file says how to make one.
        QCOMPARE(messages[0].contains(QStringLiteral("xiyao-db create")), kind == BadFile::Missing);
    }

    for (const QStringList& arguments :
         {QStringList{QStringLiteral("import"), path, csv}, QStringList{QStringLiteral("export"), path},
          QStringList{QStringLiteral("check"), path}}) {
        const Run run = runTool(arguments, asNobody);
        const bool fails = !readOnly || arguments[0] == QStringLiteral("import");
        QVERIFY2(run.status == (fails ? 1 : 0), qPrintable(arguments[0] + u' ' + run.err));
        if (fails) {
            QVERIFY2(run.err.startsWith(QStringLiteral("xiyao-db：错误：%1：%2").arg(path, reason)),
                     qPrintable(arguments[0] + u' ' + run.err));
            QVERIFY(run.out.isEmpty());
        }
    }
    locked.reset();
    unreadable.reset();
    QCOMPARE(folderContents(fixture.file.folder()), before);
}

void TestReliability::twoWriters_data() {
    QTest::addColumn<QString>("handler");
    QTest::addColumn<bool>("otherWrites");
    for (const QString& handler : {QStringLiteral("add"), QStringLiteral("modify"), QStringLiteral("delete")}) {
        QTest::addRow("%s, another program writing", qPrintable(handler)) << handler << true;
        QTest::addRow("%s, another program reading", qPrintable(handler)) << handler << false;
    }
}

// Another program holds the file: its write lock (BEGIN IMMEDIATE, a drug added), or a read
// that keeps the handler's change from being committed. The handler waits the bounded time,
// reports the engine's words and stores nothing; once the other lets go, both changes are kept.
void TestReliability::twoWriters() {
    QFETCH(QString, handler);
    QFETCH(bool, otherWrites);
    MainWindowFixture fixture;
    for (int i = 0; i < 2; ++i)
        fixture.file.insert(QStringLiteral("药%1").arg(i), Cell(QStringLiteral("Y")), QStringLiteral("E%1").arg(i),
                            QStringLiteral("说明%1").arg(i));
    Form19& form = fixture.open();
    form.FillDrugList(FullTableQuery);
    form.Label4_Click(0);
    form.Text6->setText(QStringLiteral("typed"));
    const auto press = [&] {
        if (handler == QStringLiteral("add"))
            form.Image13_Click();
        else if (handler == QStringLiteral("modify"))
            form.Image7_Click();
        else
            form.Image11_Click();
    };
    const QList<QStringList> before = drugRows(fixture.file.connection());

    DrugConnection other;
    other.openFile(fixture.file.path(), DrugPassword);
    const QString othersDrug = QStringLiteral("另一个程序的药");
    if (otherWrites) {
        other.beginTransaction();
        other.execute(QStringLiteral("INSERT INTO %1 (%2) VALUES ('%3')")
                          .arg(quotedIdentifier(DrugTableName), quotedIdentifier(ChineseNameColumn), othersDrug));
    } else {
        other.execute(QStringLiteral("BEGIN"));
        Statement read(other, QStringLiteral("SELECT count(*) FROM %1").arg(quotedIdentifier(DrugTableName)));
        read.step();
    }
    QElapsedTimer waited;
    waited.start();
    press();
    QVERIFY2(waited.elapsed() >= ShortBusyTimeout.count(), "the handler gave up without waiting");
    QStringList& messages = fixture.fakes.dialogs.messages;
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].contains(QStringLiteral("database is locked")), qPrintable(messages[0]));
    QCOMPARE(drugRows(fixture.file.connection()), before);
    QCOMPARE(form.Text6->text(), QStringLiteral("typed"));
    QCOMPARE(form.Text11->text(), QStringLiteral("药0"));

    // The other program's change is acknowledged; the same press then goes through.
    other.commit();
    press();
    QCOMPARE(messages.last(), Ok);
    const QList<QStringList> after = drugRows(fixture.file.connection());
    const auto hasDrug = [&after](const QString& name, const QString& englishName) {
        return std::any_of(after.begin(), after.end(),
                           [&](const QStringList& row) { return row[1] == name && row[2] == englishName; });
    };
    QCOMPARE(hasDrug(othersDrug, QString()), otherWrites);
    const qsizetype added = (otherWrites ? 1 : 0) + (handler == QStringLiteral("add") ? 1 : 0) -
                            (handler == QStringLiteral("delete") ? 1 : 0);
    QCOMPARE(after.size(), before.size() + added);
    QCOMPARE(hasDrug(QStringLiteral("药0"), QStringLiteral("E0")), handler == QStringLiteral("add"));
    QCOMPARE(hasDrug(QStringLiteral("药0"), QStringLiteral("typed")), handler != QStringLiteral("delete"));
    QVERIFY(hasDrug(QStringLiteral("药1"), QStringLiteral("E1")));
}

void TestReliability::startUpBesideAnotherProgram_data() {
    QTest::addColumn<bool>("committing");
    QTest::newRow("its commit holds the file for a moment") << true;
    // Another tool may keep a drug file with a write-ahead log: the file alone is then shorter
    // than its pages.
    QTest::newRow("its log holds the newest pages") << false;
}

// Another program has just added a drug: the start-up waits out its commit, or reads the
// newest pages from its log, and the window lists its drug.
void TestReliability::startUpBesideAnotherProgram() {
    QFETCH(bool, committing);
    MainWindowFixture fixture;
    fixture.file.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("AMXL")));
    DrugConnection other;
    other.openFile(fixture.file.path(), DrugPassword);
    if (committing) {
        other.execute(QStringLiteral("BEGIN EXCLUSIVE"));
    } else {
        other.execute(QStringLiteral("PRAGMA journal_mode = WAL"));
        other.execute(QStringLiteral("PRAGMA wal_autocheckpoint = 0"));
    }
    Statement insert(other, QStringLiteral("INSERT INTO %1 (%2, %3, %4) VALUES ('布洛芬', 'BLF', ?)")
                                .arg(quotedIdentifier(DrugTableName), quotedIdentifier(ChineseNameColumn),
                                     quotedIdentifier(InitialsColumn), quotedIdentifier(LeafletColumn)));
    insert.bind(1, Cell(QStringLiteral("说明书").repeated(5000)));
    insert.step();
    std::thread committer;
    if (committing) {
        committer = std::thread([&other] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            other.commit();
        });
    }
    fixture.drugFile.connection().setBusyTimeout(std::chrono::seconds(10));
    Form19 form(fixture.fakes.platform, fixture.drugFile, fixture.userFile);
    if (committer.joinable())
        committer.join();
    QVERIFY2(form.isLoaded(), qPrintable(fixture.fakes.dialogs.messages.join(u'\n')));
    form.FillDrugList(FullTableQuery);
    QCOMPARE(form.resultList().ListCount.toNumber(), 2.0);
    const Run check = runTool({QStringLiteral("check"), fixture.file.path()});
    QVERIFY2(check.status == 0, qPrintable(check.err + QString::fromUtf8(check.out)));
}

// A child adds, changes and deletes drugs through the handlers' recordset calls and is killed
// at a random moment, round after round on the same file. After each kill the file is intact,
// holds every change the child reported stored, and at most the one it had begun, whole.
void TestReliability::killedWhileStoring() {
    if (crashRoundsRunApart())
        QSKIP("the crash rounds run as tst_reliability_crash");
    const int rounds = crashRounds(10);
    const quint32 seed = crashSeed();
    QRandomGenerator random(seed);
    DrugFileFixture file;
    Tags stored;
    qint64 lastTag = 0;
    qint64 changes = 0;
    int begunAndStored = 0;
    QElapsedTimer clock;
    clock.start();
    for (int round = 0; round < rounds; ++round) {
        const QString where = QStringLiteral("round %1 of seed %2 (XIYAO_CRASH_SEED)").arg(round).arg(seed);
        QProcess child;
        child.start(QStringLiteral(CRASH_CHILD_PATH),
                    {file.folder(), QString::number(lastTag), QString::number(random.generate())});
        QByteArray output;
        while (!output.startsWith("ready\n")) {
            const bool more = child.waitForReadyRead(30000);
            output += child.readAllStandardOutput();
            QVERIFY2(more, qPrintable(where + QStringLiteral(": the child did not start: ") +
                                      QString::fromUtf8(output) + QString::fromUtf8(child.readAllStandardError())));
        }
        const QString ended = killAfter(child, output, random.bounded(300));
        QVERIFY2(ended.isEmpty(), qPrintable(where + QStringLiteral(": ") + ended));

        const ChildLog log = readChildLog(output, stored, lastTag);
        QVERIFY2(log.error.isEmpty(), qPrintable(where + u' ' + log.error));
        DrugConnection& connection = file.connection();
        const QString damaged = damage(connection);
        QVERIFY2(damaged.isEmpty(), qPrintable(where + u' ' + damaged));
        QString fault;
        const Tags found = storedTags(connection, fault);
        QVERIFY2(fault.isEmpty(), qPrintable(where + u' ' + fault));
        const bool begunFound =
            log.begun && found != log.stored && found == withBegunChange(log.stored, *log.begun, found);
        QVERIFY2(found == log.stored || begunFound,
                 qPrintable(where + QStringLiteral(": the file holds %1 drugs, the child reported %2 after %3 changes")
                                        .arg(found.size())
                                        .arg(log.stored.size())
                                        .arg(log.changes)));
        begunAndStored += begunFound ? 1 : 0;
        changes += log.changes;
        stored = found;
        lastTag = log.lastTag;
    }
    qInfo("%d rounds, %lld changes reported stored, %d kills after a change was stored and before it was "
          "reported, %lld drugs left, %lld s (seed %u)",
          rounds, changes, begunAndStored, static_cast<qint64>(stored.size()), clock.elapsed() / 1000, seed);
}

void TestReliability::killedDuringAnImport_data() {
    QTest::addColumn<bool>("aroundTheCommit");
    QTest::addColumn<bool>("replace");
    QTest::newRow("while it runs, adding") << false << false;
    QTest::newRow("while it runs, replacing") << false << true;
    QTest::newRow("around its commit, adding") << true << false;
    QTest::newRow("around its commit, replacing") << true << true;
}

// xiyao-db import killed while it reads and inserts, or around its commit: the file is intact
// and holds all of the import's rows or none, and the drugs it held before.
void TestReliability::killedDuringAnImport() {
    if (crashRoundsRunApart())
        QSKIP("the crash rounds run as tst_reliability_crash");
    QFETCH(bool, aroundTheCommit);
    QFETCH(bool, replace);
    const int rounds = qMax(1, crashRounds(10) / 10);
    const quint32 seed = crashSeed();
    QRandomGenerator random(seed);
    DrugFileFixture base;
    for (int i = 0; i < 3; ++i)
        base.insert(QStringLiteral("原有药%1").arg(i), Cell(QStringLiteral("YYY")), QString(), QStringLiteral("说明"));
    const QList<QStringList> none = drugRows(base.connection());
    QList<QStringList> all = replace ? QList<QStringList>() : none;
    for (int row = 0; row < ImportRows; ++row)
        all.append(QStringList{QString::number(none.size() + 1 + row)} + importedDrug(row));

    QTemporaryDir folder;
    const QString csv = folder.filePath(QStringLiteral("drugs.csv"));
    writeBytes(csv, importText());
    const QString work = folder.filePath(DrugFileName);
    QStringList arguments{QStringLiteral("import"), work, csv};
    if (replace)
        arguments.append(QStringLiteral("--replace"));
    const auto fresh = [&] {
        QFile::remove(work + QStringLiteral("-journal")); // a journal left by the last kill
        QFile::remove(work);
        return QFile::copy(base.path(), work);
    };
    const auto holds = [&work](QString& damaged) {
        DrugConnection connection;
        connection.openFile(work, DrugPassword);
        damaged = damage(connection);
        return drugRows(connection);
    };

    // One import to its end: what it leaves, and how long it and its commit take.
    QVERIFY(fresh());
    const ImportRun whole = runImport(arguments, false, -1);
    QString damaged;
    QVERIFY(!whole.killed && whole.afterLastRow >= 0);
    QVERIFY(holds(damaged) == all);

    int killed = 0;
    int keptAll = 0;
    for (int round = 0; round < rounds; ++round) {
        const QString where = QStringLiteral("round %1 of seed %2 (XIYAO_CRASH_SEED)").arg(round).arg(seed);
        QVERIFY(fresh());
        const qint64 span = aroundTheCommit ? whole.afterLastRow * 1500 : whole.total * 1000;
        const ImportRun run = runImport(arguments, aroundTheCommit, random.bounded(qMax<qint64>(1, span)));
        const QList<QStringList> held = holds(damaged);
        QVERIFY2(damaged.isEmpty(), qPrintable(where + u' ' + damaged));
        QVERIFY2(
            held == none || held == all,
            qPrintable(where +
                       QStringLiteral(": %1 drugs, not %2 or %3").arg(held.size()).arg(none.size()).arg(all.size())));
        killed += run.killed ? 1 : 0;
        keptAll += held == all ? 1 : 0;
    }
    qInfo("%d rounds, %d killed, %d with the whole import; an import takes %lld ms, %lld ms of it after the last "
          "row (seed %u)",
          rounds, killed, keptAll, whole.total, whole.afterLastRow, seed);
}

QTEST_MAIN(TestReliability)
#include "tst_reliability.moc"
