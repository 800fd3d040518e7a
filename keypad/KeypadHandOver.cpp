#include "keypad/KeypadHandOver.h"

void KeypadHandOver::keypadOpened() {
    m_keypadOpen = true;
}

void KeypadHandOver::keypadClosed() {
    m_keypadOpen = false;
    // The closed keypad's window is gone: a later focus change does not come from a keypad.
    if (m_lastFocus == Window::Keypad)
        m_lastFocus = Window::Other;
}

bool KeypadHandOver::withinHandOver(const std::optional<Clock::TimePoint>& since) const {
    return since && m_clock.now() - *since < HandOverTime;
}

KeypadHandOver::Return KeypadHandOver::keypadReturned(Window focused) {
    // 返回 hands over by itself: an earlier press that was never followed by its activation
    // must not swallow this one.
    m_earlyRefillAt.reset();
    if (focused == Window::Main)
        return Return::Refill;
    m_keypadReturnedAt = m_clock.now();
    return Return::ActivateMainWindow;
}

bool KeypadHandOver::focusMoved(Window now) {
    // Activation counts only when the main window is reached from the keypad: the keypad was
    // the active window, or 返回 has just closed it. Coming back from a message box of ours, from
    // the find window or from another program runs nothing.
    const Window previous = m_lastFocus;
    m_lastFocus = now;
    if (now == Window::None)
        return false;
    // The hand-over after 返回 counts only for a moment: a later return from elsewhere is not one.
    const bool handedOver = withinHandOver(m_keypadReturnedAt);
    const bool fromKeypad = previous == Window::Keypad || handedOver;
    m_keypadReturnedAt.reset();
    // A desktop may focus the find window as the keypad closes, before the main window or
    // instead of it: 返回's letters are searched for now, so they are never lost.
    if (handedOver && now == Window::Find)
        return true;
    if (now != Window::Main || !fromKeypad)
        return false;
    if (withinHandOver(m_earlyRefillAt)) {
        m_earlyRefillAt.reset(); // the press already refilled for this activation
        return false;
    }
    return true;
}

bool KeypadHandOver::pressInMainWindow(Window focused) {
    // A press from the find window refills nothing: it lands on the drugs the user sees there.
    if (!m_keypadOpen || m_refilledForThisPress || focused != Window::Keypad)
        return false;
    m_refilledForThisPress = true;
    m_earlyRefillAt = m_clock.now();
    return true;
}

void KeypadHandOver::pressReleased() {
    m_refilledForThisPress = false;
}
