#include "keypad/Form2.h"
#include "tests/support/MainWindowFixture.h"

#include <QFontInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class TestKeypad : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { prepareTestApplication(); }
    void layoutAndTabOrder();
    void lettersClearAndReturn();
    void reopeningLoadsAFreshKeypad();
    void dragWithAnyButton_data();
    void dragWithAnyButton();
    void searchFrameAcrossTheTwoWindows();
    void returnButtonIsRaisedAndSinksWhileHeld();
    void keyboardPressesTheButtons_data();
    void keyboardPressesTheButtons();
};

void TestKeypad::layoutAndTabOrder() {
    MainWindowFixture fixture;
    Form19& form = fixture.open();
    form.Image4_Click();
    Form2* keypad = form.keypad();
    QVERIFY(keypad);
    QCOMPARE(keypad->windowTitle(), QStringLiteral("字母查询器"));
    QVERIFY(keypad->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(keypad->parentWidget() == nullptr);
    QCOMPARE(keypad->size(), QSize(233, 178));
    QCOMPARE(keypad->pos(), QPoint(320, 432));
    QCOMPARE(keypad->Command2[0]->text(), QStringLiteral("a"));
    QCOMPARE(keypad->Command2[25]->text(), QStringLiteral("z"));
    // Row k / 7, column k % 7: "v" opens the fourth row, "清除" stands right of "z".
    QCOMPARE(keypad->Command2[21]->geometry(), QRect(8, 80, 25, 20));
    QCOMPARE(keypad->Command2[13]->geometry(), QRect(8 + 6 * 32, 8 + 24, 25, 20));
    QCOMPARE(keypad->Command3->geometry(), QRect(168, 80, 57, 20));
    QCOMPARE(keypad->Command1->text(), QStringLiteral("返回"));
    QVERIFY(keypad->Command2[4]->font().bold());
    QCOMPARE(keypad->Command2[4]->font().pointSizeF(), 12.0);
    // A Latin face in which "l" does not look like "1".
    QCOMPARE(QFontInfo(keypad->Command2[11]->font()).family(), QStringLiteral("DejaVu Serif"));

    QList<QWidget*> order;
    QWidget* widget = keypad->Text1;
    for (int i = 0; i < 29; ++i) {
        order.append(widget);
        widget = widget->nextInFocusChain();
        while (widget->focusPolicy() == Qt::NoFocus)
            widget = widget->nextInFocusChain();
    }
    QCOMPARE(order[0], keypad->Text1);
    QCOMPARE(order[1], keypad->Command3);
    QCOMPARE(order[2], keypad->Command2[25]);
    QCOMPARE(order[27], keypad->Command2[0]);
    QCOMPARE(order[28], keypad->Command1);
}

void TestKeypad::lettersClearAndReturn() {
    MainWindowFixture fixture;
    Form19& form = fixture.open();
    form.Image4_Click();
    Form2* keypad = form.keypad();
    QTest::mouseClick(keypad->Command2[0], Qt::LeftButton);
    QTest::mouseClick(keypad->Command2[0], Qt::LeftButton);
    QTest::mouseClick(keypad->Command2[12], Qt::LeftButton);
    QCOMPARE(form.keypadState().KeypadLetters, QStringLiteral("aam"));
    QCOMPARE(keypad->Text1->text(), QStringLiteral("aam"));
    QTest::mouseClick(keypad->Command3, Qt::LeftButton);
    QCOMPARE(form.keypadState().KeypadLetters, QString());
    QCOMPARE(keypad->Text1->text(), QString());
    QTest::mouseClick(keypad->Command2[23], Qt::LeftButton);
    QTest::mouseClick(keypad->Command1, Qt::LeftButton);
    QTRY_VERIFY(form.keypad() == nullptr); // unloaded
    QCOMPARE(form.keypadState().KeypadLetters, QStringLiteral("x"));
}

void TestKeypad::reopeningLoadsAFreshKeypad() {
    MainWindowFixture fixture;
    Form19& form = fixture.open();
    // The keypad's place is on the screen, wherever the main window stands.
    form.Move(3000, 1500);
    form.Image4_Click();
    QPointer<Form2> first = form.keypad();
    QCOMPARE(first->pos(), QPoint(320, 432));
    first->Command2_Click(2);
    first->Move(9000, 300);
    QCOMPARE(first->pos(), QPoint(600, 20));
    form.Move(6000, 750);
    form.Image4_Click();
    QVERIFY(first.isNull());
    Form2* second = form.keypad();
    QVERIFY(second);
    QCOMPARE(second->pos(), QPoint(320, 432));
    QCOMPARE(form.keypadState().KeypadLetters, QString());
    QCOMPARE(second->Text1->text(), QString());
    QCOMPARE(form.keypadState().KeypadLeft, 4800);
    QCOMPARE(form.keypadState().KeypadTop, 6480);
}

void TestKeypad::dragWithAnyButton_data() {
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("left") << Qt::LeftButton;
    QTest::newRow("right") << Qt::RightButton;
    QTest::newRow("middle") << Qt::MiddleButton;
}

void TestKeypad::dragWithAnyButton() {
    QFETCH(Qt::MouseButton, button);
    MainWindowFixture fixture;
    Form19& form = fixture.open();
    form.Image4_Click();
    Form2* keypad = form.keypad();
    // A press on the background (between the letter rows), a move of (+20, -10) pixels.
    const QPoint start(228, 110);
    QTest::mousePress(keypad, button, {}, start);
    QVERIFY(keypad->KeypadDragging);
    const QPoint opened = keypad->pos();
    QMouseEvent move(QEvent::MouseMove, QPointF(start + QPoint(20, -10)), QPointF(opened + start + QPoint(20, -10)),
                     Qt::NoButton, button, Qt::NoModifier);
    QApplication::sendEvent(keypad, &move);
    QCOMPARE(keypad->Left(), 4800.0 + 300);
    QCOMPARE(keypad->Top(), 6480.0 - 150);
    QCOMPARE(keypad->pos(), QPoint(340, 422));
    // A move queued before that move took effect is still relative to where the keypad opened:
    // the keypad follows the pointer, not that stale position.
    QMouseEvent late(QEvent::MouseMove, QPointF(start + QPoint(40, -20)), QPointF(opened + start + QPoint(40, -20)),
                     Qt::NoButton, button, Qt::NoModifier);
    QApplication::sendEvent(keypad, &late);
    QCOMPARE(keypad->pos(), QPoint(360, 412));
    QTest::mouseRelease(keypad, button, {}, start);
    QVERIFY(!keypad->KeypadDragging);
    keypad->Form_MouseMove(Qt::NoButton, {}, 0, 0);
    QCOMPARE(keypad->pos(), QPoint(360, 412));

    // The next drag goes on from where the keypad is now, here where the desktop put it.
    keypad->move(100, 200);
    QTest::mousePress(keypad, button, {}, start);
    QMouseEvent again(QEvent::MouseMove, QPointF(start + QPoint(-30, 15)),
                      QPointF(QPoint(100, 200) + start + QPoint(-30, 15)), Qt::NoButton, button, Qt::NoModifier);
    QApplication::sendEvent(keypad, &again);
    QCOMPARE(keypad->pos(), QPoint(70, 215));
    QCOMPARE(keypad->Left(), 1500.0 - 450);
    QCOMPARE(keypad->Top(), 3000.0 + 225);
    QTest::mouseRelease(keypad, button, {}, start);
}

void TestKeypad::searchFrameAcrossTheTwoWindows() {
    MainWindowFixture fixture;
    Form19& form = fixture.open();
    QTest::mousePress(form.Image4, Qt::LeftButton);
    QCOMPARE(form.Image4->frameStyle(), 1);
    QTest::mouseRelease(form.Image4, Qt::LeftButton); // the click opens the keypad and keeps the frame
    Form2* keypad = form.keypad();
    QVERIFY(keypad);
    QCOMPARE(form.Image4->frameStyle(), 1);
    // Moving over a button leaves it; moving over the background clears it.
    QMouseEvent overButton(QEvent::MouseMove, QPointF(5, 5), keypad->Command2[3]->mapToGlobal(QPointF(5, 5)),
                           Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(keypad->Command2[3], &overButton);
    QCOMPARE(form.Image4->frameStyle(), 1);
    QMouseEvent move(QEvent::MouseMove, QPointF(228, 110), keypad->mapToGlobal(QPointF(228, 110)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(keypad, &move);
    QCOMPARE(form.Image4->frameStyle(), 0);
}

void TestKeypad::returnButtonIsRaisedAndSinksWhileHeld() {
    MainWindowFixture fixture;
    Form19& form = fixture.open();
    form.Image4_Click();
    PictureButton* button = form.keypad()->Command1;
    const QImage up = button->grab().toImage();
    button->setDown(true);
    const QImage down = button->grab().toImage();
    button->setDown(false);
    const int right = up.width() - 1;
    const int bottom = up.height() - 1;
    const auto lightness = [](const QImage& image, int x, int y) {
        return image.pixelColor(x, y).lightness();
    };
    // Raised: lit on the left and top, shaded on the right and bottom; held, the other way round.
    QVERIFY(lightness(up, 0, bottom / 2) > lightness(up, right, bottom / 2));
    QVERIFY(lightness(up, right / 2, 0) > lightness(up, right / 2, bottom));
    QVERIFY(lightness(down, 0, bottom / 2) < lightness(down, right, bottom / 2));
    QVERIFY(lightness(down, right / 2, 0) < lightness(down, right / 2, bottom));
    // The face is the background picture, and the caption moves while held.
    const QColor face = up.pixelColor(6, bottom / 2);
    const QColor picture =
        QImage(QStringLiteral(":/art/keypad_background.png")).scaled(up.size()).pixelColor(6, bottom / 2);
    QVERIFY2(qAbs(face.lightness() - picture.lightness()) <= 8, qPrintable(face.name())); // a fine grain
    const QRect inside = up.rect().adjusted(3, 3, -3, -3);
    QVERIFY(up.copy(inside) != down.copy(inside));
}

void TestKeypad::keyboardPressesTheButtons_data() {
    QTest::addColumn<int>("closingKey");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
    QTest::newRow("Escape") << int(Qt::Key_Escape);
}

void TestKeypad::keyboardPressesTheButtons() {
    QFETCH(int, closingKey);
    MainWindowFixture fixture;
    fixture.file.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("AMXL")));
    fixture.file.insert(QStringLiteral("布洛芬"), Cell(QStringLiteral("BLF")));
    Form19& form = fixture.open();
    form.Image4_Click();
    QTRY_VERIFY(QApplication::focusWindow() == form.keypad()->windowHandle());
    Form2* keypad = form.keypad();
    // Keys go to whichever control has the focus, as the window system delivers them.
    const auto type = [](int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);
    };
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("bL")); // "L" as Caps Lock gives it
    type(Qt::Key_X, Qt::ShiftModifier);
    QCOMPARE(form.keypadState().KeypadLetters, QStringLiteral("blx"));
    QCOMPARE(keypad->Text1->text(), form.keypadState().KeypadLetters);
    QVERIFY(keypad->Command2[23]->isDown()); // x looks pressed for a moment
    fixture.fakes.clock.advance(std::chrono::milliseconds(99));
    QVERIFY(keypad->Command2[23]->isDown());
    fixture.fakes.clock.advance(std::chrono::milliseconds(1));
    QVERIFY(!keypad->Command2[23]->isDown());

    type(Qt::Key_Backspace);
    type(Qt::Key_C, Qt::ControlModifier); // a shortcut, not a letter
    QCOMPARE(form.keypadState().KeypadLetters, QStringLiteral("bl"));
    QCOMPARE(keypad->Text1->text(), form.keypadState().KeypadLetters);
    type(Qt::Key_Delete);
    QCOMPARE(form.keypadState().KeypadLetters, QString());
    QCOMPARE(keypad->Text1->text(), QString());
    QVERIFY(keypad->Command3->isDown());

    type(Qt::Key_A);
    type(closingKey);
    QTRY_VERIFY(form.keypad() == nullptr);
    QTRY_VERIFY(QApplication::focusWindow() == form.windowHandle());
    QCOMPARE(fixture.rowCaptions().first(), QStringLiteral("阿莫西林"));
    QCOMPARE(form.resultList().ListCount.toNumber(), 1.0);

    // With no keypad open, letters go to the focused box as before.
    form.Text11->clear();
    form.Text11->setFocus();
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("ab"));
    QCOMPARE(form.Text11->text(), QStringLiteral("ab"));
    QCOMPARE(form.keypadState().KeypadLetters, QStringLiteral("a"));
}

QTEST_MAIN(TestKeypad)
#include "tst_keypad.moc"
