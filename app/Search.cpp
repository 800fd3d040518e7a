// The search button: opens a fresh letter keypad; the main window's activation runs the search.

#include "app/Form19.h"

#include "keypad/Form2.h"
#include "keypad/KeypadState.h"

#include <QGuiApplication>

void Form19::Image4_Click() {
    Image4->setFrameStyle(1); // kept until the pointer moves over the keypad
    KeypadTop = 6480;
    KeypadLeft = 4800;
    KeypadActive = 1;
    delete m_keypad.data(); // an open keypad is unloaded and loaded afresh

    auto* keypad = new Form2();
    m_keypad = keypad;
    connect(keypad, &Form2::pointerMovedOverBackground, Image4, [this] { Image4->setFrameStyle(0); });
    connect(keypad, &Form2::returned, this, [this] {
        // 返回 hands over by itself: an earlier press that was never followed by its
        // activation must not swallow this one.
        m_sinceEarlyRefill.invalidate();
        if (QGuiApplication::focusWindow() == windowHandle()) {
            Form_Activate(); // already active: no activation will follow
            return;
        }
        // The desktop may not hand the focus back by itself when the keypad closes.
        m_sinceKeypadClosed.start();
        activateWindow();
        raise();
    });
    connect(keypad, &QObject::destroyed, this, [this] { m_keypadWindow = nullptr; });
    keypad->show();
    m_keypadWindow = keypad->windowHandle();
    keypad->raise();
    keypad->activateWindow();
    KeypadLetters.clear();
}
