#include "app/FindWindow.h"
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
    if (file.server()) {
        file.execute(QStringLiteral("INSERT INTO %1 (%2, %3) SELECT '药' || (g - 1), 'Y' FROM generate_series(1, %4) g")
                         .arg(DrugTableName, ChineseNameColumn, InitialsColumn)
                         .arg(count));
        return;
    }
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
    void scrolling_data();
    void scrolling();
    void arrowsAndThumbMoveTheRows();
    void wheelAndKeysMoveTheRows();
    void wheelAndKeysOnX();
    void emptyKeypadSearchPointsToTheFindWindow();
    void dragWithRealMouseEventsAndGrab();
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
    QString said = QStringLiteral("database is locked");
    if (fixture.file.server()) {
        // A server has no lock that keeps out readers: its table is taken away for the refill.
        fixture.file.execute(QStringLiteral("ALTER TABLE 西药 RENAME TO 西药暂时"));
        fixture.search(QStringLiteral("y"));
        fixture.file.execute(QStringLiteral("ALTER TABLE 西药暂时 RENAME TO 西药"));
        said = QStringLiteral("\"西药\"");
    } else {
        DrugConnection other;
        other.openFile(fixture.file.path(), DrugPassword);
        other.execute(QStringLiteral("BEGIN EXCLUSIVE")); // not even a reader gets in
        fixture.search(QStringLiteral("y"));
        other.rollback();
    }
    QCOMPARE(fixture.fakes.dialogs.messages.size(), 1);
    QVERIFY2(fixture.fakes.dialogs.messages[0].contains(said), qPrintable(fixture.fakes.dialogs.messages[0]));
    // The count matches what the arrays hold: the arrows and the thumb find nothing to scroll.
    QCOMPARE(form.resultList().ListCount.toNumber(), 0.0);
    QVERIFY(form.resultList().RowChineseName[0].isEmpty() && form.resultList().RowId[29].isEmpty());
    form.Label12_Click();
    QCOMPARE(form.resultList().ListTop, 0);
    QCOMPARE(fixture.rowCaptions(), QStringList(23, QString()));
    QVERIFY(!fixture.drugFile.recordset().isOpen());
}

void TestResultList::scrolling_data() {
    // The list alone, without a window or a file: its count as a refill leaves it (-1: no
    // refill yet), then a script of d (the down arrow), u (the up arrow), pY, mY and r (the
    // thumb pressed, moved and released at Y twips), =N (ListTop set), each repeatable as dN, uN;
    // sN (N clicks of an arrow at once, up when negative), t and e (to the top, to the end).
    QTest::addColumn<qint64>("count");
    QTest::addColumn<QString>("script");
    QTest::addColumn<qint64>("listTop");
    QTest::addColumn<double>("thumbTop");
    QTest::addColumn<int>("rowsInArrays");
    // 8190 twips of travel at 630 a click: the list moves 13 times, then only the thumb clamps.
    QTest::newRow("down to the last step") << 10LL << "d13" << 13LL << 8920.0 << 23;
    QTest::newRow("down past the end") << 10LL << "d14" << 13LL << 8920.0 << 23;
    // The up arrow always moves the list, and clamps the thumb on its own.
    QTest::newRow("up from the clamp") << 10LL << "d14 u" << 12LL << 8290.0 << 23;
    QTest::newRow("up past the top") << 10LL << "d14 u21" << 0LL << 730.0 << 23;
    // Dragged to the bottom the thumb stands for entry 13 but is only 6900 twips down: going
    // up, it reaches the top of the track first, and the list goes on moving.
    QTest::newRow("dragged to the bottom") << 10LL << "p0 m99999 r" << 13LL << 7630.0 << 23;
    QTest::newRow("up from the dragged bottom") << 10LL << "p0 m99999 r u10" << 3LL << 1330.0 << 23;
    QTest::newRow("up until the thumb is at the top") << 10LL << "p0 m99999 r u11" << 2LL << 730.0 << 23;
    QTest::newRow("the list goes on when the thumb cannot") << 10LL << "p0 m99999 r u12" << 1LL << 730.0 << 23;
    QTest::newRow("up at the top") << 5LL << "u" << 0LL << 730.0 << 23;
    // Entry 0 in row 0 with the thumb a little down the track (300 * 5 / 5280): clamped back.
    QTest::newRow("dragged a little") << 5LL << "p0 m300 r" << 0LL << 1030.0 << 23;
    QTest::newRow("up after a little drag") << 5LL << "p0 m300 r u" << 0LL << 730.0 << 23;
    QTest::newRow("arrows before any refill") << -1LL << "d u" << 0LL << 730.0 << 23;
    QTest::newRow("arrows on an empty result") << 0LL << "d u d" << 0LL << 730.0 << 23;
    // No entries: the mapping has no scale, so the thumb moves and the rows stay.
    QTest::newRow("drag before any refill") << -1LL << "p0 m600" << 0LL << 1330.0 << 23;
    QTest::newRow("drag on an empty result") << 0LL << "p0 m600 r" << 0LL << 1330.0 << 23;
    // At 22 entries a step of the list is 240 twips of the thumb.
    QTest::newRow("22: 239 down") << 22LL << "p90 m329" << 0LL << 969.0 << 23;
    QTest::newRow("22: 240 down") << 22LL << "p90 m330" << 1LL << 970.0 << 23;
    QTest::newRow("22: 480 down") << 22LL << "p90 m570" << 2LL << 1210.0 << 23;
    QTest::newRow("22: to the bottom") << 22LL << "p90 m100089" << 28LL << 7630.0 << 23;
    QTest::newRow("22: above the top") << 22LL << "p90 m-410" << 0LL << 730.0 << 23;
    QTest::newRow("22: a move after the release") << 22LL << "p90 m570 r m5000" << 2LL << 1210.0 << 23;
    QTest::newRow("22: a move before any press") << 22LL << "m5000" << 0LL << 730.0 << 23;
    // 3150 twips a click: 730, 3880, 7030, then clamped at 8920; a drag from there snaps up.
    QTest::newRow("2: the thumb below the drag range") << 2LL << "d3" << 2LL << 8920.0 << 23;
    QTest::newRow("2: a drag from below the range") << 2LL << "d3 p50 m50" << 2LL << 7630.0 << 23;
    // The arrays end at entry 100000: rows beyond it show nothing.
    QTest::newRow("100,000: dragged to the bottom") << 100000LL << "p0 m99999" << 130681LL << 7630.0 << 0;
    QTest::newRow("100,000: the last entries") << 100000LL << "=99990" << 99990LL << 730.0 << 11;
    QTest::newRow("100,000: one step down") << 100000LL << "d" << 1LL << 730.063 << 23;
    // The wheel and the keys: as many arrow clicks, so the same limits.
    QTest::newRow("a page down") << 30LL << "s22" << 22LL << 5350.0 << 23;
    QTest::newRow("pages down past the end") << 30LL << "s22 s22" << 39LL << 8920.0 << 23;
    QTest::newRow("a page up past the top") << 30LL << "d3 s-22" << 0LL << 730.0 << 23;
    QTest::newRow("to the end") << 10LL << "e" << 13LL << 8920.0 << 23;
    QTest::newRow("to the end after a drag") << 10LL << "p0 m99999 r e" << 15LL << 8920.0 << 23;
    QTest::newRow("to the top after a drag") << 10LL << "p0 m99999 r t" << 0LL << 730.0 << 23;
    // 8190 / 0.063 is 130000, but the thumb's steps add up in double precision, one click at a
    // time, and the last one already passes the clamp.
    QTest::newRow("to the end of 100,000") << 100000LL << "e" << 129999LL << 8920.0 << 0;
    QTest::newRow("to the top of 100,000") << 100000LL << "p0 m99999 r t" << 0LL << 730.0 << 23;
    QTest::newRow("to the end and the top, empty") << 0LL << "p0 m600 r e t" << 0LL << 1330.0 << 23;
}

void TestResultList::scrolling() {
    QFETCH(qint64, count);
    QFETCH(QString, script);
    QFETCH(qint64, listTop);
    QFETCH(double, thumbTop);
    QFETCH(int, rowsInArrays);
    ResultList list;
    // GCC 12 at -O3 with the sanitizers takes a moved variant's storage for uninitialised here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
    if (count >= 0)
        list.ListCount = Cell(count);
#pragma GCC diagnostic pop
    for (const QString& step : script.split(u' ')) {
        const QChar action = step[0];
        const double number = step.mid(1).toDouble();
        const int times = action == u'd' || action == u'u' ? std::max(1, int(number)) : 1;
        for (int i = 0; i < times; ++i) {
            if (action == u'd')
                list.scrollDown();
            else if (action == u'u')
                list.scrollUp();
            else if (action == u'p')
                list.beginThumbDrag(number);
            else if (action == u'm')
                list.dragThumb(number);
            else if (action == u'r')
                list.endThumbDrag();
            else if (action == u'=')
                list.ListTop = qint64(number);
            else if (action == u's')
                list.scrollBy(qint64(number));
            else if (action == u't')
                list.scrollToTop();
            else if (action == u'e')
                list.scrollToEnd();
        }
    }
    QCOMPARE(list.ListTop, listTop);
    QCOMPARE(qRound(list.thumbTop() * 1000), qRound(thumbTop * 1000));
    int inArrays = 0;
    for (int row = 0; row < ResultList::VisibleRows; ++row) {
        const std::optional<qint64> entry = list.entryOfRow(row);
        QCOMPARE(entry.has_value(), list.ListTop + row < ResultList::Cells);
        inArrays += entry ? 1 : 0;
    }
    QCOMPARE(inArrays, rowsInArrays);
}

// The handlers bind the list to the controls: the rows are captioned again and the thumb placed
// after every arrow and every move of a drag, also where nothing moved.
void TestResultList::arrowsAndThumbMoveTheRows() {
    MainWindowFixture fixture;
    insertDrugs(fixture.file, 10);
    Form19& form = fixture.open();
    form.FillDrugList(FullTableQuery);
    form.Label12_Click();
    QCOMPARE(form.Label4[0]->caption(), entry(1));
    QCOMPARE(form.Picture1->pos(), thumbAt(730 + 630));
    for (int i = 0; i < 13; ++i)
        form.Label12_Click();
    markRows(form);
    form.Label12_Click(); // only the thumb clamps
    QCOMPARE(form.Picture1->pos(), thumbAt(8920));
    QCOMPARE(fixture.rowCaptions(), QStringList(23, QString()));
    markRows(form);
    QTest::mouseClick(form.Label20, Qt::LeftButton);
    QCOMPARE(fixture.rowCaptions(), QStringList(23, QString())); // entries 12 on: beyond the ten
    QCOMPARE(form.Picture1->pos(), thumbAt(8920 - 630));
    form.Picture1_MouseDown(Qt::LeftButton, {}, 90, 90);
    // The pointer also goes sideways; the thumb does not follow it there.
    form.Picture1_MouseMove(Qt::NoButton, {}, 900, 90 - 99999);
    QCOMPARE(form.Picture1->pos(), thumbAt(730));
    QCOMPARE(form.Label4[0]->caption(), entry(0));
    form.Picture1_MouseUp(Qt::LeftButton, {}, 0, 0);
}

// The wheel over the list (not over the leaflet box) and the keys while the list has the focus,
// through the events the window gets; the steps themselves are rows of scrolling.
void TestResultList::wheelAndKeysMoveTheRows() {
    MainWindowFixture fixture;
    insertDrugs(fixture.file, 30);
    Form19& form = fixture.open();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(QApplication::focusWidget(), form.Text1); // where the focus has always started
    form.FillDrugList(FullTableQuery);
    const auto turnWheel = [&form](QWidget* over, int angle) {
        const QPointF at(2, 2);
        QWheelEvent wheel(at, over->mapToGlobal(at), {}, QPoint(0, angle), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(over, &wheel);
    };
    turnWheel(form.Label4[5], -120);
    QCOMPARE(form.resultList().ListTop, qint64(QApplication::wheelScrollLines()));
    QCOMPARE(form.Label4[0]->caption(), entry(QApplication::wheelScrollLines()));
    turnWheel(form.Label12, 60);
    turnWheel(form.Picture1, 60); // two half notches make one
    QCOMPARE(form.resultList().ListTop, 0);
    turnWheel(form.Text1, -120);
    QCOMPARE(form.resultList().ListTop, 0);

    // The keys go to the list once a click on it gives it the focus, not while a box has it.
    QTest::mouseClick(form.Label4[0], Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), form.Shape1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown);
    QCOMPARE(form.Label4[0]->caption(), entry(22));
    QCOMPARE(form.Picture1->pos(), thumbAt(730 + 22 * 210));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    QCOMPARE(form.resultList().ListTop, 21);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
    QCOMPARE(form.resultList().ListTop, 39);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Home);
    QCOMPARE(form.Label4[0]->caption(), entry(0));
    form.Text11->setFocus();
    QTest::keyClick(form.Text11, Qt::Key_Down);
    QCOMPARE(form.resultList().ListTop, 0);
}

// The same as an X server delivers it: button 5 is the wheel turned down.
void TestResultList::wheelAndKeysOnX() {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X display; tst_resultlist_xvfb runs it under Xvfb");
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("跳过：本机缺少 xdotool（scripts/deps 会安装）");
    MainWindowFixture fixture;
    insertDrugs(fixture.file, 30);
    Form19& form = fixture.open();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.FillDrugList(FullTableQuery);
    const QPoint row = form.Label4[3]->mapToGlobal(QPoint(20, 10));
    const auto xdotool = [](const QStringList& arguments) {
        QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), arguments), 0);
    };
    xdotool({QStringLiteral("mousemove"), QString::number(row.x()), QString::number(row.y())});
    xdotool({QStringLiteral("click"), QStringLiteral("5")});
    QTRY_COMPARE(form.resultList().ListTop, qint64(QApplication::wheelScrollLines()));
    xdotool({QStringLiteral("click"), QStringLiteral("1")});
    QTRY_COMPARE(QApplication::focusWidget(), form.Shape1);
    xdotool({QStringLiteral("key"), QStringLiteral("Next")});
    QTRY_COMPARE(form.resultList().ListTop, qint64(QApplication::wheelScrollLines() + 22));
    xdotool({QStringLiteral("key"), QStringLiteral("Home")});
    QTRY_COMPARE(form.resultList().ListTop, 0);
}

// A keypad search that finds nothing says where such names are found; the next refill takes
// the hint away, and a click on it opens the find window.
void TestResultList::emptyKeypadSearchPointsToTheFindWindow() {
    MainWindowFixture fixture;
    insertDrugs(fixture.file, 3);
    Form19& form = fixture.open();
    fixture.search(QStringLiteral("q"));
    QCOMPARE(form.resultList().ListCount.toNumber(), 0.0);
    QVERIFY(form.findHint()->isVisible());
    QVERIFY(form.findHint()->text().contains(QStringLiteral("Ctrl+F")));
    fixture.search(QStringLiteral("y"));
    QVERIFY(!form.findHint()->isVisible());
    fixture.search(QStringLiteral("q"));
    QTest::mouseClick(form.findHint(), Qt::LeftButton);
    QTRY_VERIFY(form.findWindow() && form.findWindow()->isVisible());
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
    // The rows beyond entry 100000 show empty text.
    form.resultList().ListTop = 99990;
    form.ShowListRows();
    QCOMPARE(form.Label4[10]->caption(), entry(100000));
    QCOMPARE(form.Label4[11]->caption(), QString());
}

QTEST_MAIN(TestResultList)
#include "tst_resultlist.moc"
