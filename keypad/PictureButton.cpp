#include "keypad/PictureButton.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <qdrawutil.h>

PictureButton::PictureButton(const QString& text, const QPixmap& picture, QWidget* parent)
    : QPushButton(text, parent)
    , m_picture(picture) {}

void PictureButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(rect(), m_picture);
    const bool down = isDown() || isChecked();
    // No fill: the edge goes over the picture.
    qDrawWinButton(&painter, rect(), palette(), down, nullptr);

    const QRect caption = down ? rect().translated(1, 1) : rect();
    style()->drawItemText(&painter, caption, Qt::AlignCenter | Qt::TextShowMnemonic, palette(), isEnabled(), text(),
                          QPalette::ButtonText);

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = caption.adjusted(4, 4, -4, -4);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}
