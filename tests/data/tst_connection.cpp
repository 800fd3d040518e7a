#include "data/DatabaseError.h"
#include "data/DrugFile.h"
#include "data/DrugSchema.h"
#include "data/SqlTexts.h"
#include "tests/support/DrugFileFixture.h"

#include <QtTest>

#include <limits>

class TestConnection : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void drugFileBesideTheProgram();
    void opensTheFileInTheProgramFolder_data();
    void opensTheFileInTheProgramFolder();
    void fileHoldsNoPlainText();
    void createRefusesExistingFileAndMissingFolder();
    void sqlTexts();
    void refusedSqlTexts_data();
    void refusedSqlTexts();
};

void TestConnection::drugFileBesideTheProgram() {
    QCOMPARE(drugFilePath(QStringLiteral("/opt/xiyao")), QStringLiteral("/opt/xiyao/qintabo.m"));
    // The folder as the platform reports it: nothing added, removed or read into it.
    QCOMPARE(drugFilePath(QStringLiteral("/home/用户/a;Jet OleDb:DataBase Password=b/")),
             QStringLiteral("/home/用户/a;Jet OleDb:DataBase Password=b//qintabo.m"));
}

void TestConnection::opensTheFileInTheProgramFolder_data() {
    QTest::addColumn<bool>("begun");
    QTest::addColumn<bool>("present");
    QTest::newRow("at once") << false << true;
    QTest::newRow("begun on a worker") << true << true;
    QTest::newRow("missing, at once") << false << false;
    // The worker's failure reaches the open that waits for it, and the next open tries again.
    QTest::newRow("missing, begun on a worker") << true << false;
}

void TestConnection::opensTheFileInTheProgramFolder() {
    QFETCH(bool, begun);
    QFETCH(bool, present);
    DrugFileFixture file;
    file.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("AMXL")));
    QTemporaryDir empty;
    DrugFile drugFile(present ? file.folder() : empty.path());
    QCOMPARE(drugFile.path(), drugFilePath(drugFile.programFolder()));
    if (begun)
        drugFile.beginOpening();
    if (!present) {
        QVERIFY_THROWS_EXCEPTION(DatabaseError, drugFile.OpenDrugDatabase());
        QVERIFY(!drugFile.connection().isOpen());
        QVERIFY(QFile::copy(file.path(), drugFile.path()));
    }
    drugFile.OpenDrugDatabase();
    QVERIFY(drugFile.connection().isOpen());
    QCOMPARE(drugFile.connection().path(), drugFile.path());
}

void TestConnection::fileHoldsNoPlainText() {
    DrugFileFixture file;
    const QString marker = QStringLiteral("MarkerAmoxicillin");
    file.insert(QStringLiteral("阿莫西林胶囊"), Cell(QStringLiteral("AMXLJN")), marker, QStringLiteral("说明书正文"));
    const QByteArray bytes = file.bytes();
    QVERIFY(!bytes.isEmpty());
    QCOMPARE(bytes.size() % 4096, 0);
    QVERIFY(!bytes.contains("SQLite format 3"));
    QVERIFY(!bytes.contains(marker.toUtf8()));
    QVERIFY(!bytes.contains(QStringLiteral("阿莫西林").toUtf8()));
    QVERIFY(!bytes.contains(QStringLiteral("西药").toUtf8()));
    QVERIFY(!bytes.contains("CREATE TABLE"));
}

void TestConnection::createRefusesExistingFileAndMissingFolder() {
    DrugFileFixture file;
    file.insert(QStringLiteral("阿莫西林"));
    const QByteArray before = file.bytes();
    QVERIFY_THROWS_EXCEPTION(DatabaseError, DrugConnection::create(file.path(), DrugPassword));
    QCOMPARE(file.bytes(), before);
    QVERIFY_THROWS_EXCEPTION(DatabaseError,
                             DrugConnection::create(file.folder() + QStringLiteral("/no/such/x.m"), DrugPassword));
    QVERIFY(!QFile::exists(file.folder() + QStringLiteral("/no")));
}

void TestConnection::sqlTexts() {
    QCOMPARE(keyQuery(17), QStringLiteral("select *from 西药 where 编号=17"));
    QCOMPARE(keyQuery(std::numeric_limits<qint64>::min()),
             QStringLiteral("select *from 西药 where 编号=-9223372036854775808"));
    QCOMPARE(keypadQuery(QStringLiteral("ab")), QStringLiteral("SELECT * from 西药  where 拼音 like'%ab%'"));
    QCOMPARE(keypadQuery(QString()), QStringLiteral("SELECT * from 西药  where 拼音 like'%%'"));
    QCOMPARE(FullTableQuery, QStringLiteral("select *from 西药"));
}

void TestConnection::refusedSqlTexts_data() {
    QTest::addColumn<QString>("letters");
    QTest::newRow("quote") << QStringLiteral("a'b");
    QTest::newRow("upper case") << QStringLiteral("A");
    QTest::newRow("wildcard") << QStringLiteral("a%");
    QTest::newRow("digit") << QStringLiteral("1");
    QTest::newRow("full-width letter") << QStringLiteral("ａ");
    QTest::newRow("underscore") << QStringLiteral("_");
}

void TestConnection::refusedSqlTexts() {
    QFETCH(QString, letters);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, keypadQuery(letters));
}

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
