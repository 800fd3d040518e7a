#include "exchange/DrugImport.h"

#include "data/DataInfo.h"
#include "data/DatabaseError.h"
#include "data/DrugConnection.h"
#include "data/DrugRows.h"
#include "data/DrugSchema.h"
#include "data/ServerConnection.h"
#include "data/Statement.h"
#include "exchange/Csv.h"
#include "exchange/CsvTable.h"
#include "exchange/ServerDrugs.h"
#include "pinyin/PinyinInitials.h"

#include <QBuffer>
#include <QDate>
#include <QSet>

#include <algorithm>
#include <limits>
#include <optional>

namespace {

// Which CSV field goes into which table column.
struct ImportPlan {
    qsizetype chineseNameField = -1;
    QList<qsizetype> sourceFields;
    QStringList targetColumns;
};

// The drug rows of a CSV text, decoded and checked against its header.
class DrugRowReader {
public:
    // Reads the header; throws CsvError.
    // refuseNul: for a server, which cannot hold U+0000 in its text.
    DrugRowReader(QIODevice& csv, CsvEncoding encoding, bool refuseNul = false)
        : m_table(csv, encoding, {drugColumns(), {ChineseNameColumn}, importedColumns()})
        , m_plan(readPlan())
        , m_refuseNul(refuseNul) {}

    const ImportPlan& plan() const { return m_plan; }
    // The rows without any text passed over so far, blank lines included.
    qint64 emptyRows() const { return m_table.emptyRows(); }

    // The next row's fields as text; false after the last. Throws CsvError for a row that
    // must not be imported.
    bool next(QStringList& texts) {
        if (!m_table.next(texts))
            return false;
        if (texts[m_plan.chineseNameField].trimmed().isEmpty())
            throw CsvError(m_table.recordLine(), QStringLiteral("缺少中文名"));
        if (m_refuseNul) {
            for (const qsizetype source : m_plan.sourceFields) {
                if (texts[source].contains(QChar(0)))
                    throw CsvError(
                        m_table.recordLine(),
                        QStringLiteral("“%1”中有空字符（U+0000），数据库服务器无法保存").arg(m_table.names()[source]));
            }
        }
        return true;
    }

private:
    // The key and the initials are never taken from the text: the file numbers its drugs
    // itself, and initials are always computed from the name.
    ImportPlan readPlan() const {
        const QStringList& names = m_table.names();
        ImportPlan plan;
        for (qsizetype i = 0; i < names.size(); ++i) {
            const QString& name = names[i];
            if (name == ChineseNameColumn)
                plan.chineseNameField = i;
            if (name == KeyColumn || name == InitialsColumn)
                continue;
            plan.sourceFields.append(i);
            plan.targetColumns.append(name);
        }
        return plan;
    }

    CsvTableReader m_table;
    ImportPlan m_plan;
    bool m_refuseNul;
};

// The Chinese names the drug list holds.
QSet<QString> storedNames(DrugConnection& connection) {
    DrugRows rows(connection, {ChineseNameColumn});
    QSet<QString> names;
    while (rows.next()) {
        const Cell name = rows.value(0);
        if (!name.isNull())
            names.insert(name.toText());
    }
    return names;
}

// The first pass reads every row and writes nothing, so a bad row stops the import before
// anything is written. It counts the rows and finds those whose name is among stored.
ImportResult surveyRows(QIODevice& csv, const QSet<QString>& stored, CsvEncoding encoding, bool refuseNul) {
    DrugRowReader rows(csv, encoding, refuseNul);
    const qsizetype nameField = rows.plan().chineseNameField;
    ImportResult result;
    QSet<QString> listed;
    QStringList texts;
    while (rows.next(texts)) {
        ++result.imported;
        const QString& name = texts[nameField];
        if (!stored.contains(name))
            continue;
        ++result.existingRows;
        if (!listed.contains(name)) {
            listed.insert(name);
            result.existingNames.append(name);
        }
    }
    result.emptyRows = rows.emptyRows();
    return result;
}

// The first pass. A text that is not UTF-8 may be what spreadsheet programs on Chinese Windows
// save; then the complaint says so.
ImportResult surveyText(QIODevice& text, qint64 start, const QSet<QString>& stored, CsvEncoding encoding,
                        bool refuseNul) {
    try {
        return surveyRows(text, stored, encoding, refuseNul);
    } catch (const NotUtf8Error& error) {
        throwIfGb18030(text, start, error);
        throw;
    }
}

// The highest key the file has given: its drugs' keys, and the AUTOINCREMENT counter, which
// remembers deleted drugs too. A table without that counter forgets a deleted drug's key.
qint64 highestKey(DrugConnection& connection) {
    const QString table = quotedIdentifier(DrugTableName);
    qint64 highest = 0;
    {
        Statement select(connection, QStringLiteral("SELECT max(%1) FROM %2").arg(quotedIdentifier(KeyColumn), table));
        select.step();
        highest = select.column(0).integer().value_or(0);
    }
    Statement counter(connection, QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = 'sqlite_sequence'"));
    if (!counter.step())
        return highest;
    Statement sequence(connection, QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = ?1"));
    sequence.bind(1, Cell(DrugTableName));
    if (sequence.step())
        highest = std::max(highest, sequence.column(0).integer().value_or(0));
    return highest;
}

// Empties the drug table and returns how many drugs it held.
qint64 deleteAllDrugs(DrugConnection& connection) {
    const QString table = quotedIdentifier(DrugTableName);
    qint64 count = 0;
    {
        Statement select(connection, QStringLiteral("SELECT count(*) FROM %1").arg(table));
        select.step();
        count = select.column(0).integer().value_or(0);
    }
    connection.execute(QStringLiteral("DELETE FROM %1").arg(table));
    return count;
}

// withKeys: the key is the first value, instead of the engine giving each row the next key.
QString insertSql(const ImportPlan& plan, bool withKeys) {
    QStringList columns;
    if (withKeys)
        columns.append(quotedIdentifier(KeyColumn));
    for (const QString& column : plan.targetColumns)
        columns.append(quotedIdentifier(column));
    columns.append(quotedIdentifier(InitialsColumn));
    const QStringList marks(columns.size(), QStringLiteral("?"));
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(quotedIdentifier(DrugTableName), columns.join(u','), marks.join(u','));
}

// Hands insert every row whose Chinese name is not among leftOut, with how many went before it.
template <typename Insert>
void insertRows(DrugRowReader& rows, const QSet<QString>& leftOut, qint64 total, const ImportProgress& progress,
                Insert insert) {
    const qsizetype nameField = rows.plan().chineseNameField;
    QStringList texts;
    qint64 done = 0;
    while (rows.next(texts)) {
        if (leftOut.contains(texts[nameField]))
            continue;
        insert(texts, done);
        ++done;
        if (progress && total >= ImportProgressStep && done % ImportProgressStep == 0)
            progress(done, total);
    }
}

// With firstKey, the rows get keys from it on in the order of the text.
void insertFileRows(QIODevice& csv, CsvEncoding encoding, DrugConnection& connection, const QSet<QString>& leftOut,
                    qint64 total, std::optional<qint64> firstKey, const ImportProgress& progress) {
    DrugRowReader rows(csv, encoding);
    const ImportPlan& plan = rows.plan();
    Statement insert(connection, insertSql(plan, firstKey.has_value()));
    insertRows(rows, leftOut, total, progress, [&](const QStringList& texts, qint64 done) {
        int position = 1;
        if (firstKey)
            insert.bind(position++, Cell(*firstKey + done));
        for (const qsizetype source : plan.sourceFields)
            insert.bind(position++, Cell(texts[source]));
        insert.bind(position, Cell(PinyinInitials(texts[plan.chineseNameField])));
        insert.step();
        insert.reset();
    });
}

// The server's identity gives the keys; every row gets revision.
void insertServerRows(QIODevice& csv, CsvEncoding encoding, ServerConnection& server, const QSet<QString>& leftOut,
                      qint64 total, qint64 revision, const ImportProgress& progress) {
    DrugRowReader rows(csv, encoding, true);
    const ImportPlan& plan = rows.plan();
    ServerDrugBatches batches(server, plan.targetColumns + QStringList{InitialsColumn}, revision);
    insertRows(rows, leftOut, total, progress, [&](const QStringList& texts, qint64) {
        for (const qsizetype source : plan.sourceFields)
            batches.add(Cell(texts[source]));
        batches.add(Cell(PinyinInitials(texts[plan.chineseNameField])));
        batches.endDrug();
    });
    batches.finish();
}

// While it lives, the connection's page cache is large enough that nothing reaches the file
// before the commit; then the connection gets its own size back.
class LargeCache {
public:
    explicit LargeCache(DrugConnection& connection)
        : m_connection(connection) {
        m_previous = connection.pragmaNumber(QStringLiteral("cache_size"));
        connection.execute(QStringLiteral("PRAGMA cache_size = -1000000"));
    }
    ~LargeCache() {
        try {
            m_connection.execute(QStringLiteral("PRAGMA cache_size = %1").arg(m_previous));
        } catch (const DatabaseError&) {
            // Only the cache's size is at stake, not a drug.
        }
    }
    LargeCache(const LargeCache&) = delete;
    LargeCache& operator=(const LargeCache&) = delete;

private:
    DrugConnection& m_connection;
    qint64 m_previous = -2000; // the engine's default
};

} // namespace

QStringList importedColumns() {
    QStringList columns = drugColumns();
    columns.removeOne(KeyColumn);
    columns.removeOne(InitialsColumn);
    return columns;
}

ImportResult importDrugs(DrugConnection& connection, QIODevice& csv, ImportMode mode, const ImportProgress& progress,
                         CsvEncoding encoding) {
    // The text is read twice; what cannot be read again (a pipe) is kept in memory.
    QBuffer kept;
    if (csv.isSequential()) {
        kept.setData(csv.readAll());
        kept.open(QIODevice::ReadOnly);
    }
    QIODevice& text = csv.isSequential() ? static_cast<QIODevice&>(kept) : csv;
    const qint64 start = text.pos();

    ServerConnection* const server = connection.server();
    std::optional<LargeCache> cache;
    if (!server)
        cache.emplace(connection);
    // The names are read inside the transaction: no other program changes them before the rows go in.
    connection.beginTransaction();
    try {
        // A server's table is locked against other writers as a file is by its transaction.
        const HeldServerDrugs held = server ? lockServerDrugs(*server) : HeldServerDrugs();
        const QSet<QString> stored = mode == ImportMode::Replace ? QSet<QString>() : storedNames(connection);
        ImportResult result = surveyText(text, start, stored, encoding, server != nullptr);
        text.seek(start);
        if (mode == ImportMode::SkipExisting)
            result.imported -= result.existingRows;
        const QSet<QString> leftOut = mode == ImportMode::SkipExisting ? stored : QSet<QString>();
        if (server) {
            // The identity never gives a key twice, so a replaced drug's key stays unused; drugs put
            // in by hand under keys of their own have it moved past them first.
            if (mode == ImportMode::Replace)
                result.deleted = deleteServerDrugs(*server);
            moveIdentityPastKeys(*server);
            insertServerRows(text, encoding, *server, leftOut, result.imported, held.nextRevision, progress);
        } else {
            std::optional<qint64> firstKey;
            if (mode == ImportMode::Replace) {
                // An emptied table would give keys from 1 again, and a window still showing an old
                // drug would then change a new one; the new drugs follow the old keys instead.
                const qint64 highest = highestKey(connection);
                if (highest > std::numeric_limits<qint64>::max() - result.imported)
                    throw DatabaseError(QStringLiteral("药品编号已经用尽，无法导入"));
                firstKey = highest + 1;
                result.deleted = deleteAllDrugs(connection);
            }
            insertFileRows(text, encoding, connection, leftOut, result.imported, firstKey, progress);
        }
        recordImportDate(connection, QDate::currentDate());
        connection.commit();
        return result;
    } catch (...) {
        connection.rollback();
        throw;
    }
}
