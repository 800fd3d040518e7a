#pragma once

class DrugConnection;
class QIODevice;

// Writes every drug of the file to out as UTF-8 CSV: a header of all the columns, then one
// record a drug in the order of their keys, each ended by CR LF. withBom puts a UTF-8 byte
// order mark first, by which spreadsheet programs know the encoding. Returns false when out
// refuses the text (out's errorString() says why); throws DatabaseError when the engine fails.
[[nodiscard]] bool exportDrugs(DrugConnection& connection, QIODevice& out, bool withBom = false);
