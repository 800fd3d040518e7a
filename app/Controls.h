#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QWidget>

#include <cstdint>
#include <utility>

// Color values as the windows store them: with the high bit set, a system color by index.
constexpr uint32_t ButtonTextColor = 0x80000012;
constexpr uint32_t HoverColor = 0x000000C0; // red 192, in blue-green-red order
QColor toQColor(uint32_t colorValue);

// A label whose caption is kept exactly as set; a carriage return shows as a line break.
class CaptionLabel : public QLabel {
    Q_OBJECT
public:
    explicit CaptionLabel(QWidget* parent);
    QString caption() const { return m_caption; }
    void setCaption(const QString& caption);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QString m_caption;
};

// The mouse of a control that is not a push button, written once: the control takes its own
// presses (they start no window drag), and a release of the left button over it makes a click,
// unless it ends a double-click: the second press of a double-click is no second click, as on
// the original platform. onPress and onRelease come first, onClick after the release.
template <typename Base> class ClickControl : public Base {
public:
    using Base::Base;

protected:
    virtual void onPress(QMouseEvent*) {}
    virtual void onRelease(QMouseEvent*) {}
    virtual void onClick() = 0;
    virtual void onDoubleClick() {}

    void mousePressEvent(QMouseEvent* event) override {
        event->accept();
        onPress(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        event->accept();
        onRelease(event);
        const bool endsDoubleClick = std::exchange(m_secondClick, false);
        if (event->button() == Qt::LeftButton && this->rect().contains(event->position().toPoint()) && !endsDoubleClick)
            onClick();
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        event->accept();
        m_secondClick = true;
        if (event->button() == Qt::LeftButton)
            onDoubleClick();
    }

private:
    bool m_secondClick = false;
};

// One row of the result list: hover color and click.
class ListRow : public ClickControl<CaptionLabel> {
    Q_OBJECT
public:
    explicit ListRow(QWidget* parent);
    uint32_t foreColor() const { return m_foreColor; }
    void setForeColor(uint32_t colorValue);

Q_SIGNALS:
    void mouseMoved();
    void clicked();
    void doubleClicked();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void onClick() override { Q_EMIT clicked(); }
    void onDoubleClick() override { Q_EMIT doubleClicked(); }

private:
    uint32_t m_foreColor = ButtonTextColor;
};

// A small label that acts on a click (the list's arrows).
class ClickLabel : public ClickControl<QLabel> {
    Q_OBJECT
public:
    explicit ClickLabel(QWidget* parent);

Q_SIGNALS:
    void clicked();

protected:
    void onClick() override { Q_EMIT clicked(); }
};

// A picture stretched over the control. A transparent one lets the mouse through to the window.
class PictureImage : public QWidget {
    Q_OBJECT
public:
    enum class Fill { Stretch, Tile };
    PictureImage(QWidget* parent, const QString& picture, Fill fill, bool transparentForMouse);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QPixmap m_picture;
    Fill m_fill;
};

// An image used as a button: its picture stretched, and a thin frame when its frame style is 1.
class ImageButton : public ClickControl<QWidget> {
    Q_OBJECT
public:
    ImageButton(QWidget* parent, const QString& picture, const QString& faceText);
    int frameStyle() const { return m_frameStyle; }
    void setFrameStyle(int style);
    QString faceText() const { return m_faceText; }

Q_SIGNALS:
    void mouseDown(Qt::MouseButton button);
    void mouseUp(Qt::MouseButton button);
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    // The click follows the release, as the platform's image controls do.
    void onPress(QMouseEvent* event) override { Q_EMIT mouseDown(event->button()); }
    void onRelease(QMouseEvent* event) override { Q_EMIT mouseUp(event->button()); }
    void onClick() override { Q_EMIT clicked(); }

private:
    QPixmap m_picture;
    QString m_faceText;
    int m_frameStyle = 0;
};

// The list's scroll thumb. Positions reach the handlers in twips from the thumb's top edge;
// while a button is held after a press, the thumb gets every move, inside it or not.
class ThumbPicture : public QLabel {
    Q_OBJECT
public:
    explicit ThumbPicture(QWidget* parent);

Q_SIGNALS:
    void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, float x, float y);
    void mouseMove(Qt::MouseButton button, Qt::KeyboardModifiers shift, float x, float y);
    void mouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, float x, float y);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// A rectangle or a line drawn on the window; the mouse passes through to the window.
class ShapeControl : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Rectangle, VerticalLine };
    ShapeControl(QWidget* parent, Kind kind);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind m_kind;
};

// A one-line name box. A name set by the program shows from its first character, however
// long; names are kept whole, without a length limit.
class NameBox : public QLineEdit {
    Q_OBJECT
public:
    NameBox(QWidget* parent, const QString& placeholder);
    void setText(const QString& text);
};

// The leaflet box. Leaflets keep CR LF line ends: the box shows them as line breaks and
// gives its text back with CR LF, and an unedited leaflet comes back exactly as it was set.
class LeafletBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LeafletBox(QWidget* parent);
    void setText(const QString& text);
    QString text() const;

    // Ctrl + wheel and Ctrl + plus / minus / 0 zoom the text (not the box) by whole points,
    // between the limits; the zoom stays for the session, whatever drug is shown.
    static constexpr int MinZoom = -4;
    static constexpr int MaxZoom = 20;
    int zoom() const { return m_zoom; }
    void setZoom(int points);

protected:
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString m_setText;
    QString m_shownText;
    int m_zoom = 0;
    int m_wheelAngle = 0; // the part of a wheel turn not yet zoomed by (fine-grained wheels)
};
