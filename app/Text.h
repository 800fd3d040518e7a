#pragma once

#include <QString>

// The text without its leading and trailing space characters; tabs and other blanks stay,
// as they are part of a leaflet's own layout.
inline QString trimSpaces(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ')
        ++begin;
    while (end > begin && text.at(end - 1) == u' ')
        --end;
    return text.mid(begin, end - begin);
}
