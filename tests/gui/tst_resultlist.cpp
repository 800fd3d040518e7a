#include "data/DrugConnection.h"
#include "data/DrugFile.h"
#include "data/DrugSchema.h"
#include "data/SqlTexts.h"
#include "data/Statement.h"
#include "tests/support/MainWindowFixture.h"

#include <QtTest>

namespace {

// Drugs named 药0, 药1, ... in key order.
void insertDrugs(DrugFileFixture& file, int count) {
    DrugConnection connection;
    connection.openFile(file.path(), DrugPassword);
    connection.beginTransaction();
    Statement insert(connection, QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (?, 'Y')")
                                     .arg(DrugTableName, ChineseNameColumn, InitialsColumn));
    for (int i = 0; i < count; ++i) {
        insert.bind(1, Cell(QStringLiteral("药%1").arg(i)));
        insert.step();
        insert.reset();
    }
    connection.commit();
}

QString entry(int i) {
    return QStringLiteral("药%1").arg(i);
}

// Marks every row, so that a test sees whether a handler captioned the rows again.
void markRows(Form19& form) {
    for (ListRow* row : form.Label4)
        row->setCaption(QStringLiteral("×"));
}

// The thumb in pixels: always at Left 4000 twips, whatever the pointer did sideways.
QPoint thumbAt(double top) {
    return QPoint(267, qRound(top / 15));
}

} // namespace

class TestResultList : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { prepareTestApplication(); }
    void fillOfTenDrugs();
    void smallerRefillsLeaveNothingBehind();
    void failedRefillLeavesAnEmptyList();
    void arrowsAreNotMirrorImages();
    void upArrowAtTheTop();
    void arrowsWithoutEntries();
    void dragMappingAtListCount22_data();
    void dragMappingAtListCount22();
    void dragWithRealMouseEventsAndGrab();
    void dragBeforeAnyRefill();
    void dragFromBelowTheRangeSnapsUp();
    void hoverColors();
    void doubleClickOnAnArrowScrollsOnce();
    void resultLargerThanTheArrays();
};

void TestResultList::fillOfTenDrugs() {
    MainWindowFixture fixture;
    insertDrugs(fixture.file, 10);
    Form19& form = fixture.open();
    form.FillDrugList(FullTableQuery);
    QCOMPARE(form.resultList().ListCount.toNumber(), 10.0);
    QCOMPARE(form.resultList().RowId[9].toText(), QStringLiteral("10"));
    QVERIFY(form.resultList().RowChineseName[10].isEmpty());
    QCOMPARE(form.Label4[9]->caption(), entry(9));
    QCOMPARE(form.Label4[10]->caption(), QString());
    QVERIFY(!fixture.drugFile.recordset().isOpen());

    // Each down click: 630 twips of thumb and one entry, the rows move up into the blank area.
    form.Label12_Click();
    QCOMPARE(form.resultList().thumbTop(), 730.0 + 630.0);
    QCOMPARE(form.Picture1->pos(), thumbAt(730.0 + 630.0));
    QCOMPARE(form.Label4[0]->caption(), entry(1));
    QCOMPARE(form.Label4[9]->caption(), QString());
}

void TestResultList::smallerRefillsLeaveNothingBehind() {
    MainWindowFixture fixture;
    // Every field filled; only the first drug has the initials A.
    for (int i = 0; i < 3; ++i)
        fixture.file.insert(entry(i), Cell(i == 0 ? QStringLiteral("A") : QStringLiteral("B")),
                            QStringLiteral("E%1").arg(i), QStringLiteral("说明%1").arg(i));
    Form19& form = fixture.open();
    form.FillDrugList(FullTableQuery);
    const RowArray* const arrays[] = {&form.resultList().RowChineseName, &form.resultList().RowEnglishName,
                                      &form.resultList().RowLeaflet, &form.resultList().RowId};
    form.FillDrugList(keypadQuery(QStringLiteral("a")));
    QCOMPARE(form.resultList().ListCount.toNumber(), 1.0);
    for (const RowArray* cells : arrays) {
        QVERIFY(!(*cells)[0].isEmpty());
        QVERIFY((*cells)[1].isEmpty() && (*cells)[2].isEmpty());
    }
    QCOMPARE(fixture.rowCaptions()[1], QString());
    // A click on the row where the larger result's second drug stood chooses nothing.
    form.Label4_Click(1);
    QCOMPARE(form.drugView().LeafletText, QString());
    QCOMPARE(form.Text6->text(), QString());
    QCOMPARE(form.Label2->caption(), QString());

    form.FillDrugList(keypadQuery(QStringLiteral("zz")));
    QCOMPARE(form.resultList().ListCount.toNumber(), 0.0);
    QVERIFY(form.resultList().ListCount.kind() == Cell::Kind::Number);
    QCOMPARE(fixture.rowCaptions(), QStringList(23, QString()));
    for (const RowArray* cells : arrays)
        QVERIFY((*cells)[0].isEmpty());
}

void TestResultList::failedRefillLeavesAnEmptyList() {
    MainWindowFixture fixture;
    insertDrugs(fixture.file, 30);
    Form19& form = fixture.open();
    fixture.search(QStringLiteral("y"));
    QCOMPARE(form.resultList().ListCount.toNumber(), 30.0);
    DrugConnection other;
    other.openFile(fixture.file.path(), DrugPassword);
    other.execute(QStringLiteral("BEGIN EXCLUSIVE")); // not even a reader gets in
    fixture.search(QStringLiteral("y"));
    other.rollback();
    QCOMPARE(fixture.fakes.dialogs.messages.size(), 1);
    QVERIFY2(fixture.fakes.dialogs.messages[0].contains(QStringLiteral("database is locked")),
             qPrintable(fixture.fakes.dialogs.messages[0]));
    // The count matches what the arrays hold: the arrows and the thumb find nothing to scroll.
    QCOMPARE(form.resultList().ListCount.toNumber(), 0.0);
    QVERIFY(form.resultList().RowChineseName[0].isEmpty() && form.resultList().RowId[29].isEmpty());
    form.Label12_Click();
    QCOMPARE(form.resultList().ListTop, 0);
    QCOMPARE(fixture.rowCaptions(), QStringList(23, QString()));
    QVERIFY(!fixture.drugFile.recordset().isOpen());
}

void TestResultList::arrowsAreNotMirrorImages() {
    MainWindowFixture fixture;
    insertDrugs(fixture.file, 10);
    Form19& form = fixture.open();
    form.FillDrugList(FullTableQuery);
    // 8190 twips of travel at 630 a click: the list moves 13 times, then only the thumb clamps.
    for (int i = 0; i < 13; ++i)
        form.Label12_Click();
    QCOMPARE(form.resultList().ListTop, 13);
    QCOMPARE(form.resultList().thumbTop(), 730.0 + 13 * 630.0);
    markRows(form);
    form.Label12_Click();
    QCOMPARE(form.resultList().ListTop, 13);
    QCOMPARE(form.resultList().thumbTop(), 8920.0);
    QCOMPARE(form.Picture1->pos(), thumbAt(8920));
    QCOMPARE(fixture.rowCaptions(), QStringList(23, QString())); // captioned again at the clamp too

    // The up arrow always moves the list, and clamps the thumb on its own.
    form.Label20_Click();
    QCOMPARE(form.resultList().ListTop, 12);
    QCOMPARE(form.resultList().thumbTop(), 8920.0 - 630.0);
    for (int i = 0; i < 20; ++i)
        form.Label20_Click();
    QCOMPARE(form.resultList().ListTop, 0);
    QCOMPARE(form.resultList().thumbTop(), 730.0);
    QCOMPARE(form.Label4[0]->caption(), entry(0));

    // Dragged to the bottom, the thumb stands for entry 13 but is only 6900 twips down: going
    // up, it reaches the top of the track first, and the list goes on moving.
    form.Picture1_MouseDown(Qt::LeftButton, {}, 0, 0);
    form.Picture1_MouseMove(Qt::NoButton, {}, 0, 99999);
    form.Picture1_MouseUp(Qt::LeftButton, {}, 0, 0);
    QCOMPARE(form.resultList().ListTop, 13);
    QCOMPARE(form.resultList().thumbTop(), 7630.0);
    for (int i = 0; i < 10; ++i)
        form.Label20_Click();
    QCOMPARE(form.resultList().ListTop, 3);
    QCOMPARE(form.resultList().thumbTop(), 7630.0 - 10 * 630.0);
    form.Label20_Click();
    QCOMPARE(form.resultList().ListTop, 2);
    QCOMPARE(form.resultList().thumbTop(), 730.0);
    form.Label20_Click();
    QCOMPARE(form.resultList().ListTop, 1);
    QCOMPARE(form.resultList().thumbTop(), 730.0);
    QCOMPARE(form.Label4[0]->caption(), entry(1));
}

void TestResultList::upArrowAtTheTop() {
    MainWindowFixture fixture;
    insertDrugs(fixture.file, 5);
    Form19& form = fixture.open();
    form.FillDrugList(FullTableQuery);
    const QStringList shown = fixture.rowCaptions();
    QCOMPARE(shown[4], entry(4));
    markRows(form);
    QTest::mouseClick(form.Label20, Qt::LeftButton);
    QCOMPARE(form.resultList().ListTop, 0);
    QCOMPARE(form.resultList().thumbTop(), 730.0);
    QCOMPARE(fixture.rowCaptions(), shown); // captioned again, unchanged
    QCOMPARE(form.Picture1->pos(), thumbAt(730));

    // Entry 0 in row 0 with the thumb a little down the track: the thumb is clamped back.
    form.Picture1_MouseDown(Qt::LeftButton, {}, 0, 0);
    form.Picture1_MouseMove(Qt::NoButton, {}, 0, 300); // 300 * 5 / 5280: still entry 0
    form.Picture1_MouseUp(Qt::LeftButton, {}, 0, 0);
    QCOMPARE(form.resultList().thumbTop(), 1030.0);
    markRows(form);
    form.Label20_Click();
    QCOMPARE(form.resultList().ListTop, 0);
    QCOMPARE(form.resultList().thumbTop(), 730.0);
    QCOMPARE(fixture.rowCaptions(), shown);
}

void TestResultList::arrowsWithoutEntries() {
    MainWindowFixture fixture;
    Form19& form = fixture.open();
    // Before any refill, and after one that found nothing: nothing moves, nothing breaks.
    for (int pass = 0; pass < 2; ++pass) {
        form.Label12_Click();
        form.Label20_Click();
        QCOMPARE(form.resultList().ListTop, 0);
        QCOMPARE(form.resultList().thumbTop(), 730.0);
        QCOMPARE(fixture.rowCaptions(), QStringList(23, QString()));
        form.FillDrugList(FullTableQuery);
    }
}

void TestResultList::dragMappingAtListCount22_data() {
    QTest::addColumn<double>("moveBy");
    QTest::addColumn<qint64>("listTop");
    QTest::addColumn<double>("thumbTop");
    QTest::newRow("239") << 239.0 << qint64(0) << 969.0;
    QTest::newRow("240") << 240.0 << qint64(1) << 970.0;
    QTest::newRow("480") << 480.0 << qint64(2) << 1210.0;
    QTest::newRow("to the bottom") << 99999.0 << qint64(28) << 7630.0;
    QTest::newRow("above the top") << -500.0 << qint64(0) << 730.0;
}

void TestResultList::dragMappingAtListCount22() {
    QFETCH(double, moveBy);
    QFETCH(qint64, listTop);
    QFETCH(double, thumbTop);
    MainWindowFixture fixture;
    insertDrugs(fixture.file, 22);
    Form19& form = fixture.open();
    form.FillDrugList(FullTableQuery);
    form.Picture1_MouseDown(Qt::LeftButton, {}, 90, 90);
    // The pointer also goes sideways; the thumb does not follow it there.
    form.Picture1_MouseMove(Qt::NoButton, {}, 900, static_cast<float>(90 + moveBy));
    QCOMPARE(form.resultList().thumbTop(), thumbTop);
    QCOMPARE(form.Picture1->pos(), thumbAt(thumbTop));
    QCOMPARE(form.resultList().ListTop, listTop);
    QCOMPARE(form.Label4[0]->caption(), listTop < 22 ? entry(static_cast<int>(listTop)) : QString());
    form.Picture1_MouseUp(Qt::LeftButton, {}, 0, 0);
    form.Picture1_MouseMove(Qt::NoButton, {}, 90, 5000);
    QCOMPARE(form.resultList().thumbTop(), thumbTop);
}

void TestResultList::dragWithRealMouseEventsAndGrab() {
    MainWindowFixture fixture;
    insertDrugs(fixture.file, 22);
    Form19& form = fixture.open();
    form.FillDrugList(FullTableQuery);
    QTest::mousePress(form.Picture1, Qt::LeftButton, {}, QPoint(6, 6));
    QVERIFY(form.resultList().PictureDragging);
    // 32 pixels down = 480 twips, and 30 to the right; the pointer leaves the thumb, the thumb
    // still follows it down, and only down.
    QMouseEvent move(QEvent::MouseMove, QPointF(36, 38), form.Picture1->mapToGlobal(QPointF(36, 38)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.Picture1, &move);
    QCOMPARE(form.resultList().thumbTop(), 1210.0);
    QCOMPARE(form.resultList().ListTop, 2);
    QCOMPARE(form.Picture1->pos(), QPoint(267, 81));
    QTest::mouseRelease(form.Picture1, Qt::LeftButton, {}, QPoint(6, 6));
    QVERIFY(!form.resultList().PictureDragging);
}

void TestResultList::dragBeforeAnyRefill() {
    MainWindowFixture fixture;
    Form19& form = fixture.open();
    form.Picture1_MouseDown(Qt::LeftButton, {}, 0, 0);
    form.Picture1_MouseMove(Qt::NoButton, {}, 0, 600);
    QCOMPARE(form.resultList().thumbTop(), 1330.0);
    QCOMPARE(form.resultList().ListTop, 0);
    QCOMPARE(fixture.rowCaptions(), QStringList(23, QString()));
}

void TestResultList::dragFromBelowTheRangeSnapsUp() {
    MainWindowFixture fixture;
    insertDrugs(fixture.file, 2);
    Form19& form = fixture.open();
    form.FillDrugList(FullTableQuery);
    for (int i = 0; i < 3; ++i)
        form.Label12_Click(); // 3150 twips a click: 730, 3880, 7030, then clamped at 8920
    QCOMPARE(form.resultList().thumbTop(), 8920.0);
    form.Picture1_MouseDown(Qt::LeftButton, {}, 0, 50);
    form.Picture1_MouseMove(Qt::NoButton, {}, 0, 50);
    QCOMPARE(form.resultList().thumbTop(), 7630.0);
    QCOMPARE(form.resultList().ListTop, 2); // (7630 - 730) * 2 / 5280 = 2.6
}

void TestResultList::hoverColors() {
    MainWindowFixture fixture;
    insertDrugs(fixture.file, 3);
    Form19& form = fixture.open();
    form.FillDrugList(FullTableQuery);
    QTest::mouseMove(form.Label4[1], QPoint(20, 5));
    QTRY_COMPARE(form.Label4[1]->foreColor(), HoverColor);
    QCOMPARE(form.Label4[1]->palette().color(QPalette::WindowText), QColor(192, 0, 0));
    QCOMPARE(form.Label4[0]->foreColor(), ButtonTextColor);

    // A blank row keeps its color; the others are reset.
    form.Label4_MouseMove(10);
    QCOMPARE(form.Label4[1]->foreColor(), ButtonTextColor);
    QCOMPARE(form.Label4[10]->foreColor(), ButtonTextColor);
    form.Label4_MouseMove(2);
    QCOMPARE(form.Label4[2]->foreColor(), HoverColor);

    // Row 2 scrolls blank while it holds the hover color; hovered again, it keeps that color.
    form.Label12_Click();
    QCOMPARE(form.Label4[2]->caption(), QString());
    form.Label4_MouseMove(2);
    for (int r = 0; r < Form19::VisibleRows; ++r)
        QCOMPARE(form.Label4[r]->foreColor(), r == 2 ? HoverColor : ButtonTextColor);
}

void TestResultList::doubleClickOnAnArrowScrollsOnce() {
    MainWindowFixture fixture;
    insertDrugs(fixture.file, 10);
    Form19& form = fixture.open();
    form.FillDrugList(FullTableQuery);
    doubleClick(form.Label12);
    QCOMPARE(form.resultList().ListTop, 1);
    QTest::mouseClick(form.Label12, Qt::LeftButton);
    QCOMPARE(form.resultList().ListTop, 2);
}

void TestResultList::resultLargerThanTheArrays() {
    MainWindowFixture fixture;
    insertDrugs(fixture.file, Form19::RowCells + 1);
    Form19& form = fixture.open();
    form.FillDrugList(FullTableQuery);
    QCOMPARE(form.resultList().ListCount.toNumber(), double(Form19::RowCells));
    QCOMPARE(form.resultList().RowChineseName[100000].toText(), entry(100000));
    // Scrolling to the end of the arrays shows empty text beyond entry 100000.
    form.Picture1_MouseDown(Qt::LeftButton, {}, 0, 0);
    form.Picture1_MouseMove(Qt::NoButton, {}, 0, 99999);
    QVERIFY(form.resultList().ListTop > 100000);
    QCOMPARE(fixture.rowCaptions(), QStringList(23, QString()));
    form.resultList().ListTop = 99990;
    form.ShowListRows();
    QCOMPARE(form.Label4[10]->caption(), entry(100000));
    QCOMPARE(form.Label4[11]->caption(), QString());
}

QTEST_MAIN(TestResultList)
#include "tst_resultlist.moc"
