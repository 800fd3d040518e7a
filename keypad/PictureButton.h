#pragma once

#include <QPixmap>
#include <QPushButton>

// A push button whose face is a picture: the caption over the picture, the raised edge of a
// push button, and a sunken edge with the caption shifted while it is held down.
class PictureButton : public QPushButton {
    Q_OBJECT

public:
    PictureButton(const QString& text, const QPixmap& picture, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_picture;
};
