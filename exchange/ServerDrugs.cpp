#include "exchange/ServerDrugs.h"

#include "data/DrugSchema.h"
#include "data/ServerConnection.h"
#include "data/ServerSchema.h"
#include "data/Statement.h"

namespace {

constexpr qsizetype BatchDrugs = 1000;
constexpr qsizetype BatchBytes = 8 << 20;

} // namespace

HeldServerDrugs lockServerDrugs(ServerConnection& server) {
    const QString table = quotedIdentifier(DrugTableName);
    server.execute(QStringLiteral("LOCK TABLE %1 IN SHARE ROW EXCLUSIVE MODE").arg(table));
    const ServerResult held = server.execute(
        QStringLiteral("SELECT count(*), coalesce(max(%1), 0) FROM %2").arg(quotedIdentifier(RevisionColumn), table));
    return {held.value(0, 0).integer().value_or(0), held.value(0, 1).integer().value_or(0) + 1};
}

qint64 deleteServerDrugs(ServerConnection& server) {
    return server.execute(QStringLiteral("DELETE FROM %1").arg(quotedIdentifier(DrugTableName))).changedRows();
}

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

ServerDrugBatches::ServerDrugBatches(ServerConnection& server, const QStringList& columns, qint64 revision)
    : m_server(server)
    , m_columns(columns)
    , m_keysGiven(columns.contains(KeyColumn))
    , m_parameters{Cell(revision)} {}

void ServerDrugBatches::add(const Cell& value) {
    m_parameters.push_back(value);
    if (value.kind() == Cell::Kind::Text)
        m_bytes += value.toText().size() * 3;
}

void ServerDrugBatches::endDrug() {
    if (++m_drugs == BatchDrugs || m_bytes >= BatchBytes)
        send();
}

void ServerDrugBatches::finish() {
    if (m_drugs > 0)
        send();
}

// One INSERT of the batch's drugs; $1 is the revision of them all, each drug's values follow.
void ServerDrugBatches::send() {
    QStringList rows;
    rows.reserve(m_drugs);
    int parameter = 2;
    for (qsizetype drug = 0; drug < m_drugs; ++drug) {
        QStringList marks;
        for (qsizetype i = 0; i < m_columns.size(); ++i)
            marks.append(QStringLiteral("$%1").arg(parameter++));
        marks.append(QStringLiteral("$1"));
        rows.append(u'(' + marks.join(u',') + u')');
    }
    // Given keys are kept, also where the identity is GENERATED ALWAYS.
    m_server.execute(QStringLiteral("INSERT INTO %1 (%2)%3 VALUES %4")
                         .arg(quotedIdentifier(DrugTableName),
                              quotedIdentifiers(m_columns + QStringList{RevisionColumn}),
                              m_keysGiven ? QStringLiteral(" OVERRIDING SYSTEM VALUE") : QString(), rows.join(u',')),
                     m_parameters);
    m_parameters.resize(1);
    m_drugs = 0;
    m_bytes = 0;
}
