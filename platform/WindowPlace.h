#pragma once

#include "platform/Twips.h"

#include <QWidget>

// A top-level window's place on the screen in twips, as the drag handlers compute it; only
// placing the widget rounds it to pixels. When the desktop puts the window elsewhere (below
// a panel, say), the place follows, so drags go on from where the window really is.
class WindowPlace {
public:
    explicit WindowPlace(QWidget* window)
        : m_window(window) {}

    double left() const { return m_left; }
    double top() const { return m_top; }

    // Where a pointer at this place on the screen (logical pixels) is in the client area, in
    // twips. A mouse event's own window-relative position can be stale: one queued before the
    // window's last move is relative to where the window was then. Its screen position never is.
    QPointF clientTwips(QPointF global) const { return {toTwips(global.x()) - m_left, toTwips(global.y()) - m_top}; }

    void move(double left, double top) {
        m_left = left;
        m_top = top;
        m_window->move(toPixels(left), toPixels(top));
    }

    // Called from the window's moveEvent.
    void follow(QPoint pixels) {
        if (pixels != QPoint(toPixels(m_left), toPixels(m_top))) {
            m_left = toTwips(pixels.x());
            m_top = toTwips(pixels.y());
        }
    }

private:
    QWidget* m_window;
    double m_left = 0;
    double m_top = 0;
};
