#include "bench/BenchFile.h"

#include "data/DatabaseError.h"
#include "data/DrugConnection.h"
#include "data/DrugSchema.h"
#include "data/Statement.h"
#include "pinyin/Cp936.h"
#include "pinyin/PinyinInitials.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include "data/Engine.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace bench {
namespace {

// Changing what the generator makes changes this text, and the files are made again.
const QByteArray GeneratorVersion = "xiyao bench files 2: 100000 drugs; names of 2-8 characters from both levels of "
                                    "GB2312; leaflets of 400-800 characters in 8-15 CR LF lines\n";

constexpr quint32 NameSeed = 20261208;
constexpr quint32 TextSeed = 7;

// Every character of GB2312's two levels of Chinese characters (lead bytes B0-D7 and D8-F7).
const QString& gb2312Characters() {
    static const QString pool = [] {
        QString characters;
        for (char32_t unit = 0x4E00; unit <= 0x9FFF; ++unit) {
            const int code = pinyin::cp936Code(static_cast<char16_t>(unit)) + 65536;
            const int lead = (code >> 8) & 0xFF;
            const int trail = code & 0xFF;
            if (lead >= 0xB0 && lead <= 0xF7 && trail >= 0xA1 && trail <= 0xFE)
                characters.append(QChar(static_cast<char16_t>(unit)));
        }
        return characters;
    }();
    return pool;
}

QString chineseText(QRandomGenerator& random, int length) {
    const QString& pool = gb2312Characters();
    QString text(length, Qt::Uninitialized);
    for (QChar& c : text)
        c = pool.at(random.bounded(static_cast<int>(pool.size())));
    return text;
}

QString leafletText(QRandomGenerator& random) {
    const int lines = 8 + random.bounded(8);
    const int length = 400 + random.bounded(401);
    QString text;
    text.reserve(length + 2 * lines);
    for (int line = 0; line < lines; ++line) {
        if (line > 0)
            text.append(QStringLiteral("\r\n"));
        text.append(chineseText(random, length / lines + (line < length % lines ? 1 : 0)));
    }
    return text;
}

QString englishText(QRandomGenerator& random) {
    QString text;
    const int words = 1 + random.bounded(3);
    for (int word = 0; word < words; ++word) {
        if (word > 0)
            text.append(u' ');
        const int letters = 4 + random.bounded(7);
        for (int i = 0; i < letters; ++i) {
            const char16_t letter = static_cast<char16_t>(u'a' + random.bounded(26));
            text.append(QChar(i == 0 ? letter - u'a' + u'A' : letter));
        }
    }
    return text;
}

void execRaw(sqlite3* db, const QString& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const QString message = QString::fromUtf8(error ? error : "?");
        sqlite3_free(error);
        throw DatabaseError(message);
    }
}

QString insertSql(const QString& table) {
    return QStringLiteral("INSERT INTO %1 (%2, %3, %4, %5) VALUES (?, ?, ?, ?)")
        .arg(table, ChineseNameColumn, EnglishNameColumn, LeafletColumn, InitialsColumn);
}

// The same row through the bare engine, into the file of the default layout.
void insertRaw(sqlite3_stmt* insert, const GeneratedDrug& drug) {
    const QByteArray texts[] = {drug.chineseName.toUtf8(), drug.englishName.toUtf8(), drug.leaflet.toUtf8(),
                                PinyinInitials(drug.chineseName).toUtf8()};
    for (int i = 0; i < 4; ++i)
        sqlite3_bind_text(insert, i + 1, texts[i].constData(), static_cast<int>(texts[i].size()), SQLITE_TRANSIENT);
    if (sqlite3_step(insert) != SQLITE_DONE)
        throw DatabaseError(engineMessage(sqlite3_db_handle(insert)));
    sqlite3_reset(insert);
}

void bindDrug(Statement& insert, const GeneratedDrug& drug) {
    insert.bind(1, Cell(drug.chineseName));
    insert.bind(2, Cell(drug.englishName));
    insert.bind(3, Cell(drug.leaflet));
    insert.bind(4, Cell(PinyinInitials(drug.chineseName)));
    insert.step();
    insert.reset();
}

void makeFiles(const QString& ours, const QString& defaultLayout) {
    std::fprintf(stderr, "making the bench files (100,000 drugs) in %s ...\n", qPrintable(QFileInfo(ours).path()));
    const QString oursBuilding = ours + QStringLiteral(".new");
    const QString defaultBuilding = defaultLayout + QStringLiteral(".new");
    QFile::remove(oursBuilding);
    QFile::remove(defaultBuilding);

    DrugConnection::create(oursBuilding, DrugPassword);
    DrugConnection connection;
    connection.openFile(oursBuilding, DrugPassword);

    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(defaultBuilding).constData(), &raw,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
        throw DatabaseError(engineMessage(raw));
    const QByteArray key = DrugPassword.toUtf8();
    sqlite3_key(raw, key.constData(), static_cast<int>(key.size()));
    execRaw(raw, QStringLiteral("PRAGMA cipher_page_size = 1024"));
    QStringList columns;
    for (const QString& column : drugColumns())
        columns.append(column == KeyColumn ? column + QStringLiteral(" INTEGER PRIMARY KEY AUTOINCREMENT")
                                           : column + QStringLiteral(" TEXT"));
    execRaw(raw, QStringLiteral("CREATE TABLE %1 (%2)").arg(DrugTableName, columns.join(QStringLiteral(", "))));

    connection.beginTransaction();
    execRaw(raw, QStringLiteral("BEGIN"));
    {
        Statement oursInsert(connection, insertSql(DrugTableName));
        sqlite3_stmt* defaultInsert = nullptr;
        if (sqlite3_prepare_v2(raw, insertSql(DrugTableName).toUtf8().constData(), -1, &defaultInsert, nullptr) !=
            SQLITE_OK)
            throw DatabaseError(engineMessage(raw));
        generateDrugs([&](const GeneratedDrug& drug) {
            bindDrug(oursInsert, drug);
            insertRaw(defaultInsert, drug);
        });
        sqlite3_finalize(defaultInsert);
    }
    execRaw(raw, QStringLiteral("COMMIT"));
    connection.commit();
    connection.close();
    sqlite3_close(raw);
    QFile::remove(ours);
    QFile::remove(defaultLayout);
    QFile::rename(oursBuilding, ours);
    QFile::rename(defaultBuilding, defaultLayout);
}

} // namespace

QString benchFolder() {
    const QByteArray dir = qgetenv("XIYAO_BENCH_DIR");
    return QDir(dir.isEmpty() ? QStringLiteral("build/bench-data") : QString::fromLocal8Bit(dir)).absolutePath();
}

QStringList generatedNames() {
    QRandomGenerator random(NameSeed);
    QStringList names;
    names.reserve(Drugs);
    for (int i = 0; i < Drugs; ++i)
        names.append(chineseText(random, 2 + random.bounded(7)));
    return names;
}

void generateDrugs(const std::function<void(const GeneratedDrug&)>& take, int count) {
    const QStringList names = generatedNames();
    QRandomGenerator random(TextSeed);
    for (int i = 0; i < count && i < names.size(); ++i) {
        const GeneratedDrug drug{names[i], englishText(random), leafletText(random)};
        take(drug);
    }
}

BenchFiles ensureBenchFiles() {
    const QDir folder(benchFolder());
    folder.mkpath(QStringLiteral("."));
    const BenchFiles files{folder.filePath(DrugFileName), folder.filePath(QStringLiteral("default-layout.m"))};
    QFile stamp(folder.filePath(QStringLiteral("generator.txt")));
    const bool current = QFile::exists(files.ours) && QFile::exists(files.defaultLayout) &&
                         stamp.open(QIODevice::ReadOnly) && stamp.readAll() == GeneratorVersion;
    stamp.close();
    if (!current) {
        QFile::remove(stamp.fileName());
        makeFiles(files.ours, files.defaultLayout);
        if (!stamp.open(QIODevice::WriteOnly) || stamp.write(GeneratorVersion) != GeneratorVersion.size())
            throw DatabaseError(QStringLiteral("cannot write %1").arg(stamp.fileName()));
    }
    return files;
}

sqlite3* openRaw(const QString& path, int pageSize) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const QString message = engineMessage(db);
        sqlite3_close(db);
        throw DatabaseError(message);
    }
    const QByteArray key = DrugPassword.toUtf8();
    sqlite3_key(db, key.constData(), static_cast<int>(key.size()));
    try {
        execRaw(db, QStringLiteral("PRAGMA cipher_page_size = %1").arg(pageSize));
        execRaw(db, QStringLiteral("SELECT count(*) FROM sqlite_master"));
    } catch (const DatabaseError&) {
        sqlite3_close(db);
        throw;
    }
    return db;
}

void closeRaw(sqlite3* db) {
    sqlite3_close(db);
}

double peakResidentMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

} // namespace bench
