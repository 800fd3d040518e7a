#pragma once

#include <QPointF>
#include <QWidget>

// A borderless top-level window that draws its own skin and is dragged by its background.
// Its place on the screen is kept in twips, as the drag handlers compute it; only placing
// the widget rounds it to pixels. When the desktop puts the window elsewhere (below a panel,
// say), the place follows, so drags go on from where the window really is.
class SkinnedWindow : public QWidget {
    Q_OBJECT

public:
    SkinnedWindow();

    double Left() const { return m_left; }
    double Top() const { return m_top; }
    void Move(double left, double top);

    // The window's own mouse events (on its background), in twips from the client area's
    // corner. They drag the window, the same way in every skinned window: a press with any
    // button starts the drag, each move keeps the press point under the pointer, the release
    // ends it. Button and modifiers are not consulted.
    virtual void Form_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, double x, double y);
    virtual void Form_MouseMove(Qt::MouseButton button, Qt::KeyboardModifiers shift, double x, double y);
    virtual void Form_MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, double x, double y);

protected:
    // The drag's state: true from the press until the release, and the press point. Each window
    // gives it its own names (FormDragging, KeypadDragging …).
    struct Drag {
        bool dragging = false;
        double x = 0;
        double y = 0;
    };
    Drag m_drag;

    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    // Where a pointer at this place on the screen (logical pixels) is in the client area, in
    // twips. A mouse event's own window-relative position can be stale: one queued before the
    // window's last move is relative to where the window was then. Its screen position never is.
    QPointF clientTwips(QPointF global) const;

    double m_left = 0;
    double m_top = 0;
};

// A control of a skinned window that takes its own mouse events: nothing it receives reaches
// the window's background, which drags the window.
template <typename Widget> Widget* ownMouse(Widget* widget) {
    widget->setAttribute(Qt::WA_NoMousePropagation);
    return widget;
}
