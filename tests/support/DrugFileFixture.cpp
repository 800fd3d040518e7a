#include "tests/support/DrugFileFixture.h"

#include "data/DrugConnection.h"
#include "data/DrugSchema.h"
#include "data/ServerConnection.h"
#include "data/ServerSchema.h"
#include "data/Statement.h"
#include "tests/support/PostgresServer.h"

#include <cstdio>
#include <cstdlib>

#include <QFile>
#include <QTemporaryDir>

namespace {

// A new drug file costs a key derivation (tens of milliseconds, on purpose); the tests make
// hundreds. Each starts as a copy of one made per test program.
QString emptyDrugFile() {
    static QTemporaryDir folder;
    static const QString path = [] {
        const QString made = folder.filePath(DrugFileName);
        DrugConnection::create(made, DrugPassword);
        return made;
    }();
    return path;
}

} // namespace

bool drugsOnServer() {
    return qEnvironmentVariable("XIYAO_TEST_ON_SERVER") == QLatin1String("1");
}

PostgresServer& testServer() {
    static std::unique_ptr<PostgresServer> server;
    if (!server) {
        QString reason = PostgresServer::unavailableReason();
        if (reason.isEmpty()) {
            server = std::make_unique<PostgresServer>();
            reason = server->start();
        }
        if (!reason.isEmpty()) {
            std::printf("%s\n", reason.toUtf8().constData());
            std::fflush(stdout);
            std::exit(77);
        }
    }
    return *server;
}

QString testServerUrl() {
    return testServer().url();
}

DrugFileFixture::DrugFileFixture() {
    if (!QFile::copy(emptyDrugFile(), path()))
        qFatal("cannot copy the empty drug file");
    if (drugsOnServer()) {
        m_server = std::make_unique<ServerConnection>();
        m_server->open(testServerUrl());
        m_server->execute(QStringLiteral("DROP TABLE IF EXISTS %1, %2")
                              .arg(quotedIdentifier(DrugTableName), quotedIdentifier(DataInfoTableName)));
        createServerTables(*m_server);
        // As a new drug file, without the information table.
        m_server->execute(QStringLiteral("DROP TABLE %1").arg(quotedIdentifier(DataInfoTableName)));
    }
}

DrugFileFixture::~DrugFileFixture() = default;

DrugConnection& DrugFileFixture::connection() const {
    if (!m_connection) {
        m_connection = std::make_unique<DrugConnection>();
        if (m_server)
            m_connection->openServer(testServerUrl());
        else
            m_connection->openFile(path(), DrugPassword);
    }
    return *m_connection;
}

QString DrugFileFixture::path() const {
    return m_dir.filePath(DrugFileName);
}

QByteArray DrugFileFixture::bytes() const {
    QFile file(path());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

qint64 DrugFileFixture::insert(const QString& chineseName, const Cell& initials, const QString& englishName,
                               const QString& leaflet) {
    if (m_server)
        return m_server
            ->execute(
                QStringLiteral("INSERT INTO %1 (%2, %3, %4, %5) VALUES ($1, $2, $3, $4) RETURNING %6")
                    .arg(DrugTableName, ChineseNameColumn, EnglishNameColumn, LeafletColumn, InitialsColumn, KeyColumn),
                {Cell(chineseName), Cell(englishName), Cell(leaflet), initials})
            .value(0, 0)
            .integer()
            .value();
    Statement insert(connection(),
                     QStringLiteral("INSERT INTO %1 (%2, %3, %4, %5) VALUES (?, ?, ?, ?)")
                         .arg(DrugTableName, ChineseNameColumn, EnglishNameColumn, LeafletColumn, InitialsColumn));
    insert.bind(1, Cell(chineseName));
    insert.bind(2, Cell(englishName));
    insert.bind(3, Cell(leaflet));
    insert.bind(4, initials);
    insert.step();
    Statement last(connection(), QStringLiteral("SELECT max(%1) FROM %2").arg(KeyColumn, DrugTableName));
    last.step();
    return last.column(0).integer().value();
}

QList<DrugFileFixture::Drug> DrugFileFixture::readAll() const {
    if (m_server) {
        const ServerResult rows = m_server->execute(
            QStringLiteral("SELECT %1, %2, %3, %4, %5 FROM %6 ORDER BY %1")
                .arg(KeyColumn, ChineseNameColumn, EnglishNameColumn, LeafletColumn, InitialsColumn, DrugTableName));
        QList<Drug> drugs;
        for (int row = 0; row < rows.rowCount(); ++row)
            drugs.append({rows.value(row, 0).integer().value(), rows.value(row, 1), rows.value(row, 2),
                          rows.value(row, 3), rows.value(row, 4)});
        return drugs;
    }
    Statement select(connection(), QStringLiteral("SELECT %1, %2, %3, %4, %5 FROM %6 ORDER BY %1")
                                       .arg(KeyColumn, ChineseNameColumn, EnglishNameColumn, LeafletColumn,
                                            InitialsColumn, DrugTableName));
    QList<Drug> drugs;
    while (select.step()) {
        Drug drug;
        drug.key = select.column(0).integer().value();
        drug.chineseName = select.column(1);
        drug.englishName = select.column(2);
        drug.leaflet = select.column(3);
        drug.initials = select.column(4);
        drugs.append(drug);
    }
    return drugs;
}

void DrugFileFixture::execute(const QString& sql) const {
    if (m_server) {
        m_server->execute(sql);
        return;
    }
    DrugConnection other;
    other.openFile(path(), DrugPassword);
    other.execute(sql);
}

Cell DrugFileFixture::value(const QString& sql) const {
    if (m_server)
        return m_server->execute(sql).value(0, 0);
    Statement select(connection(), sql);
    return select.step() ? select.column(0) : Cell::null();
}
