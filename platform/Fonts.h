#pragma once

#include <QFont>

// "宋体" is the face the windows are drawn in; on this desktop it maps to an installed Song
// face (fontconfig alone would pick a sans face for it).
inline const QString SongFaceName = QStringLiteral("宋体");
inline const QString InstalledSongFace = QStringLiteral("AR PL UMing CN");

void installSongSubstitution();
QFont songFont(double points, bool bold = false);
// The Song face's size and weight, with Latin letters from a face in which "l" and "1" differ.
inline const QString LatinLetterFace = QStringLiteral("DejaVu Serif");
QFont latinLetterFont(double points, bool bold = false);
