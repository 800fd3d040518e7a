#include "platform/Fonts.h"

#include <QStringList>

void installSongSubstitution() {
    QFont::insertSubstitution(SongFaceName, InstalledSongFace);
}

QFont songFont(double points, bool bold) {
    return sizedFont(SongFaceName, points, bold);
}

QFont latinLetterFont(double points, bool bold) {
    QFont font = songFont(points, bold);
    font.setFamilies(QStringList{LatinLetterFace, SongFaceName});
    return font;
}
