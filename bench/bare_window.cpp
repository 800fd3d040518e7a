// The start-up floor's window: a bare Qt program showing one empty window with the main
// window's size and flags, nothing else.

#include "platform/Twips.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QWidget window(nullptr, Qt::Window | Qt::FramelessWindowHint);
    window.setFixedSize(toPixels(11670), toPixels(9495));
    window.show();
    return QApplication::exec();
}
