#include "tests/support/DrugFileFixture.h"

#include "data/DrugConnection.h"
#include "data/DrugSchema.h"
#include "data/Statement.h"

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

DrugFileFixture::DrugFileFixture() {
    if (!QFile::copy(emptyDrugFile(), path()))
        qFatal("cannot copy the empty drug file");
}

DrugFileFixture::~DrugFileFixture() = default;

DrugConnection& DrugFileFixture::connection() const {
    if (!m_connection) {
        m_connection = std::make_unique<DrugConnection>();
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
