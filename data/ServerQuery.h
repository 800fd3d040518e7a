#pragma once

#include "data/Cell.h"

#include <QList>
#include <QString>
#include <QStringList>

class DrugConnection;
class RowStore;

// A seat on a server is sent the same SQL texts as the drug file (SqlTexts.h). The server gets
// each one's equivalent, so that the seat lists exactly what the file would: the rows in the
// file's order (the key's), LIKE matching Latin letters in any case as the file's engine does,
// and the drug table's columns in the file's order, the revision after them. The find window's
// ranking and the lists by name run in the program, with the functions defined on the connection,
// over the names the server sends.

// The columns of a row read from the server: serverDrugColumns(), then RevisionColumn.
QStringList serverRowColumns();

// Throws DatabaseError, in Chinese, for a text the server is never sent in its place.
void requireServerQuery(const QString& sql);

// Appends to rows (of serverRowColumns()' width) what sql, bound to parameters, selects. Throws
// DatabaseError (a ServerError for the server's failures).
void readServerRows(DrugConnection& connection, const QString& sql, const QList<Cell>& parameters, RowStore& rows);
