#pragma once

#include <QFont>

// "宋体" is the face the windows are drawn in; on this desktop it maps to an installed Song
// face (fontconfig alone would pick a sans face for it).
inline const QString SongFaceName = QStringLiteral("宋体");
inline const QString InstalledSongFace = QStringLiteral("AR PL UMing CN");

void installSongSubstitution();
// A face at a size and weight. Inline, so that the page layout, which xiyao-db links without
// the widgets, has it too.
inline QFont sizedFont(const QString& family, double points, bool bold) {
    QFont font(family);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}
QFont songFont(double points, bool bold = false);
// The installed Song face by its own name, for a program that has no substitution for 宋体.
inline QFont installedSongFont(double points, bool bold = false) {
    return sizedFont(InstalledSongFace, points, bold);
}
// The Song face's size and weight, with Latin letters from a face in which "l" and "1" differ.
inline const QString LatinLetterFace = QStringLiteral("DejaVu Serif");
QFont latinLetterFont(double points, bool bold = false);
