#include "platform/Fonts.h"

void installSongSubstitution() {
    QFont::insertSubstitution(SongFaceName, InstalledSongFace);
}

QFont songFont(double points, bool bold) {
    QFont font(SongFaceName);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}
