#include "app/Application.h"

#include "platform/Fonts.h"

#include <QApplication>
#include <QIcon>

void prepareApplication() {
    installSongSubstitution();
    QApplication::setApplicationName(QStringLiteral("xiyao"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/art/icon.png")));
}
