#include "app/Controls.h"

#include "platform/LineBreaks.h"
#include "platform/Twips.h"
#include "resources/Artwork.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QScrollBar>
#include <QTextBlock>
#include <QWheelEvent>

#include <algorithm>
#include <limits>
#include <utility>

QColor toQColor(uint32_t colorValue) {
    if (colorValue & 0x80000000u) {
        switch (colorValue & 0xFF) {
        case 5:
            return QApplication::palette().color(QPalette::Base);
        case 8:
            return QApplication::palette().color(QPalette::Text);
        case 18:
            return QApplication::palette().color(QPalette::ButtonText);
        default:
            return QApplication::palette().color(QPalette::WindowText);
        }
    }
    return QColor(colorValue & 0xFF, (colorValue >> 8) & 0xFF, (colorValue >> 16) & 0xFF);
}

CaptionLabel::CaptionLabel(QWidget* parent)
    : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void CaptionLabel::setCaption(const QString& caption) {
    m_caption = caption;
    setText(toLineFeeds(caption, LoneCarriageReturn::BreaksLine));
}

void CaptionLabel::mousePressEvent(QMouseEvent* event) {
    event->accept(); // a label takes its own presses: they start no window drag
}

ListRow::ListRow(QWidget* parent)
    : ClickControl<CaptionLabel>(parent) {
    setMouseTracking(true);
    setAutoFillBackground(true);
    QPalette colors = palette();
    colors.setColor(QPalette::Window, Qt::white);
    setPalette(colors);
    setForeColor(ButtonTextColor);
}

void ListRow::setForeColor(uint32_t colorValue) {
    m_foreColor = colorValue;
    QPalette colors = palette();
    colors.setColor(QPalette::WindowText, toQColor(colorValue));
    setPalette(colors);
}

void ListRow::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    Q_EMIT mouseMoved();
}

ClickLabel::ClickLabel(QWidget* parent)
    : ClickControl<QLabel>(parent) {
    setAttribute(Qt::WA_NoMousePropagation);
}

PictureImage::PictureImage(QWidget* parent, const QString& picture, Fill fill, bool transparentForMouse)
    : QWidget(parent)
    , m_picture(artworkPixmap(picture))
    , m_fill(fill) {
    if (transparentForMouse)
        setAttribute(Qt::WA_TransparentForMouseEvents);
    else
        setAttribute(Qt::WA_NoMousePropagation);
}

void PictureImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_fill == Fill::Tile)
        painter.drawTiledPixmap(
            rect(), m_picture.scaled(m_picture.size() / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    else
        painter.drawPixmap(rect(), m_picture);
}

void PictureImage::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

ImageButton::ImageButton(QWidget* parent, const QString& picture, const QString& faceText)
    : ClickControl<QWidget>(parent)
    , m_picture(artworkPixmap(picture))
    , m_faceText(faceText) {
    setAttribute(Qt::WA_NoMousePropagation);
    setCursor(Qt::PointingHandCursor);
    setToolTip(QString(faceText).remove(u' '));
}

void ImageButton::setFrameStyle(int style) {
    if (m_frameStyle == style)
        return;
    m_frameStyle = style;
    update();
}

void ImageButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!m_picture.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(rect(), m_picture);
    } else {
        painter.fillRect(rect(), palette().button());
        painter.drawText(rect(), Qt::AlignCenter, m_faceText);
    }
    if (m_frameStyle == 1) {
        painter.setPen(QPen(Qt::black, 1));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

ThumbPicture::ThumbPicture(QWidget* parent)
    : QLabel(parent) {
    setAttribute(Qt::WA_NoMousePropagation);
    setScaledContents(true);
    setPixmap(artworkPixmap(QStringLiteral("thumb")));
}

void ThumbPicture::mousePressEvent(QMouseEvent* event) {
    event->accept();
    Q_EMIT mouseDown(event->button(), event->modifiers(), static_cast<float>(toTwips(event->position().x())),
                     static_cast<float>(toTwips(event->position().y())));
}

void ThumbPicture::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    Q_EMIT mouseMove(Qt::NoButton, event->modifiers(), static_cast<float>(toTwips(event->position().x())),
                     static_cast<float>(toTwips(event->position().y())));
}

void ThumbPicture::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    Q_EMIT mouseUp(event->button(), event->modifiers(), static_cast<float>(toTwips(event->position().x())),
                   static_cast<float>(toTwips(event->position().y())));
}

void ThumbPicture::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept(); // no second press: the drag ended with the first release
}

ShapeControl::ShapeControl(QWidget* parent, Kind kind)
    : QWidget(parent)
    , m_kind(kind) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapeControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The list's frame shows that the list has the keyboard.
    painter.setPen(
        QPen(hasFocus() ? palette().color(QPalette::Highlight) : QColor(0x60, 0x66, 0x70), hasFocus() ? 2 : 1));
    if (m_kind == Kind::Rectangle)
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    else
        painter.drawLine(0, 0, 0, height());
}

NameBox::NameBox(QWidget* parent, const QString& placeholder)
    : QLineEdit(parent) {
    setAttribute(Qt::WA_NoMousePropagation);
    setMaxLength(std::numeric_limits<int>::max());
    setPlaceholderText(placeholder);
}

void NameBox::setText(const QString& text) {
    QLineEdit::setText(text);
    setCursorPosition(0); // otherwise the box scrolls to the end of a long name
}

LeafletBox::LeafletBox(QWidget* parent)
    : QPlainTextEdit(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setAttribute(Qt::WA_NoMousePropagation);
}

void LeafletBox::setText(const QString& text) {
    m_setText = text;
    setPlainText(toLineFeeds(text, LoneCarriageReturn::KeptAsCharacter));
    m_shownText = document()->toRawText();
}

void LeafletBox::setZoom(int points) {
    const int bounded = std::clamp(points, MinZoom, MaxZoom);
    zoomIn(bounded - m_zoom);
    m_zoom = bounded;
}

void LeafletBox::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QPlainTextEdit::wheelEvent(event);
        return;
    }
    // One notch (120) is one point.
    m_wheelAngle += event->angleDelta().y();
    const int steps = m_wheelAngle / 120;
    m_wheelAngle -= steps * 120;
    setZoom(m_zoom + steps);
    event->accept();
}

void LeafletBox::keyPressEvent(QKeyEvent* event) {
    // Shift is not consulted: on most keyboards "+" is Shift with "=", and X reports it as
    // Ctrl+Shift+Plus.
    const bool control = event->modifiers() & Qt::ControlModifier;
    const int key = event->key();
    if (event->matches(QKeySequence::ZoomIn) || (control && (key == Qt::Key_Plus || key == Qt::Key_Equal)))
        setZoom(m_zoom + 1);
    else if (event->matches(QKeySequence::ZoomOut))
        setZoom(m_zoom - 1);
    else if (control && event->key() == Qt::Key_0)
        setZoom(0);
    else
        QPlainTextEdit::keyPressEvent(event);
}

QString LeafletBox::text() const {
    // The raw text keeps non-breaking spaces that toPlainText() would turn into blanks.
    QString raw = document()->toRawText();
    if (raw == m_shownText)
        return m_setText;
    raw.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    raw.replace(QChar::LineSeparator, QStringLiteral("\r\n"));
    return raw;
}
