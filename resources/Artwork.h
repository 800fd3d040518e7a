#pragma once

#include <QPixmap>
#include <QString>

// The picture ":/art/NAME.png". On a high-density screen it is NAME@2x.png, drawn at twice
// the size, with a device pixel ratio of 2: its size in logical pixels is NAME.png's all the
// same, so whatever is laid out or painted from it keeps its place. QPixmap does not look for
// the @2x file by itself; QIcon does, so icons need none of this.
QPixmap artworkPixmap(const QString& name);
