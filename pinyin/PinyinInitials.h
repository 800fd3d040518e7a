#pragma once

#include <QString>

// The pinyin initials of a Chinese drug name, used as its search key: for each Chinese
// character the initial letter of its reading, Latin letters copied as typed, "*" for a
// symbol below the Chinese characters, nothing for digits, punctuation and characters
// without a known initial. Pure and thread-safe.
QString PinyinInitials(const QString& text);

namespace pinyin {

// What one UTF-16 unit contributes to PinyinInitials: a letter, '*', or u'\0' for nothing.
char16_t InitialOf(char16_t unit);

} // namespace pinyin
