#pragma once

#include "platform/Seams.h"

#include <chrono>
#include <optional>

// When the keypad hands its letters to the main window: the main window refills its list when it
// becomes active coming from the keypad. Window managers deliver that return in many orders (the
// focus straight back, the find window first, a press into the main window before its
// activation, no activation at all after 返回), so this class decides from plain events and the
// platform's clock alone, and the window only carries out what it answers.
class KeypadHandOver {
public:
    // The program's windows as the focus moves between them; Other is any other window, None
    // is no window of the program.
    enum class Window { None, Main, Keypad, Find, Other };

    // How long after 返回, or after a press that refilled the list, the hand-over to the main
    // window is expected.
    static constexpr std::chrono::milliseconds HandOverTime{2000};

    explicit KeypadHandOver(Clock& clock)
        : m_clock(clock) {}

    void keypadOpened();
    void keypadClosed();

    // What 返回 asks of the main window, given the window that has the focus.
    enum class Return {
        Refill,             // the main window has the focus already: no activation will follow
        ActivateMainWindow, // the desktop may not hand the focus back by itself
    };
    Return keypadReturned(Window focused);
    // The focus moved to now; true when the main window must refill (its Form_Activate).
    bool focusMoved(Window now);
    // A press into the main window while focused has the focus; true when the list must be
    // refilled before the press is handled, so the click sees the new list.
    bool pressInMainWindow(Window focused);
    void pressReleased();

private:
    bool withinHandOver(const std::optional<Clock::TimePoint>& since) const;

    Clock& m_clock;
    bool m_keypadOpen = false;
    Window m_lastFocus = Window::None;
    std::optional<Clock::TimePoint> m_keypadReturnedAt; // from 返回 until the next focus change
    // The press that refilled early, until its release: one press reaches the window once for
    // each widget it propagates to.
    bool m_refilledForThisPress = false;
    // The one activation that press may bring is then not a second refill; the expectation
    // lapses after HandOverTime, at 返回, or when that activation comes, whichever is first.
    std::optional<Clock::TimePoint> m_earlyRefillAt;
};
