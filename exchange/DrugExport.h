#pragma once

#include "exchange/Csv.h"

class DrugConnection;
class QIODevice;

// Writes every drug of the drug file, or of the server the connection is open on, to out as
// CSV in the given encoding: a header of all the columns, then one record a drug in the order of
// their keys, each ended by CR LF as spreadsheet programs expect. withBom puts a UTF-8 byte order
// mark before a UTF-8 text, by which those programs know the encoding; a GB18030 text has none,
// being what they read without one. Returns false when out refuses the text (out's errorString()
// says why); throws DatabaseError when the engine or the server fails.
[[nodiscard]] bool exportDrugs(DrugConnection& connection, QIODevice& out, CsvEncoding encoding = CsvEncoding::Utf8,
                               bool withBom = false);
