#pragma once

#include <QtGlobal>

#include <functional>

class DrugConnection;
class QIODevice;

// How far a large import has come: rows inserted so far and rows in the text.
using ImportProgress = std::function<void(qint64 done, qint64 total)>;

// A large import reports its progress every so many rows; a small one keeps quiet.
inline constexpr qint64 ImportProgressStep = 10000;

// Adds the drugs of a UTF-8 CSV text to the drug file and returns how many. The header names
// the columns in any order and must hold 中文名; 编号 and 拼音 are never taken from the text,
// the initials are computed from the Chinese name. Every row is checked before the first is
// written, and all are written in one transaction: a bad row throws CsvError with its line,
// a failing engine throws DatabaseError, and either way the drug file keeps what it had.
qint64 importDrugs(DrugConnection& connection, QIODevice& csv, const ImportProgress& progress = {});
