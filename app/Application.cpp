#include "app/Application.h"

#include "platform/Fonts.h"

#include <QApplication>
#include <QIcon>

void prepareApplication() {
    // The artwork lives in this static library; make sure the linker keeps it.
    Q_INIT_RESOURCE(resources);
    installSongSubstitution();
    QApplication::setApplicationName(QStringLiteral("xiyao"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/art/icon.png")));
}
