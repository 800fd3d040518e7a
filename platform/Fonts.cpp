#include "platform/Fonts.h"

void InstallSongSubstitution() {
    QFont::insertSubstitution(SongFaceName, InstalledSongFace);
}

QFont SongFont(double points, bool bold) {
    QFont font(SongFaceName);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}
