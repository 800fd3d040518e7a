#include "keypad/KeypadHandOver.h"
#include "tests/support/FakePlatform.h"

#include <QtTest>

// The keypad's hand-over to the main window, event by event as window managers deliver them.
// A script is a list of events: open and close (the keypad), M K F O N (the focus moves to the
// main window, the keypad, the find window, another window, no window of ours), return (返回,
// with the focus where the last move put it), press and release (the mouse, into the main
// window, with the focus there too), +N (N milliseconds pass). Each event answers R (the main
// window refills), A (it asks for the focus) or . (nothing).
class TestHandOver : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void script_data();
    void script();
};

void TestHandOver::script_data() {
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("answers");
    QTest::newRow("返回, the focus straight back") << "open K return M"
                                                   << ". . A R";
    QTest::newRow("返回 with the main window focused already") << "open K M return"
                                                               << ". . R R";
    QTest::newRow("返回, no window of ours, then the main window") << "open K return N M"
                                                                   << ". . A . R";
    QTest::newRow("返回, the main window just within the hand-over") << "open K return N +1999 M"
                                                                     << ". . A . . R";
    QTest::newRow("返回, the main window after the hand-over") << "open K return N +2000 M"
                                                               << ". . A . . .";
    QTest::newRow("返回, the find window first") << "open K return F M"
                                                 << ". . A R .";
    QTest::newRow("a click into the main window, its activation after") << "open K press M release"
                                                                        << ". . R . .";
    QTest::newRow("a click, its activation just within the moment") << "open K press +1999 M"
                                                                    << ". . R . .";
    QTest::newRow("a click, an activation after the moment") << "open K press +2000 M"
                                                             << ". . R . R";
    QTest::newRow("one press through several widgets refills once") << "open K press press release"
                                                                    << ". . R . .";
    QTest::newRow("clicks that bring no activation refill each time") << "open K press release press release"
                                                                      << ". . R . R .";
    QTest::newRow("返回 after a click without activation hands over by itself") << "open K press release return M"
                                                                                << ". . R . A R";
    QTest::newRow("a click from the find window refills nothing") << "open K F press M"
                                                                  << ". . . . .";
    QTest::newRow("from another program back to the main window") << "open K O M"
                                                                  << ". . . .";
    QTest::newRow("from the find window back to the main window") << "open K F M"
                                                                  << ". . . .";
    QTest::newRow("a keypad opened afresh over the old one") << "open K close open K M"
                                                             << ". . . . . R";
    QTest::newRow("the keypad closed while focused, then the main window") << "open K close M"
                                                                           << ". . . .";
    QTest::newRow("no keypad yet") << "M O M press release F M"
                                   << ". . . . . . .";
}

void TestHandOver::script() {
    QFETCH(QString, events);
    QFETCH(QString, answers);
    using Window = KeypadHandOver::Window;
    const QHash<QString, Window> windows{{QStringLiteral("M"), Window::Main},
                                         {QStringLiteral("K"), Window::Keypad},
                                         {QStringLiteral("F"), Window::Find},
                                         {QStringLiteral("O"), Window::Other},
                                         {QStringLiteral("N"), Window::None}};
    ManualClock clock;
    KeypadHandOver handOver(clock);
    Window focus = Window::None;
    QStringList given;
    for (const QString& event : events.split(u' ')) {
        QChar answer = u'.';
        if (windows.contains(event)) {
            focus = windows[event];
            answer = handOver.focusMoved(focus) ? u'R' : u'.';
        } else if (event == QLatin1String("open")) {
            handOver.keypadOpened();
        } else if (event == QLatin1String("close")) {
            handOver.keypadClosed();
        } else if (event == QLatin1String("return")) {
            answer = handOver.keypadReturned(focus) == KeypadHandOver::Return::Refill ? u'R' : u'A';
        } else if (event == QLatin1String("press")) {
            answer = handOver.pressInMainWindow(focus) ? u'R' : u'.';
        } else if (event == QLatin1String("release")) {
            handOver.pressReleased();
        } else if (event.startsWith(u'+')) {
            clock.advance(std::chrono::milliseconds(event.mid(1).toInt()));
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown event ") + event));
        }
        given.append(answer);
    }
    QCOMPARE(given.join(u' '), answers);
}

QTEST_GUILESS_MAIN(TestHandOver)
#include "tst_handover.moc"
