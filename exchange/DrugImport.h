#pragma once

#include "exchange/CsvTable.h"

#include <QStringList>
#include <QtGlobal>

#include <functional>

class DrugConnection;
class QIODevice;

// How far a large import has come: rows inserted so far and rows to insert.
using ImportProgress = std::function<void(qint64 done, qint64 total)>;

// A large import reports its progress every so many rows; a small one keeps quiet.
inline constexpr qint64 ImportProgressStep = 10000;

// What becomes of rows whose Chinese name the file already holds (compared exactly, as the
// file held them before the import).
enum class ImportMode {
    Add,          // imported like any other row; the result names them
    SkipExisting, // left out
    Replace,      // every drug of the file is deleted first, in the import's own transaction
};

struct ImportResult {
    qint64 imported = 0;
    // Rows of the text whose Chinese name the file already held, and those names, each once
    // in the order of the text. Replace finds none: the file's drugs go first.
    qint64 existingRows = 0;
    QStringList existingNames;
    qint64 deleted = 0;   // drugs that Replace took out of the file
    qint64 emptyRows = 0; // rows without any text and blank lines, passed over
};

// The columns whose text an import takes, in the order of drugColumns(). A header may name
// 编号 and 拼音 too, but they are never read.
QStringList importedColumns();

// Adds the drugs of a CSV text in the given encoding to the drug file, or to the server the
// connection is open on. The header names the columns in any order and must hold 中文名; empty
// cells at its end are passed over, and so are rows without any text. 编号 and 拼音 are never taken
// from the text, the initials are computed from the Chinese name, and new drugs get keys above
// every key the file ever gave (on a server, from its identity, at a revision above every one its
// table holds). Every row is checked before the first is written, and all are written in one
// transaction: a bad row throws CsvError with its line (Gb18030TextError when a UTF-8 text is
// GB18030; for a server, also a text with U+0000, which it cannot hold), a failing engine or server
// throws DatabaseError, and either way the drug list keeps what it had. The import's date goes into
// the information table (DataInfo) in the same transaction.
ImportResult importDrugs(DrugConnection& connection, QIODevice& csv, ImportMode mode = ImportMode::Add,
                         const ImportProgress& progress = {}, CsvEncoding encoding = CsvEncoding::Utf8);
