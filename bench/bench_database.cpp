// Speed of the data paths on a drug file of 100,000 drugs with 600-character leaflets.
// The file is made once (in $XIYAO_BENCH_DIR, default build/bench-data) and reused.

#include "data/DatabaseError.h"
#include "data/DrugDatabase.h"
#include "data/SqlTexts.h"
#include "data/Statement.h"
#include "pinyin/PinyinInitials.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

namespace {

constexpr int kDrugs = 100000;
constexpr int kLeafletLength = 600;

QString benchFolder() {
    const QByteArray dir = qgetenv("XIYAO_BENCH_DIR");
    return dir.isEmpty() ? QStringLiteral("build/bench-data") : QString::fromLocal8Bit(dir);
}

// Characters that the keypad reaches: every unit whose initial is an upper-case letter.
QString readableCharacters() {
    QString pool;
    for (uint32_t unit = 0x4E00; unit <= 0x9FA5; ++unit) {
        const char16_t initial = pinyin::InitialOf(static_cast<char16_t>(unit));
        if (initial >= u'A' && initial <= u'Z')
            pool.append(QChar(static_cast<char16_t>(unit)));
    }
    return pool;
}

QString randomText(QRandomGenerator& random, const QString& pool, int length, bool lines) {
    QString text;
    text.reserve(length);
    while (text.size() < length) {
        if (lines && text.size() % 32 == 30)
            text.append(QStringLiteral("\r\n"));
        else
            text.append(pool.at(random.bounded(static_cast<int>(pool.size()))));
    }
    return text;
}

QStringList makeNames() {
    QRandomGenerator random(20261208);
    const QString pool = readableCharacters();
    QStringList names;
    for (int i = 0; i < kDrugs; ++i)
        names.append(randomText(random, pool, 2 + random.bounded(5), false));
    return names;
}

const QStringList& names() {
    static const QStringList list = makeNames();
    return list;
}

QString drugFile() {
    const QString folder = benchFolder();
    const QString path = QDir(folder).filePath(DrugFileName);
    if (QFile::exists(path))
        return path;
    QDir().mkpath(folder);
    const QString building = path + QStringLiteral(".new");
    QFile::remove(building);
    DrugConnection::create(building, DrugPassword);
    DrugConnection connection;
    connection.openFile(building, DrugPassword);
    connection.beginTransaction();
    {
        Statement insert(connection.handle(),
                         QStringLiteral("INSERT INTO 西药 (中文名, 英文名, 药物说明书, 拼音) VALUES (?, ?, ?, ?)"));
        QRandomGenerator random(7);
        const QString pool = readableCharacters();
        for (const QString& name : names()) {
            insert.bind(1, Cell(name));
            insert.bind(2, Cell(QStringLiteral("Drug name in English")));
            insert.bind(3, Cell(randomText(random, pool, kLeafletLength, true)));
            insert.bind(4, Cell(PinyinInitials(name)));
            insert.step();
            insert.reset();
        }
    }
    connection.commit();
    connection.close();
    QFile::rename(building, path);
    return path;
}

DrugConnection& connection() {
    static DrugConnection opened;
    if (!opened.isOpen())
        opened.openFile(drugFile(), DrugPassword);
    return opened;
}

double peakMemoryMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

// What the list refill does with each row: read the four columns it keeps.
void fill(DrugRecordset& recordset, const QString& sql, benchmark::State& state) {
    recordset.Open(sql, connection(), adOpenKeyset, adLockReadOnly);
    const qint64 count = recordset.RecordCount();
    for (qint64 i = 0; i < count; ++i) {
        benchmark::DoNotOptimize(recordset.field(ChineseNameColumn));
        benchmark::DoNotOptimize(recordset.field(EnglishNameColumn));
        benchmark::DoNotOptimize(recordset.field(LeafletColumn));
        benchmark::DoNotOptimize(recordset.field(KeyColumn));
        recordset.MoveNext();
    }
    recordset.Close();
    state.counters["rows"] = static_cast<double>(count);
}

void BM_OpenDrugFile(benchmark::State& state) {
    const QString path = drugFile();
    for (auto _ : state) {
        DrugConnection opened;
        opened.openFile(path, DrugPassword);
    }
}
BENCHMARK(BM_OpenDrugFile)->Unit(benchmark::kMillisecond);

void BM_KeypadSearch(benchmark::State& state) {
    const QString letters = state.range(0) == 0 ? QStringLiteral("zx") : QStringLiteral("a");
    DrugRecordset recordset;
    for (auto _ : state)
        fill(recordset, keypadQuery(letters), state);
    state.SetLabel(letters.toStdString());
}
BENCHMARK(BM_KeypadSearch)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_FullTableReload(benchmark::State& state) {
    DrugRecordset recordset;
    for (auto _ : state)
        fill(recordset, FullTableQuery, state);
    state.counters["peak_MiB"] = peakMemoryMiB();
}
BENCHMARK(BM_FullTableReload)->Unit(benchmark::kMillisecond);

void BM_AddDrug(benchmark::State& state) {
    DrugRecordset recordset;
    QStringList added;
    for (auto _ : state) {
        recordset.Open(FullTableQuery, connection(), adOpenKeyset, adLockOptimistic);
        recordset.AddNew();
        recordset.setField(ChineseNameColumn, Cell(QStringLiteral("阿莫西林")));
        recordset.setField(EnglishNameColumn, Cell(QStringLiteral("Amoxicillin")));
        recordset.setField(LeafletColumn, Cell(QStringLiteral("--")));
        recordset.setField(InitialsColumn, Cell(PinyinInitials(QStringLiteral("阿莫西林"))));
        recordset.Update();
        added.append(recordset.field(KeyColumn).toText());
        recordset.Close();
    }
    // Outside the timed loop: take the added drugs out again so every run sees the same file.
    for (const QString& key : std::as_const(added)) {
        recordset.Open(keyQuery(key), connection(), adOpenKeyset, adLockOptimistic);
        recordset.Delete();
        recordset.Update();
        recordset.Close();
    }
}
BENCHMARK(BM_AddDrug)->Unit(benchmark::kMillisecond);

void BM_ModifyDrug(benchmark::State& state) {
    DrugRecordset recordset;
    const QString key = QString::number(kDrugs / 2);
    for (auto _ : state) {
        recordset.Open(keyQuery(key), connection(), adOpenKeyset, adLockOptimistic);
        recordset.setField(ChineseNameColumn, Cell(names()[kDrugs / 2 - 1]));
        recordset.setField(EnglishNameColumn, Cell(QStringLiteral("Drug name in English")));
        recordset.setField(InitialsColumn, Cell(PinyinInitials(names()[kDrugs / 2 - 1])));
        recordset.Update();
        recordset.Close();
    }
}
BENCHMARK(BM_ModifyDrug)->Unit(benchmark::kMillisecond);

void BM_PinyinInitials(benchmark::State& state) {
    const QStringList& all = names();
    for (auto _ : state) {
        for (const QString& name : all)
            benchmark::DoNotOptimize(PinyinInitials(name));
    }
    state.SetItemsProcessed(state.iterations() * all.size());
}
BENCHMARK(BM_PinyinInitials)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
