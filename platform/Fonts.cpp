#include "platform/Fonts.h"

#include <QStringList>

void installSongSubstitution() {
    QFont::insertSubstitution(SongFaceName, InstalledSongFace);
}

QFont songFont(double points, bool bold) {
    QFont font(SongFaceName);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QFont latinLetterFont(double points, bool bold) {
    QFont font = songFont(points, bold);
    font.setFamilies(QStringList{LatinLetterFace, SongFaceName});
    return font;
}
