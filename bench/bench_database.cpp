// Speed of the data paths on a drug file of 100,000 drugs with 600-character leaflets.
// The file is made once (in $XIYAO_BENCH_DIR, default build/bench-data) and reused.

#include "bench/BenchFile.h"
#include "data/DatabaseError.h"
#include "data/DrugConnection.h"
#include "data/DrugRecordset.h"
#include "data/DrugSchema.h"
#include "data/SqlTexts.h"
#include "data/Statement.h"
#include "pinyin/PinyinInitials.h"

#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>

namespace {

constexpr int kDrugs = bench::Drugs;

const QStringList& names() {
    static const QStringList list = bench::generatedNames();
    return list;
}

// A copy of the generated file, made afresh for each run: adding and changing drugs leave the
// generated file as it was made.
QString drugFile() {
    static const QString path = [] {
        const QString generated = bench::ensureBenchFiles().ours;
        const QDir folder(QDir(bench::benchFolder()).filePath(QStringLiteral("google")));
        folder.mkpath(QStringLiteral("."));
        const QString copy = folder.filePath(DrugFileName);
        QFile::remove(copy);
        if (!QFile::copy(generated, copy))
            throw DatabaseError(QStringLiteral("cannot copy %1").arg(generated));
        return copy;
    }();
    return path;
}

DrugConnection& connection() {
    static DrugConnection opened;
    if (!opened.isOpen())
        opened.openFile(drugFile(), DrugPassword);
    return opened;
}

// What the list refill does with each row: read the four columns it keeps.
void fill(DrugRecordset& recordset, const QString& sql, benchmark::State& state) {
    recordset.Open(sql, connection(), adOpenKeyset, adLockReadOnly);
    const qint64 count = recordset.RecordCount();
    for (qint64 i = 0; i < count; ++i) {
        benchmark::DoNotOptimize(recordset.takeField(ChineseNameColumn));
        benchmark::DoNotOptimize(recordset.takeField(EnglishNameColumn));
        benchmark::DoNotOptimize(recordset.takeField(LeafletColumn));
        benchmark::DoNotOptimize(recordset.takeField(KeyColumn));
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
    state.counters["peak_MiB"] = bench::peakResidentMiB();
}
BENCHMARK(BM_FullTableReload)->Unit(benchmark::kMillisecond);

void BM_AddDrug(benchmark::State& state) {
    DrugRecordset recordset;
    QList<qint64> added;
    for (auto _ : state) {
        recordset.Open(FullTableQuery, connection(), adOpenKeyset, adLockOptimistic);
        recordset.AddNew();
        recordset.setField(ChineseNameColumn, Cell(QStringLiteral("阿莫西林")));
        recordset.setField(EnglishNameColumn, Cell(QStringLiteral("Amoxicillin")));
        recordset.setField(LeafletColumn, Cell(QStringLiteral("--")));
        recordset.setField(InitialsColumn, Cell(PinyinInitials(QStringLiteral("阿莫西林"))));
        recordset.Update();
        added.append(recordset.field(KeyColumn).integer().value());
        recordset.Close();
    }
    // Outside the timed loop: take the added drugs out again so that the other benchmarks see
    // 100,000 drugs.
    for (const qint64 key : std::as_const(added)) {
        recordset.Open(keyQuery(key), connection(), adOpenKeyset, adLockOptimistic);
        recordset.Delete();
        recordset.Update();
        recordset.Close();
    }
}
BENCHMARK(BM_AddDrug)->Unit(benchmark::kMillisecond);

void BM_ModifyDrug(benchmark::State& state) {
    DrugRecordset recordset;
    const qint64 key = kDrugs / 2;
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
