#include "data/DatabaseError.h"
#include "data/DrugConnection.h"
#include "data/DrugRecordset.h"
#include "data/DrugSchema.h"
#include "data/SqlTexts.h"
#include "data/Statement.h"
#include "tests/support/DrugFileFixture.h"
#include "tests/support/ReadOnlyFile.h"

#include <QtTest>

namespace {

QStringList walkNames(DrugRecordset& recordset) {
    QStringList names;
    const qint64 count = recordset.RecordCount();
    for (qint64 i = 0; i < count; ++i) {
        names.append(recordset.field(ChineseNameColumn).toText());
        recordset.MoveNext();
    }
    return names;
}

} // namespace

class TestRecordset : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void keypadMatches_data();
    void keypadMatches();
    void fullTableListsNullInitials();
    void zeroRows();
    void addChangeDeleteInOneRun();
    void keysAreNeverReused();
    void changesAddressTheKeyColumn();
    void valuesAreBoundNotSpliced();
    void valuesComeBackAsStored_data();
    void valuesComeBackAsStored();
    void keysetKeepsTheRowsSelectedAtOpen();
    void readOnlyRefusesWritesAndStaysUsable();
    void refusesStatementsThatChangeData();
    void failedUpdateOnReadOnlyFile();
    void failedUpdateWhileAnotherConnectionWrites();
    void changeOfRowDeletedMeanwhile();
};

void TestRecordset::keypadMatches_data() {
    QTest::addColumn<QString>("letters");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("ab") << QStringLiteral("ab")
                        << QStringList{QStringLiteral("XABY"), QStringLiteral("ab"), QStringLiteral("AB")};
    QTest::newRow("none") << QString()
                          << QStringList{QStringLiteral("XABY"), QStringLiteral("ab"),  QStringLiteral("AB"),
                                         QStringLiteral("BA"),   QStringLiteral("A B"), QStringLiteral("empty")};
    QTest::newRow("no match") << QStringLiteral("zz") << QStringList();
}

void TestRecordset::keypadMatches() {
    QFETCH(QString, letters);
    QFETCH(QStringList, expected);
    DrugFileFixture file;
    // Each drug is named after its initials, so the names tell which rows came back.
    for (const char* initials : {"XABY", "ab", "AB", "BA", "A B"})
        file.insert(QString::fromLatin1(initials), Cell(QString::fromLatin1(initials)));
    file.insert(QStringLiteral("empty"), Cell(QString()));
    file.insert(QStringLiteral("null"), Cell::null());
    DrugConnection connection;
    connection.openFile(file.path(), DrugPassword);
    DrugRecordset recordset;
    recordset.Open(keypadQuery(letters), connection, adOpenKeyset, adLockReadOnly);
    QCOMPARE(recordset.RecordCount(), expected.size());
    QStringList names = walkNames(recordset);
    QVERIFY(recordset.atEnd());
    QCOMPARE(recordset.RecordCount(), expected.size());
    recordset.Close();
    names.sort();
    expected.sort();
    QCOMPARE(names, expected);
}

void TestRecordset::fullTableListsNullInitials() {
    DrugFileFixture file;
    file.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("AMXL")));
    file.insert(QStringLiteral("无拼音"), Cell::null());
    DrugConnection connection;
    connection.openFile(file.path(), DrugPassword);
    DrugRecordset recordset;
    recordset.Open(FullTableQuery, connection, adOpenKeyset, adLockReadOnly);
    QCOMPARE(walkNames(recordset), (QStringList{QStringLiteral("阿莫西林"), QStringLiteral("无拼音")}));
    recordset.Close();
    recordset.Open(keypadQuery(QString()), connection, adOpenKeyset, adLockReadOnly);
    QCOMPARE(walkNames(recordset), QStringList{QStringLiteral("阿莫西林")});
}

void TestRecordset::zeroRows() {
    DrugFileFixture file;
    DrugConnection connection;
    connection.openFile(file.path(), DrugPassword);
    DrugRecordset recordset;
    recordset.Open(FullTableQuery, connection, adOpenKeyset, adLockReadOnly);
    QCOMPARE(recordset.RecordCount(), 0);
    QVERIFY(recordset.atEnd());
    // Reading a row that is not there fails and closes the recordset.
    QVERIFY_THROWS_EXCEPTION(DatabaseError, recordset.field(ChineseNameColumn));
    QVERIFY(!recordset.isOpen());
}

void TestRecordset::addChangeDeleteInOneRun() {
    DrugFileFixture file;
    file.insert(QStringLiteral("先有的药"), Cell(QStringLiteral("XYDY")));
    DrugConnection connection;
    connection.openFile(file.path(), DrugPassword);
    DrugRecordset recordset;

    recordset.Open(FullTableQuery, connection, adOpenKeyset, adLockOptimistic);
    recordset.AddNew();
    recordset.setField(ChineseNameColumn, Cell(QStringLiteral("阿莫西林")));
    recordset.setField(EnglishNameColumn, Cell(QStringLiteral("Amoxicillin")));
    recordset.setField(LeafletColumn, Cell(QStringLiteral("第一行\r\n第二行")));
    recordset.setField(InitialsColumn, Cell(QStringLiteral("AMXL")));
    recordset.Update();
    const qint64 key = recordset.field(KeyColumn).integer().value();
    QCOMPARE(recordset.RecordCount(), 2);
    recordset.Close();
    QCOMPARE(key, 2);

    // Durable at once: a second connection sees the row.
    QList<DrugFileFixture::Drug> stored = file.readAll();
    QCOMPARE(stored.size(), 2);
    QCOMPARE(stored[1].leaflet.toText(), QStringLiteral("第一行\r\n第二行"));

    recordset.Open(keyQuery(key), connection, adOpenKeyset, adLockOptimistic);
    QCOMPARE(recordset.RecordCount(), 1);
    recordset.setField(EnglishNameColumn, Cell(QStringLiteral("Amoxicillin Capsules")));
    recordset.setField(InitialsColumn, Cell(QStringLiteral("AMXLJN")));
    recordset.Update();
    QCOMPARE(recordset.field(EnglishNameColumn).toText(), QStringLiteral("Amoxicillin Capsules"));
    recordset.Close();
    stored = file.readAll();
    QCOMPARE(stored[1].key, 2);
    QCOMPARE(stored[1].chineseName.toText(), QStringLiteral("阿莫西林"));
    QCOMPARE(stored[1].englishName.toText(), QStringLiteral("Amoxicillin Capsules"));
    QCOMPARE(stored[1].initials.toText(), QStringLiteral("AMXLJN"));

    recordset.Open(keyQuery(key), connection, adOpenKeyset, adLockOptimistic);
    recordset.Delete();
    QCOMPARE(file.readAll().size(), 2); // nothing happens before Update
    recordset.Update();
    recordset.Close();
    stored = file.readAll();
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored[0].chineseName.toText(), QStringLiteral("先有的药"));
}

void TestRecordset::keysAreNeverReused() {
    DrugFileFixture file;
    const qint64 first = file.insert(QStringLiteral("甲"));
    const qint64 second = file.insert(QStringLiteral("乙"));
    DrugConnection connection;
    connection.openFile(file.path(), DrugPassword);
    DrugRecordset recordset;
    recordset.Open(keyQuery(second), connection, adOpenKeyset, adLockOptimistic);
    recordset.Delete();
    recordset.Update();
    recordset.Close();
    recordset.Open(FullTableQuery, connection, adOpenKeyset, adLockOptimistic);
    recordset.AddNew();
    recordset.setField(ChineseNameColumn, Cell(QStringLiteral("丙")));
    recordset.Update();
    QCOMPARE(recordset.field(KeyColumn).toNumber(), double(second + 1));
    QVERIFY(second > first);
}

// Another tool gave the table a column named rowid, which hides the engine's row key: a change
// and a delete still reach the drug whose 编号 the recordset holds.
void TestRecordset::changesAddressTheKeyColumn() {
    DrugFileFixture file;
    file.insert(QStringLiteral("甲"));
    file.insert(QStringLiteral("乙"));
    DrugConnection connection;
    connection.openFile(file.path(), DrugPassword);
    connection.execute(QStringLiteral("ALTER TABLE 西药 ADD COLUMN rowid INTEGER"));
    connection.execute(QStringLiteral("UPDATE 西药 SET rowid = 3 - 编号"));
    DrugRecordset recordset;
    recordset.Open(keyQuery(2), connection, adOpenKeyset, adLockOptimistic);
    recordset.setField(EnglishNameColumn, Cell(QStringLiteral("B")));
    recordset.Update();
    recordset.Close();
    recordset.Open(keyQuery(1), connection, adOpenKeyset, adLockOptimistic);
    recordset.Delete();
    recordset.Update();
    recordset.Close();
    const QList<DrugFileFixture::Drug> stored = file.readAll();
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored[0].chineseName.toText(), QStringLiteral("乙"));
    QCOMPARE(stored[0].englishName.toText(), QStringLiteral("B"));
}

void TestRecordset::valuesAreBoundNotSpliced() {
    DrugFileFixture file;
    DrugConnection connection;
    connection.openFile(file.path(), DrugPassword);
    DrugRecordset recordset;
    const QString tricky = QStringLiteral("O'Brien\"; DROP TABLE 西药; --");
    recordset.Open(FullTableQuery, connection, adOpenKeyset, adLockOptimistic);
    recordset.AddNew();
    recordset.setField(ChineseNameColumn, Cell(tricky));
    recordset.setField(LeafletColumn, Cell::null());
    recordset.Update();
    recordset.Close();
    const auto stored = file.readAll();
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored[0].chineseName.toText(), tricky);
    QVERIFY(stored[0].leaflet.isNull());
}

void TestRecordset::valuesComeBackAsStored_data() {
    QTest::addColumn<QList<Cell>>("values");
    // Texts up to 255 bytes and longer ones are kept apart; each kind is followed by every other.
    const Cell longest(QStringLiteral("x").repeated(255));
    const Cell longer(QStringLiteral("药").repeated(85) + u'x'); // 256 bytes
    // A leading U+FEFF is text, not a byte-order mark, in short and long texts alike.
    const Cell marked(QChar(0xFEFF) + QStringLiteral("药").repeated(100));
    const Cell shortMarked(QChar(0xFEFF) + QStringLiteral("药"));
    const Cell twiceMarked(QString(2, QChar(0xFEFF)) + QStringLiteral("药").repeated(100));
    const Cell shortTwiceMarked(QString(2, QChar(0xFEFF)));
    const QList<Cell> values{Cell(1.5),
                             longer,
                             Cell(qint64(1) << 60),
                             longest,
                             Cell::null(),
                             marked,
                             Cell(-2),
                             Cell(QStringLiteral("")),
                             shortMarked,
                             twiceMarked,
                             Cell(QStringLiteral("阿莫西林")),
                             shortTwiceMarked,
                             Cell(0.1 + 0.2)};
    QTest::newRow("in order") << values;
    QList<Cell> reversed = values;
    std::reverse(reversed.begin(), reversed.end());
    QTest::newRow("reversed") << reversed;
}

void TestRecordset::valuesComeBackAsStored() {
    QFETCH(QList<Cell>, values);
    DrugFileFixture file;
    DrugConnection connection;
    connection.openFile(file.path(), DrugPassword);
    QStringList columns;
    for (int i = 0; i < values.size(); ++i)
        columns.append(QStringLiteral("? AS v%1").arg(i));
    const QString select = QStringLiteral("SELECT %1").arg(columns.join(QStringLiteral(", ")));
    // Two rows, so that the second is read after the first was taken from.
    DrugRecordset recordset;
    recordset.Open(select + QStringLiteral(" UNION ALL ") + select, connection, adOpenKeyset, adLockReadOnly,
                   values + values);
    QCOMPARE(recordset.RecordCount(), 2);
    for (int row = 0; row < 2; ++row) {
        for (int i = 0; i < values.size(); ++i) {
            const QString name = QStringLiteral("v%1").arg(i);
            QCOMPARE(recordset.field(name), values[i]);
            QCOMPARE(recordset.takeField(name), values[i]);
        }
        recordset.MoveNext();
    }
    QVERIFY(recordset.atEnd());
}

void TestRecordset::keysetKeepsTheRowsSelectedAtOpen() {
    DrugFileFixture file;
    file.insert(QStringLiteral("甲"), Cell(QStringLiteral("J")));
    DrugConnection connection;
    connection.openFile(file.path(), DrugPassword);
    DrugRecordset recordset;
    recordset.Open(FullTableQuery, connection, adOpenKeyset, adLockReadOnly);
    file.insert(QStringLiteral("乙"), Cell(QStringLiteral("Y")));
    QCOMPARE(recordset.RecordCount(), 1);
    QCOMPARE(walkNames(recordset), QStringList{QStringLiteral("甲")});
}

void TestRecordset::readOnlyRefusesWritesAndStaysUsable() {
    DrugFileFixture file;
    file.insert(QStringLiteral("甲"));
    DrugConnection connection;
    connection.openFile(file.path(), DrugPassword);
    DrugRecordset recordset;
    recordset.Open(FullTableQuery, connection, adOpenKeyset, adLockReadOnly);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, recordset.setField(ChineseNameColumn, Cell(QStringLiteral("乙"))));
    QVERIFY(!recordset.isOpen());
    QVERIFY_THROWS_EXCEPTION(DatabaseError, recordset.Open(FullTableQuery, connection, 2, 1));
    recordset.Open(FullTableQuery, connection, adOpenKeyset, adLockOptimistic);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, recordset.setField(KeyColumn, Cell(99)));
    QVERIFY(!recordset.isOpen());
    QCOMPARE(file.readAll()[0].chineseName.toText(), QStringLiteral("甲"));
}

void TestRecordset::refusesStatementsThatChangeData() {
    DrugFileFixture file;
    file.insert(QStringLiteral("甲"));
    const QByteArray before = file.bytes();
    DrugConnection connection;
    connection.openFile(file.path(), DrugPassword);
    DrugRecordset recordset;
    for (const int lock : {adLockReadOnly, adLockOptimistic}) {
        QVERIFY_THROWS_EXCEPTION(DatabaseError,
                                 recordset.Open(QStringLiteral("delete from 西药"), connection, adOpenKeyset, lock));
        QVERIFY(!recordset.isOpen());
    }
    QCOMPARE(file.bytes(), before);
}

void TestRecordset::failedUpdateOnReadOnlyFile() {
    DrugFileFixture file;
    file.insert(QStringLiteral("甲"));
    ReadOnlyFile readOnly(file.path());
    if (!readOnly.done())
        QSKIP("cannot make the file read-only here");
    DrugConnection connection;
    connection.openFile(file.path(), DrugPassword);
    DrugRecordset recordset;
    recordset.Open(FullTableQuery, connection, adOpenKeyset, adLockOptimistic);
    recordset.AddNew();
    recordset.setField(ChineseNameColumn, Cell(QStringLiteral("乙")));
    try {
        recordset.Update();
        QFAIL("the update should fail");
    } catch (const DatabaseError& error) {
        QCOMPARE(error.message(), QStringLiteral("attempt to write a readonly database"));
    }
    QVERIFY(!recordset.isOpen());
    recordset.Open(FullTableQuery, connection, adOpenKeyset, adLockReadOnly);
    QCOMPARE(recordset.RecordCount(), 1);
}

void TestRecordset::failedUpdateWhileAnotherConnectionWrites() {
    DrugFileFixture file;
    const qint64 key = file.insert(QStringLiteral("甲"));
    DrugConnection other;
    other.openFile(file.path(), DrugPassword);
    other.beginTransaction(); // holds the write lock

    DrugConnection connection;
    connection.setBusyTimeout(ShortBusyTimeout);
    connection.openFile(file.path(), DrugPassword);
    DrugRecordset recordset;
    recordset.Open(keyQuery(key), connection, adOpenKeyset, adLockOptimistic);
    recordset.setField(ChineseNameColumn, Cell(QStringLiteral("乙")));
    try {
        recordset.Update();
        QFAIL("the update should fail");
    } catch (const DatabaseError& error) {
        QCOMPARE(error.message(), QStringLiteral("database is locked"));
    }
    QVERIFY(!recordset.isOpen());
    other.rollback();

    // The pending change was dropped; the next operation works.
    recordset.Open(keyQuery(key), connection, adOpenKeyset, adLockOptimistic);
    QCOMPARE(recordset.field(ChineseNameColumn).toText(), QStringLiteral("甲"));
    recordset.setField(ChineseNameColumn, Cell(QStringLiteral("丙")));
    recordset.Update();
    recordset.Close();
    QCOMPARE(file.readAll()[0].chineseName.toText(), QStringLiteral("丙"));
}

void TestRecordset::changeOfRowDeletedMeanwhile() {
    DrugFileFixture file;
    const qint64 key = file.insert(QStringLiteral("甲"));
    DrugConnection connection;
    connection.openFile(file.path(), DrugPassword);
    DrugRecordset recordset;
    recordset.Open(keyQuery(key), connection, adOpenKeyset, adLockOptimistic);
    QCOMPARE(recordset.RecordCount(), 1);
    {
        DrugConnection other;
        other.openFile(file.path(), DrugPassword);
        other.execute(QStringLiteral("DELETE FROM 西药"));
    }
    recordset.setField(ChineseNameColumn, Cell(QStringLiteral("乙")));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, recordset.Update());
    QVERIFY(!recordset.isOpen());
    QCOMPARE(file.readAll().size(), 0);

    // A key that matches no row: there is nothing to write to.
    recordset.Open(keyQuery(key), connection, adOpenKeyset, adLockOptimistic);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, recordset.setField(ChineseNameColumn, Cell(QStringLiteral("乙"))));
    QVERIFY(!recordset.isOpen());
}

QTEST_GUILESS_MAIN(TestRecordset)
#include "tst_recordset.moc"
