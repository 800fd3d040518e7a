#pragma once

#include "data/Cell.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

struct sqlite3;

// The bench's drug files: 100,000 generated drugs, the same every time, made once and kept
// in $XIYAO_BENCH_DIR (default build/bench-data).
namespace bench {

constexpr int Drugs = 100000;

struct GeneratedDrug {
    QString chineseName;
    QString englishName;
    QString leaflet;
};

QString benchFolder();

// The Chinese names alone, as the generator makes them (cheap: no leaflets).
QStringList generatedNames();
// The first count drugs in order; names as generatedNames().
void generateDrugs(const std::function<void(const GeneratedDrug&)>& take, int count = Drugs);

// The file as the program makes it (through data/), and the same rows in the engine's
// default layout: 1024-byte pages, the leaflet before 拼音. Both are made when missing or
// made by another version of the generator.
struct BenchFiles {
    QString ours;
    QString defaultLayout;
};
BenchFiles ensureBenchFiles();

// A plain engine connection with the drug file's key and the given page size.
sqlite3* openRaw(const QString& path, int pageSize);
void closeRaw(sqlite3* db);

// The process's peak resident memory so far, in MiB.
double peakResidentMiB();

} // namespace bench
