#pragma once

#include "data/Cell.h"
#include "data/RowStore.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

class DrugConnection;
class Statement;

// Why a change or a delete of a drug on a server was refused: another seat changed or deleted it
// after this seat read it.
inline const QString DrugChangedElsewhere =
    QStringLiteral("这种药品在您点选之后已被其他座位修改。为了不覆盖别人的修改，这次没有保存任何内容。"
                   "请重新查找并点选它，看过最新的内容后再操作。");
inline const QString DrugDeletedElsewhere =
    QStringLiteral("这种药品在您点选之后已被删除（另一个座位删除了它），没有保存任何内容。请重新查找后再点选。");

// Cursor and lock types of Open(); the program uses only these three values.
constexpr int adOpenKeyset = 1;
constexpr int adLockReadOnly = 1;
constexpr int adLockOptimistic = 3;

// The program's one recordset: the rows a query selected when it opened (so RecordCount is
// true from the start), walked in the store's order. In the optimistic lock mode the rows
// can be changed, deleted and added; each change is on the disk when Update() returns (outside a
// transaction of the connection; inside one, at its commit).
// In the optimistic mode the rows are read when first needed, so adding a drug to a large
// table does not read the table.
// Any failed step throws DatabaseError, drops what was pending and leaves the recordset
// closed and ready for the next Open().
class DrugRecordset {
public:
    DrugRecordset();
    ~DrugRecordset();
    DrugRecordset(const DrugRecordset&) = delete;
    DrugRecordset& operator=(const DrugRecordset&) = delete;

    // parameters are bound to the query's "?" marks in order, so searched-for text never
    // becomes part of the SQL.
    void Open(const QString& sql, DrugConnection& connection, int cursorType, int lockType,
              const QList<Cell>& parameters = {});
    void Close();
    bool isOpen() const { return m_open; }

    // The current row's revision on a server (RevisionColumn), which a change or delete of the row
    // requires unchanged; nothing for a drug file.
    std::optional<qint64> revision();

    qint64 RecordCount();
    bool atEnd(); // past the last row
    void MoveNext();

    // Column read and write by name on the current row, or on the row begun by AddNew().
    Cell field(const QString& column);
    // The same value as field(), taken out of a read-only recordset's row where that can be done
    // without a copy (reading it again may then give Empty): a walk that reads each value once
    // does not share the text with the recordset, so closing it does not touch the text again.
    Cell takeField(const QString& column);
    void setField(const QString& column, const Cell& value);

    void AddNew();
    void Delete();
    void Update();

private:
    enum class Pending { None, Add, Change, Delete };

    void requireOpen();
    void requireEditable();
    void requireCurrentRow();
    int columnIndex(const QString& column);
    [[noreturn]] void failAndClose(const QString& message);
    void readEditInfo(const Statement& statement);
    void openOnFile(const QString& sql, DrugConnection& connection, const QList<Cell>& parameters);
    void openOnServer(const QString& sql, DrugConnection& connection, const QList<Cell>& parameters);
    void readRows(Statement& statement);
    void keepAddedRow(std::vector<Cell> row);
    void storeAddedRowOnServer();
    void storeChangedRowOnServer();
    void storeDeletionOnServer();
    QString changedElsewhere();
    void ensureRows();
    void storeAddedRow();
    QString keyName() const;
    void storeChangedRow();
    void storeDeletion();

    DrugConnection* m_connection = nullptr;
    bool m_open = false;
    bool m_editable = false;
    QStringList m_columns;
    std::unique_ptr<Statement> m_unread; // the query, while its rows are not read yet
    struct UnreadQuery {
        QString sql;
        QList<Cell> parameters;
    };
    std::optional<UnreadQuery> m_unreadOnServer; // the same, for a server
    std::optional<std::vector<Cell>> m_addedBeforeRead;
    RowStore m_rows;
    size_t m_position = 0;
    // Where each column's name was last asked for: the callers ask with the same constants
    // row after row, and a name found by its address is only compared, not searched for.
    std::vector<const QChar*> m_askedNames;

    // Edit mode: the one table behind the rows and the column holding each row's key.
    QString m_table;
    QStringList m_originColumns;
    int m_keyColumn = -1;

    Pending m_pending = Pending::None;
    std::vector<std::pair<QString, Cell>> m_writes;
};
