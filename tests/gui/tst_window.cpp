#include "data/SqlTexts.h"
#include "keypad/Form2.h"
#include "platform/Twips.h"
#include "tests/support/MainWindowFixture.h"

#include <QtTest>

namespace {

void moveOver(QWidget* widget, QPoint at, Qt::MouseButtons held) {
    QMouseEvent move(QEvent::MouseMove, QPointF(at), widget->mapToGlobal(QPointF(at)), Qt::NoButton, held,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

// A point of the window where only the background is: above the list's frame.
const QPoint kBackground(100, 20);

// The mean difference of two images' color channels, 0 to 255.
double meanDifference(const QImage& a, const QImage& b) {
    const QImage first = a.convertToFormat(QImage::Format_RGB888);
    const QImage second = b.convertToFormat(QImage::Format_RGB888);
    qint64 sum = 0;
    for (int y = 0; y < first.height(); ++y) {
        const uchar* p = first.constScanLine(y);
        const uchar* q = second.constScanLine(y);
        for (int x = 0; x < first.width() * 3; ++x)
            sum += qAbs(p[x] - q[x]);
    }
    return double(sum) / (qint64(first.width()) * first.height() * 3);
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { prepareTestApplication(); }
    void dragMovesTheWindowExactly_data();
    void dragMovesTheWindowExactly();
    void noMoveBeforeAPressOrAfterTheRelease();
    void dragGoesOnFromWhereTheDesktopPutTheWindow();
    void doubleClickOnAButtonActsOnce();
    void controlsStartNoDrag();
    void moveOverTheBackgroundResetsRowColors();
    void doubleClickMinimises();
    void pressedFrames();
    void exitEndsTheProgramWithTheKeypadOpen();
    void artworkAtTheScreensDensity();
};

void TestWindow::dragMovesTheWindowExactly_data() {
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("left") << Qt::LeftButton;
    QTest::newRow("right") << Qt::RightButton;
    QTest::newRow("middle") << Qt::MiddleButton;
}

void TestWindow::dragMovesTheWindowExactly() {
    QFETCH(Qt::MouseButton, button);
    MainWindowFixture fixture;
    Form19& form = fixture.open();
    QTest::mousePress(&form, button, {}, kBackground);
    QVERIFY(form.FormDragging);
    moveOver(&form, kBackground + QPoint(20, -10), button); // (+300, -150) twips
    QCOMPARE(form.Left(), 300.0);
    QCOMPARE(form.Top(), -150.0); // off the screen's edge, as computed
    QCOMPARE(form.pos(), QPoint(20, -10));
    // A move queued before that move took effect: its window position is still relative to
    // (0, 0). The window follows the pointer, not that stale position.
    const QPointF pointer(kBackground + QPoint(40, -20));
    QMouseEvent late(QEvent::MouseMove, pointer, pointer, Qt::NoButton, button, Qt::NoModifier);
    QApplication::sendEvent(&form, &late);
    QCOMPARE(form.pos(), QPoint(40, -20));
    QTest::mouseRelease(&form, button, {}, kBackground);
    QVERIFY(!form.FormDragging);
}

void TestWindow::noMoveBeforeAPressOrAfterTheRelease() {
    MainWindowFixture fixture;
    Form19& form = fixture.open();
    moveOver(&form, kBackground + QPoint(40, 40), Qt::NoButton);
    QCOMPARE(form.pos(), QPoint(0, 0));
    form.Form_MouseDown(Qt::LeftButton, {}, 100, 100);
    form.Form_MouseMove(Qt::NoButton, {}, 130, 100);
    form.Form_MouseUp(Qt::LeftButton, {}, 130, 100);
    QCOMPARE(form.Left(), 30.0);
    form.Form_MouseMove(Qt::NoButton, {}, 500, 500);
    QCOMPARE(form.Left(), 30.0);
    QCOMPARE(form.Top(), 0.0);
}

void TestWindow::dragGoesOnFromWhereTheDesktopPutTheWindow() {
    MainWindowFixture fixture;
    Form19& form = fixture.open();
    form.move(100, 50); // as a desktop with a panel might place it
    QCOMPARE(form.Left(), 1500.0);
    QTest::mousePress(&form, Qt::LeftButton, {}, kBackground);
    moveOver(&form, kBackground + QPoint(1, 0), Qt::LeftButton);
    QCOMPARE(form.pos(), QPoint(101, 50));
}

void TestWindow::doubleClickOnAButtonActsOnce() {
    MainWindowFixture fixture;
    Form19& form = fixture.open();
    form.Text11->setText(QStringLiteral("阿莫西林"));
    doubleClick(form.Image13);
    QCOMPARE(fixture.fakes.dialogs.questions.size(), 1);
    QCOMPARE(fixture.file.readAll().size(), 1);
    doubleClick(form.Image4);
    QVERIFY(form.keypad() != nullptr);
}

void TestWindow::controlsStartNoDrag() {
    MainWindowFixture fixture;
    fixture.file.insert(QStringLiteral("阿莫西林"));
    Form19& form = fixture.open();
    form.FillDrugList(FullTableQuery);
    for (QWidget* control : std::initializer_list<QWidget*>{form.Label4[0], form.Label4[5], form.Label20, form.Image8,
                                                            form.Text11, form.Image13, form.Picture1}) {
        QTest::mousePress(control, Qt::LeftButton, {}, QPoint(2, 2));
        QVERIFY2(!form.FormDragging, control->metaObject()->className());
        QTest::mouseRelease(control, Qt::LeftButton, {}, QPoint(2, 2));
    }
    // The frame, the track line and the background let the press through.
    const QPoint onShape1 = form.Shape1->geometry().topLeft();
    QTest::mousePress(&form, Qt::LeftButton, {}, onShape1);
    QVERIFY(form.FormDragging);
}

void TestWindow::moveOverTheBackgroundResetsRowColors() {
    MainWindowFixture fixture;
    fixture.file.insert(QStringLiteral("阿莫西林"));
    Form19& form = fixture.open();
    form.FillDrugList(FullTableQuery);
    form.Label4_MouseMove(0);
    QCOMPARE(form.Label4[0]->foreColor(), HoverColor);
    moveOver(&form, kBackground, Qt::NoButton);
    for (const ListRow* row : form.Label4)
        QCOMPARE(row->foreColor(), ButtonTextColor);
    QCOMPARE(form.pos(), QPoint(0, 0));
}

void TestWindow::doubleClickMinimises() {
    MainWindowFixture fixture;
    Form19& form = fixture.open();
    QTest::mouseDClick(&form, Qt::LeftButton, {}, kBackground);
    QVERIFY(form.windowState() & Qt::WindowMinimized);
    QCOMPARE(form.pos(), QPoint(0, 0)); // the press and release before it moved nothing
    form.setWindowState(Qt::WindowNoState);
    form.Form_DblClick();
    QVERIFY(form.windowState() & Qt::WindowMinimized);
}

void TestWindow::pressedFrames() {
    MainWindowFixture fixture;
    Form19& form = fixture.open();
    // Any mouse button shows the frame while it is held.
    for (const Qt::MouseButton held : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        for (ImageButton* button : {form.Image2, form.Image3, form.Image4, form.Image6, form.Image9}) {
            QTest::mousePress(button, held);
            QVERIFY2(button->frameStyle() == 1, qPrintable(button->faceText()));
            QTest::mouseRelease(button, held, {}, QPoint(-5, -5)); // released off the button: no action
            QCOMPARE(button->frameStyle(), 0);
        }
    }
    QVERIFY(form.keypad() == nullptr);
    QVERIFY(fixture.fakes.process.endings.isEmpty());
    fixture.fakes.dialogs.answers = {false, false, false, false};
    for (ImageButton* button : {form.Image13, form.Image7, form.Image11, form.Image5, form.Image10}) {
        QTest::mousePress(button, Qt::RightButton);
        QCOMPARE(button->frameStyle(), 0);
        QTest::mouseRelease(button, Qt::RightButton);
        QTest::mousePress(button, Qt::LeftButton);
        QCOMPARE(button->frameStyle(), 0);
        QTest::mouseRelease(button, Qt::LeftButton);
    }
    QCOMPARE(fixture.fakes.urls.opened, QStringList{HomePageAddress});
}

void TestWindow::exitEndsTheProgramWithTheKeypadOpen() {
    MainWindowFixture fixture;
    Form19& form = fixture.open();
    form.Image4_Click();
    QVERIFY(form.keypad());
    QTest::mouseClick(form.Image6, Qt::LeftButton);
    QCOMPARE(fixture.fakes.process.endings, QList<int>{0});
    QVERIFY(fixture.fakes.dialogs.questions.isEmpty());
}

void TestWindow::artworkAtTheScreensDensity() {
    // Runs as it is and with QT_SCALE_FACTOR=2 (tests/CMakeLists.txt).
    QCOMPARE(qApp->devicePixelRatio(), qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble());
    const qreal ratio = qApp->devicePixelRatio() > 1 ? 2 : 1;
    MainWindowFixture fixture;
    Form19& form = fixture.open();
    form.Image4_Click();
    Form2* keypad = form.keypad();
    QVERIFY(keypad);
    // The pictures have twice the pixels on a high-density screen, and the same logical size.
    for (const auto& [label, name] : {std::pair<QLabel*, QString>{form.Label20, QStringLiteral("arrow_up")},
                                      {form.Label12, QStringLiteral("arrow_down")},
                                      {form.Picture1, QStringLiteral("thumb")},
                                      {keypad->Image1, QStringLiteral("keypad_background")}}) {
        const QPixmap picture = label->pixmap();
        QCOMPARE(picture.devicePixelRatio(), ratio);
        QCOMPARE(picture.size(), QImage(QStringLiteral(":/art/%1.png").arg(name)).size() * ratio);
    }
    // The layout in logical pixels is the same at any density: the windows' sizes, and the
    // background's tiles, half the 1x picture's size, so the corner shows one whole tile.
    QCOMPARE(QSizeF(toTwips(form.width()), toTwips(form.height())), QSizeF(11670, 9495));
    QCOMPARE(QSizeF(toTwips(keypad->width()), toTwips(keypad->height())), QSizeF(3495, 2670));
    const QImage background(QStringLiteral(":/art/background.png"));
    const QImage corner = form.Image1->grab(QRect(QPoint(0, 0), background.size() / 2)).toImage();
    QCOMPARE(corner.size(), background.size() / 2 * ratio);
    const double difference =
        meanDifference(corner, background.scaled(corner.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    QVERIFY2(difference < 2, qPrintable(QString::number(difference))); // a tile of another size differs by 3 or more
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
