#include "exchange/DrugPublish.h"

#include "data/DataInfo.h"
#include "data/DrugConnection.h"
#include "data/DrugRows.h"
#include "data/DrugSchema.h"
#include "data/ServerConnection.h"
#include "data/ServerSchema.h"
#include "data/Statement.h"
#include "exchange/ServerDrugs.h"

#include <QScopeGuard>

namespace {

// Sends the file's drugs in batches and returns how many went.
qint64 copyDrugs(DrugConnection& file, ServerConnection& server, qint64 revision, qint64 total,
                 const ImportProgress& progress) {
    const QStringList columns = serverDrugColumns();
    DrugRows rows(file, columns);
    ServerDrugBatches batches(server, columns, revision);
    qint64 done = 0;
    while (rows.next()) {
        batches.add(rows.value(0));
        for (int i = 1; i < columns.size(); ++i) {
            // Every column but the key is text on the server, as the file's declared type says.
            const Cell value = rows.value(i);
            batches.add(value.isNull() || value.isEmpty() ? Cell::null() : Cell(value.toText()));
        }
        batches.endDrug();
        ++done;
        if (progress && total >= ImportProgressStep && done % ImportProgressStep == 0)
            progress(done, total);
    }
    batches.finish();
    return done;
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
        const HeldServerDrugs held = lockServerDrugs(server);
        if (held.drugs > 0 && mode != PublishMode::Replace)
            throw ServerHoldsDrugsError(held.drugs);
        PublishResult result;
        if (held.drugs > 0)
            result.deleted = deleteServerDrugs(server);
        result.published = copyDrugs(file, server, held.nextRevision, total, progress);
        moveIdentityPastKeys(server);
        writeServerInfo(server, info, date);
        server.commit();
        return result;
    } catch (...) {
        server.rollback();
        throw;
    }
}
