#pragma once

#include "keypad/KeypadState.h"
#include "keypad/PictureButton.h"
#include "platform/Seams.h"
#include "platform/SkinnedWindow.h"

#include <QWidget>

#include <array>

class QAbstractButton;
class QKeyEvent;
class QLabel;
class QLineEdit;

// The letter keypad: a small borderless window with no owner. Its letters go into the
// KeypadLetters of the state the main window hands it; the main window runs the search when it
// becomes active again.
class Form2 : public SkinnedWindow {
    Q_OBJECT

public:
    Form2(KeypadState& state, Clock& clock);

    std::array<QPushButton*, 26> Command2{};
    QPushButton* Command3 = nullptr; // 清除
    QLineEdit* Text1 = nullptr;
    PictureButton* Command1 = nullptr; // 返回
    QLabel* Shape1 = nullptr;
    QLabel* Image1 = nullptr;

    bool& KeypadDragging = m_drag.dragging;
    double& KeypadDragX = m_drag.x;
    double& KeypadDragY = m_drag.y;

    void Form_Load();
    void Command2_Click(int index);
    void Command3_Click();
    void Command1_Click();
    // Form_MouseDown and Form_MouseUp drag the keypad (SkinnedWindow); a move also tells the
    // main window that the pointer is over the keypad.
    void Form_MouseMove(Qt::MouseButton button, Qt::KeyboardModifiers shift, double x, double y) override;

Q_SIGNALS:
    // The pointer moved over the keypad's background (not over a button or the text box).
    void pointerMovedOverBackground();
    // 返回 closed the keypad.
    void returned();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void buildControls();
    // The keyboard's keys for the keypad's buttons; true when the key was one of them.
    bool typeKey(const QKeyEvent* key);
    void pressFromKeyboard(QAbstractButton* button);

    KeypadState& m_state;
    Clock& m_clock;
};
