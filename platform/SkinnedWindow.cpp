#include "platform/SkinnedWindow.h"

#include "platform/Twips.h"

#include <QMouseEvent>
#include <QMoveEvent>

SkinnedWindow::SkinnedWindow()
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {}

void SkinnedWindow::Move(double left, double top) {
    m_left = left;
    m_top = top;
    move(toPixels(left), toPixels(top));
}

QPointF SkinnedWindow::clientTwips(QPointF global) const {
    return {toTwips(global.x()) - m_left, toTwips(global.y()) - m_top};
}

void SkinnedWindow::Form_MouseDown(Qt::MouseButton, Qt::KeyboardModifiers, double x, double y) {
    m_drag = {true, x, y};
}

void SkinnedWindow::Form_MouseMove(Qt::MouseButton, Qt::KeyboardModifiers, double x, double y) {
    if (m_drag.dragging)
        Move(x - m_drag.x + Left(), y - m_drag.y + Top());
}

void SkinnedWindow::Form_MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, double, double) {
    m_drag.dragging = false;
}

void SkinnedWindow::mousePressEvent(QMouseEvent* event) {
    const QPointF at = clientTwips(event->globalPosition());
    Form_MouseDown(event->button(), event->modifiers(), at.x(), at.y());
}

void SkinnedWindow::mouseMoveEvent(QMouseEvent* event) {
    const QPointF at = clientTwips(event->globalPosition());
    Form_MouseMove(Qt::NoButton, event->modifiers(), at.x(), at.y());
}

void SkinnedWindow::mouseReleaseEvent(QMouseEvent* event) {
    const QPointF at = clientTwips(event->globalPosition());
    Form_MouseUp(event->button(), event->modifiers(), at.x(), at.y());
}

void SkinnedWindow::moveEvent(QMoveEvent* event) {
    // Our own Move lands on the rounded pixels of the twips place: keep the twips.
    if (event->pos() != QPoint(toPixels(m_left), toPixels(m_top))) {
        m_left = toTwips(event->pos().x());
        m_top = toTwips(event->pos().y());
    }
    QWidget::moveEvent(event);
}
