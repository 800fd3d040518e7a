#pragma once

#include <QPoint>
#include <QRect>
#include <QtMath>

// Window and control geometry is kept in twips: 1440 to the inch, 15 to a logical pixel at
// 96 dpi. Qt scales logical pixels on high-density screens.
constexpr double TwipsPerPixel = 15.0;

inline int toPixels(double twips) {
    return qRound(twips / TwipsPerPixel);
}

inline double toTwips(double pixels) {
    return pixels * TwipsPerPixel;
}

inline QRect twipsRect(double left, double top, double width, double height) {
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}
