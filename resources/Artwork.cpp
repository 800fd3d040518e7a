#include "resources/Artwork.h"

#include <QGuiApplication>

QPixmap artworkPixmap(const QString& name) {
    if (qGuiApp && qGuiApp->devicePixelRatio() > 1) {
        QPixmap sharp(QStringLiteral(":/art/%1@2x.png").arg(name));
        if (!sharp.isNull()) {
            // The reader takes the ratio from the file name, unless QT_HIGHDPI_DISABLE_2X_IMAGE_LOADING
            // is set; the size in logical pixels must not depend on that.
            sharp.setDevicePixelRatio(2);
            return sharp;
        }
    }
    return QPixmap(QStringLiteral(":/art/%1.png").arg(name));
}
