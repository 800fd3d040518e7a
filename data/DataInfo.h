#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

class DrugConnection;
class QDate;

// Which edition of the data a drug file holds, from its information table (DataInfoTableName).
// An item the file does not hold is empty; a file without the table holds none.
struct DataInfo {
    QString version;
    QString revisionDate;
    QString source;
    QString importDate;
    qint64 localChanges = 0;
};

// Reads the information table without writing anything, so a read-only file shows it too.
// Throws DatabaseError, in Chinese, when a table of that name has another shape.
DataInfo readDataInfo(const DrugConnection& connection);

// Writes the items (name, text) inside the caller's transaction, making the table when the file
// has none. Throws DatabaseError, in Chinese, when a table of that name has another shape.
void writeDataInfo(DrugConnection& connection, const QList<std::pair<QString, QString>>& items);

// Counts one local change inside the caller's transaction, making the table when the file has
// none. Returns false, writing nothing, when a table of that name has another shape: bookkeeping
// must not make a change of a valid drug file fail.
bool countLocalChange(DrugConnection& connection);

// The information and the number of drugs, one Chinese label and its value a line; an item the
// file does not hold reads 未知.
QStringList dataInfoLines(const DataInfo& info, qint64 drugs);

// Records the date of an import inside the import's transaction, as countLocalChange() counts.
bool recordImportDate(DrugConnection& connection, const QDate& date);

// Drugs in the drug table.
qint64 drugCount(const DrugConnection& connection);

// The items a maintainer may set with xiyao-db info --set.
QList<QString> settableDataInfoItems();

// In Chinese, why text is not a revision date (a real calendar date written YYYY-MM-DD);
// nothing when it is one.
std::optional<QString> revisionDateFault(const QString& text);
