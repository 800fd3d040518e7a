#include "exchange/DrugPublish.h"

#include "data/DataInfo.h"
#include "data/DrugConnection.h"
#include "data/DrugSchema.h"
#include "data/ServerConnection.h"
#include "data/ServerSchema.h"
#include "data/Statement.h"

#include <QScopeGuard>

#include <vector>

namespace {

// One statement carries this many drugs at most, or about this many bytes of text: few round
// trips, and a batch of long leaflets still fits in memory.
constexpr qsizetype BatchDrugs = 1000;
constexpr qsizetype BatchBytes = 8 << 20;

// INSERT of drugs rows; $1 is the revision of them all, each drug's columns follow.
QString insertSql(qsizetype drugs) {
    const QStringList columns = serverDrugColumns();
    QStringList rows;
    rows.reserve(drugs);
    int parameter = 2;
    for (qsizetype drug = 0; drug < drugs; ++drug) {
        QStringList marks;
        for (qsizetype i = 0; i < columns.size(); ++i)
            marks.append(QStringLiteral("$%1").arg(parameter++));
        marks.append(QStringLiteral("$1"));
        rows.append(u'(' + marks.join(u',') + u')');
    }
    // The drugs keep the file's keys, also where the identity is GENERATED ALWAYS.
    return QStringLiteral("INSERT INTO %1 (%2) OVERRIDING SYSTEM VALUE VALUES %3")
        .arg(quotedIdentifier(DrugTableName), quotedIdentifiers(columns + QStringList{RevisionColumn}),
             rows.join(u','));
}

// Sends the file's drugs in batches and returns how many went.
qint64 copyDrugs(DrugConnection& file, ServerConnection& server, qint64 revision, qint64 total,
                 const ImportProgress& progress) {
    const QStringList columns = serverDrugColumns();
    Statement select(
        file, QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                  .arg(quotedIdentifiers(columns), quotedIdentifier(DrugTableName), quotedIdentifier(KeyColumn)));
    std::vector<Cell> parameters{Cell(revision)};
    qsizetype batched = 0;
    qsizetype bytes = 0;
    qint64 done = 0;
    const auto send = [&] {
        server.execute(insertSql(batched), parameters);
        parameters.resize(1);
        batched = 0;
        bytes = 0;
    };
    while (select.step()) {
        parameters.push_back(select.column(0));
        for (int i = 1; i < columns.size(); ++i) {
            // Every column but the key is text on the server, as the file's declared type says.
            const Cell value = select.column(i);
            parameters.push_back(value.isNull() || value.isEmpty() ? Cell::null() : Cell(value.toText()));
            bytes += parameters.back().toText().size() * 3;
        }
        ++done;
        if (++batched == BatchDrugs || bytes >= BatchBytes)
            send();
        if (progress && total >= ImportProgressStep && done % ImportProgressStep == 0)
            progress(done, total);
    }
    if (batched > 0)
        send();
    return done;
}

// The identity goes past the largest key, and never back: a key the server gave once, to a drug
// deleted since, may still be shown at a seat and must not come to name another drug.
void moveIdentityPastKeys(ServerConnection& server) {
    server.execute(
        QStringLiteral("WITH s AS (SELECT pg_get_serial_sequence($1, $2)::regclass AS sequence), "
                       "k AS (SELECT coalesce(max(%3), 0) AS highest FROM %4), "
                       "g AS (SELECT coalesce(max(q.last_value), 0) AS given FROM s JOIN pg_sequences q "
                       "ON format('%I.%I', q.schemaname, q.sequencename)::regclass = s.sequence) "
                       "SELECT setval(s.sequence, greatest(k.highest, g.given, 1), greatest(k.highest, g.given) >= 1) "
                       "FROM s, k, g")
            .arg(quotedIdentifier(KeyColumn), quotedIdentifier(DrugTableName)),
        {quotedIdentifier(DrugTableName), KeyColumn});
}

// The file's information takes the place of the server's; items the program does not know are
// left alone.
void writeServerInfo(ServerConnection& server, const DataInfo& info, const QDate& date) {
    const QString table = quotedIdentifier(DataInfoTableName);
    const QString item = quotedIdentifier(DataInfoItemColumn);
    const QString value = quotedIdentifier(DataInfoValueColumn);
    const std::pair<QString, QString> items[] = {
        {DataVersionItem, info.version},
        {RevisionDateItem, info.revisionDate},
        {SourceItem, info.source},
        {ImportDateItem, date.toString(Qt::ISODate)},
        {LocalChangesItem, QString::number(info.localChanges)},
    };
    for (const auto& [name, text] : items) {
        server.execute(QStringLiteral("DELETE FROM %1 WHERE %2 = $1").arg(table, item), {name});
        if (!text.isEmpty())
            server.execute(QStringLiteral("INSERT INTO %1 (%2, %3) VALUES ($1, $2)").arg(table, item, value),
                           {name, text});
    }
}

} // namespace

PublishResult publishDrugs(DrugConnection& file, ServerConnection& server, PublishMode mode,
                           const ImportProgress& progress, const QDate& date) {
    // One read transaction: the drugs and the information of one moment of the file.
    file.execute(QStringLiteral("BEGIN"));
    const auto fileRead = qScopeGuard([&file] { file.rollback(); });
    const DataInfo info = readDataInfo(file);
    const qint64 total = drugCount(file);

    server.beginTransaction();
    try {
        createServerTables(server);
        requireUsableServerTables(server);
        const QString table = quotedIdentifier(DrugTableName);
        // Seats read on while the drugs change, but nobody else writes them before the commit.
        server.execute(QStringLiteral("LOCK TABLE %1 IN SHARE ROW EXCLUSIVE MODE").arg(table));
        const ServerResult held = server.execute(QStringLiteral("SELECT count(*), coalesce(max(%1), 0) FROM %2")
                                                     .arg(quotedIdentifier(RevisionColumn), table));
        const qint64 drugs = held.value(0, 0).integer().value_or(0);
        if (drugs > 0 && mode != PublishMode::Replace)
            throw ServerHoldsDrugsError(drugs);
        PublishResult result;
        if (drugs > 0)
            result.deleted = server.execute(QStringLiteral("DELETE FROM %1").arg(table)).changedRows();
        // Above every revision replaced: a seat still showing a replaced drug finds its revision
        // gone even where the new drug under that key has never been changed.
        const qint64 revision = held.value(0, 1).integer().value_or(0) + 1;
        result.published = copyDrugs(file, server, revision, total, progress);
        moveIdentityPastKeys(server);
        writeServerInfo(server, info, date);
        server.commit();
        return result;
    } catch (...) {
        server.rollback();
        throw;
    }
}
