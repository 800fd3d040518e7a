// Seats of one drug list on a server: two seats at once, a server killed or gone, a wrong login.

#include "app/CommandLine.h"
#include "data/DatabaseError.h"
#include "data/DrugConnection.h"
#include "data/DrugFile.h"
#include "data/DrugRecordset.h"
#include "data/DrugSchema.h"
#include "data/ServerConnection.h"
#include "data/SqlTexts.h"
#include "tests/support/MainWindowFixture.h"
#include "tests/support/PostgresServer.h"

#include <QLabel>
#include <QScopeGuard>
#include <QtTest>

#include <chrono>
#include <thread>

namespace {

const QString Ok = QStringLiteral("ok ！");

// A second seat on the fixture's server, with its own window and doubles.
struct OtherSeat {
    explicit OtherSeat(const QString& url = testServerUrl(), const QString& copyPath = {}) {
        drugFile.useServer(url, copyPath.isEmpty() ? copy() : copyPath);
    }
    QString copy() const { return folder.filePath(QStringLiteral("xiyao/server-copy/qintabo.m")); }
    Form19& open() {
        form = std::make_unique<Form19>(fakes.platform, drugFile, userFile);
        if (form->isLoaded())
            form->FillDrugList(FullTableQuery);
        return *form;
    }

    QTemporaryDir folder;
    FakePlatform fakes;
    DrugFile drugFile{folder.path()};
    UserFile userFile{folder.filePath(QStringLiteral("xiyao/user-store.db"))};
    std::unique_ptr<Form19> form;
};

// The first seat, showing the first of two drugs.
struct TwoDrugs {
    TwoDrugs() {
        fixture.file.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("amxl")), QStringLiteral("Amoxicillin"),
                            QStringLiteral("原来的说明"));
        fixture.file.insert(QStringLiteral("布洛芬"), Cell(QStringLiteral("blf")), QStringLiteral("Ibuprofen"));
        form = &fixture.open();
        form->FillDrugList(FullTableQuery);
        form->Label4_Click(0);
    }
    Cell englishName(qint64 key) const {
        return fixture.file.value(QStringLiteral("SELECT 英文名 FROM 西药 WHERE 编号 = %1").arg(key));
    }
    QStringList& messages() { return fixture.fakes.dialogs.messages; }

    MainWindowFixture fixture;
    Form19* form = nullptr;
};

// Holds a change of drug 1 open in a transaction of another connection, so that the seat's change
// of it waits; then ends it.
struct HeldChange {
    explicit HeldChange(
        const QString& change = QStringLiteral("UPDATE 西药 SET 英文名 = 'held', 修订 = 修订 + 1 WHERE 编号 = 1")) {
        other.open(testServerUrl());
        other.beginTransaction();
        other.execute(change);
    }
    ServerConnection other;
};

} // namespace

class TestSeats : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void changedOrDeletedByAnotherSeat_data();
    void changedOrDeletedByAnotherSeat();
    void racingSeatsOnOneDrug_data();
    void racingSeatsOnOneDrug();
    void addedAtOneSeatListedAtAnother();
    void serverKilledMidChange();
    void lostConnectionNotReplacedInsideATransaction();
    void wrongLoginOrHost_data();
    void wrongLoginOrHost();
    void offlineCopyWhenTheServerIsGone();
    void serverNamedForTheSeat_data();
    void serverNamedForTheSeat();
};

void TestSeats::initTestCase() {
    qputenv("XIYAO_TEST_ON_SERVER", "1");
    prepareTestApplication();
    testServerUrl(); // skips the program (status 77) where no server can run
}

void TestSeats::changedOrDeletedByAnotherSeat_data() {
    QTest::addColumn<QString>("elsewhere"); // what the other seat did after this one was shown the drug
    QTest::addColumn<QString>("here");      // 修改 or 删除
    QTest::addColumn<QString>("said");
    QTest::newRow("changed, then 修改") << "修改"
                                        << "修改"
                                        << "已被其他座位修改";
    QTest::newRow("changed, then 删除") << "修改"
                                        << "删除"
                                        << "已被其他座位修改";
    QTest::newRow("deleted, then 修改") << "删除"
                                        << "修改"
                                        << "已被删除";
    QTest::newRow("deleted, then 删除") << "删除"
                                        << "删除"
                                        << "已被删除";
}

void TestSeats::changedOrDeletedByAnotherSeat() {
    QFETCH(QString, elsewhere);
    QFETCH(QString, here);
    QFETCH(QString, said);
    TwoDrugs seat;
    OtherSeat other;
    Form19& otherForm = other.open();
    otherForm.Label4_Click(0);
    if (elsewhere == QStringLiteral("修改")) {
        otherForm.Text6->setText(QStringLiteral("changed elsewhere"));
        otherForm.Image7_Click();
    } else {
        otherForm.Image11_Click();
    }
    QCOMPARE(other.fakes.dialogs.messages, QStringList{Ok});

    seat.form->Text6->setText(QStringLiteral("typed here"));
    if (here == QStringLiteral("修改"))
        seat.form->Image7_Click();
    else
        seat.form->Image11_Click();
    QCOMPARE(seat.messages().size(), 1);
    QVERIFY2(seat.messages()[0].contains(said), qPrintable(seat.messages()[0]));
    // Nothing overwritten, nothing lost: the other seat's change stands, the box keeps what was typed.
    QCOMPARE(seat.englishName(1),
             elsewhere == QStringLiteral("修改") ? Cell(QStringLiteral("changed elsewhere")) : Cell::null());
    QCOMPARE(seat.form->Text6->text(), QStringLiteral("typed here"));
    QCOMPARE(seat.fixture.file.readAll().size(), elsewhere == QStringLiteral("修改") ? 2 : 1);
}

// The other seat's change is committed while this seat's UPDATE waits for its lock: the revision in
// the UPDATE's condition, not only the one read before it, keeps it from being overwritten.
void TestSeats::racingSeatsOnOneDrug_data() {
    QTest::addColumn<QString>("change"); // the other seat's, committed while this seat's waits
    QTest::addColumn<QString>("said");
    QTest::addColumn<Cell>("left"); // drug 1's English name after both
    QTest::newRow("changed") << "UPDATE 西药 SET 英文名 = 'held', 修订 = 修订 + 1 WHERE 编号 = 1"
                             << "已被其他座位修改" << Cell(QStringLiteral("held"));
    QTest::newRow("deleted") << "DELETE FROM 西药 WHERE 编号 = 1"
                             << "已被删除" << Cell::null();
}

void TestSeats::racingSeatsOnOneDrug() {
    QFETCH(QString, change);
    QFETCH(QString, said);
    QFETCH(Cell, left);
    TwoDrugs seat;
    HeldChange held(change);
    std::thread commitLater([&held] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        held.other.commit();
    });
    seat.form->Text6->setText(QStringLiteral("typed here"));
    seat.form->Image7_Click();
    commitLater.join();
    QCOMPARE(seat.messages().size(), 1);
    QVERIFY2(seat.messages()[0].contains(said), qPrintable(seat.messages()[0]));
    QCOMPARE(seat.englishName(1), left);
    QCOMPARE(seat.form->Text6->text(), QStringLiteral("typed here"));
}

void TestSeats::addedAtOneSeatListedAtAnother() {
    TwoDrugs seat;
    OtherSeat other;
    Form19& otherForm = other.open();
    seat.form->Text11->setText(QStringLiteral("头孢克肟"));
    seat.form->Text6->setText(QStringLiteral("Cefixime"));
    seat.form->Image13_Click();
    QCOMPARE(seat.messages(), QStringList{Ok});
    QCOMPARE(otherForm.resultList().ListCount.toNumber(), 2.0); // until its next refill
    otherForm.FillDrugList(keypadQuery(QStringLiteral("tbk")));
    QCOMPARE(otherForm.Label4[0]->caption(), QStringLiteral("头孢克肟"));
    QCOMPARE(otherForm.resultList().RowId[0].toText(), QStringLiteral("3"));
    // Counted on the server, as a file counts its local changes.
    QCOMPARE(seat.fixture.file.value(QStringLiteral("SELECT 内容 FROM 数据信息 WHERE 项目 = '本地修改次数'")),
             Cell(QStringLiteral("1")));
}

void TestSeats::serverKilledMidChange() {
    if (!qEnvironmentVariableIsSet("XIYAO_SLOW_TESTS"))
        QSKIP("stops or kills the server: tst_seats_slow (label slow) runs it");
    TwoDrugs seat;
    auto held = std::make_unique<HeldChange>();
    std::thread killLater([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        testServer().kill();
    });
    seat.form->Text6->setText(QStringLiteral("typed here"));
    seat.form->Image7_Click();
    killLater.join();
    held.reset();
    QCOMPARE(seat.messages().size(), 1);
    QVERIFY2(seat.messages()[0].startsWith(QStringLiteral("修改失败，没有保存任何内容")),
             qPrintable(seat.messages()[0]));
    QCOMPARE(seat.form->Text6->text(), QStringLiteral("typed here"));
    QVERIFY(!seat.fixture.drugFile.recordset().isOpen());

    QCOMPARE(testServer().restart(), QString());
    // Nothing half-written: neither the seat's change nor the held one, and no count.
    seat.fixture.file.server()->open(testServerUrl());
    QCOMPARE(seat.englishName(1), Cell(QStringLiteral("Amoxicillin")));
    QCOMPARE(seat.fixture.file.value(QStringLiteral("SELECT to_regclass('数据信息') IS NULL")), Cell(1));
    // The seat connects again by itself for the next change.
    seat.messages().clear();
    seat.form->Image7_Click();
    QCOMPARE(seat.messages(), QStringList{Ok});
    QCOMPARE(seat.englishName(1), Cell(QStringLiteral("typed here")));
}

// A statement after the connection was lost inside a transaction fails: in a new connection it would
// be stored alone, outside the transaction that the server undid.
void TestSeats::lostConnectionNotReplacedInsideATransaction() {
    if (!qEnvironmentVariableIsSet("XIYAO_SLOW_TESTS"))
        QSKIP("stops or kills the server: tst_seats_slow (label slow) runs it");
    TwoDrugs seat;
    DrugConnection& connection = seat.fixture.drugFile.connection();
    connection.beginTransaction();
    testServer().kill();
    QCOMPARE(testServer().restart(), QString());
    const QString change = QStringLiteral("UPDATE 西药 SET 英文名 = 'alone' WHERE 编号 = 1");
    QVERIFY_THROWS_EXCEPTION(DatabaseError, connection.execute(change)); // the lost connection is found
    QVERIFY_THROWS_EXCEPTION(DatabaseError, connection.execute(change)); // and not replaced
    connection.rollback();
    seat.fixture.file.server()->open(testServerUrl());
    QCOMPARE(seat.englishName(1), Cell(QStringLiteral("Amoxicillin")));
    connection.execute(change); // outside a transaction, a new connection
    QCOMPARE(seat.englishName(1), Cell(QStringLiteral("alone")));
}

void TestSeats::wrongLoginOrHost_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("said");
    QTest::newRow("wrong password") << testServer().tcpUrl(PostgresServer::Superuser, QStringLiteral("wrong"))
                                    << QStringLiteral("密码");
    QTest::newRow("unknown host") << QStringLiteral("postgresql://no-such-host.invalid/xiyao?connect_timeout=2")
                                  << QStringLiteral("no-such-host.invalid");
}

// Without an offline copy, the window does not open and says why.
void TestSeats::wrongLoginOrHost() {
    QFETCH(QString, url);
    QFETCH(QString, said);
    OtherSeat seat(url);
    QVERIFY(!seat.open().isLoaded());
    QCOMPARE(seat.fakes.dialogs.messages.size(), 1);
    const QString& message = seat.fakes.dialogs.messages[0];
    QVERIFY2(message.contains(QStringLiteral("无法使用数据库服务器")) && message.contains(said) &&
                 message.contains(QStringLiteral("离线副本")),
             qPrintable(message));
    QVERIFY(!message.contains(QStringLiteral("wrong"))); // the password is never shown
}

// The copy written at a seat's start is what the seat reads, read-only and marked, when the server is gone.
void TestSeats::offlineCopyWhenTheServerIsGone() {
    if (!qEnvironmentVariableIsSet("XIYAO_SLOW_TESTS"))
        QSKIP("stops or kills the server: tst_seats_slow (label slow) runs it");
    const QTemporaryDir kept; // the fixture's folder goes with it
    const QString copy = kept.filePath(DrugFileName);
    {
        TwoDrugs seat;
        QCOMPARE(seat.fixture.drugFile.waitForOfflineCopy(), QString());
        QVERIFY(QFile::copy(seat.fixture.userFolder.filePath(QStringLiteral("xiyao/server-copy/qintabo.m")), copy));
    }
    QFile copied(copy);
    QVERIFY(copied.open(QIODevice::ReadOnly));
    const QByteArray before = copied.readAll();
    testServer().stop();
    const auto restarted = qScopeGuard([] { QCOMPARE(testServer().restart(), QString()); });

    OtherSeat seat(testServerUrl(), copy);
    Form19& form = seat.open();
    QVERIFY(form.isLoaded());
    QVERIFY(seat.drugFile.isOffline());
    QVERIFY(form.offlineMark() && form.offlineMark()->isVisibleTo(&form));
    QCOMPARE(form.offlineMark()->text(), QStringLiteral("离线"));
    QCOMPARE(seat.fakes.dialogs.messages.size(), 1);
    QVERIFY2(seat.fakes.dialogs.messages[0].startsWith(QStringLiteral("离线：连不上数据库服务器")),
             qPrintable(seat.fakes.dialogs.messages[0]));

    // Read as the server was: the list, a search, a drug's leaflet.
    QCOMPARE(form.resultList().ListCount.toNumber(), 2.0);
    form.FillDrugList(keypadQuery(QStringLiteral("blf")));
    form.Label4_Click(0);
    QCOMPARE(form.Text11->text(), QStringLiteral("布洛芬"));
    form.FillDrugList(FullTableQuery);
    form.Label4_Click(0);
    QCOMPARE(form.Text1->text(), QStringLiteral("原来的说明"));

    // Every change refused, nothing typed lost, the copy untouched.
    seat.fakes.dialogs.messages.clear();
    form.Text1->setText(QStringLiteral("typed offline"));
    form.Image13_Click();
    form.Image7_Click();
    form.Image11_Click();
    QCOMPARE(seat.fakes.dialogs.messages.size(), 3);
    for (const QString& message : std::as_const(seat.fakes.dialogs.messages))
        QVERIFY2(message.startsWith(QStringLiteral("离线：")), qPrintable(message));
    QCOMPARE(form.Text1->text(), QStringLiteral("typed offline"));
    QVERIFY(copied.seek(0));
    QVERIFY(copied.readAll() == before);
}

void TestSeats::serverNamedForTheSeat_data() {
    QTest::addColumn<QByteArray>("ini"); // xiyao.ini in the program folder; none when null
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("server"); // empty: the drug file
    const QString url = QStringLiteral("postgresql://药房@db.example/xiyao?sslmode=require&options=-c%20a=1,b=2");
    QTest::newRow("no xiyao.ini") << QByteArray() << QStringList() << QString();
    QTest::newRow("xiyao.ini without a server") << QByteArray("[other]\nx=1\n") << QStringList() << QString();
    QTest::newRow("xiyao.ini's URL, a comma in it")
        << QByteArray("[server]\nurl=" + url.toUtf8() + "\n") << QStringList() << url;
    QTest::newRow("--server over xiyao.ini")
        << QByteArray("[server]\nurl=postgresql://other/db\n") << QStringList{QStringLiteral("--server"), url} << url;
    QTest::newRow("--server=URL") << QByteArray() << QStringList{QStringLiteral("--server=") + url} << url;
}

void TestSeats::serverNamedForTheSeat() {
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, arguments);
    QFETCH(QString, server);
    QTemporaryDir folder;
    if (!ini.isNull()) {
        QFile file(folder.filePath(SeatSettingsFileName));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(ini) == ini.size());
    }
    const CommandLine line = readCommandLine(arguments);
    QCOMPARE(line.action, CommandLine::Action::Run);
    QCOMPARE(seatServer(line, folder.path()).value_or(QString()), server);
}

QTEST_MAIN(TestSeats)
#include "tst_seats.moc"
