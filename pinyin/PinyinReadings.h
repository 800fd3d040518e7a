#pragma once

#include <QString>
#include <QStringList>

namespace pinyin {

// Every reading Unihan gives an ideograph (the modern dictionaries', else kMandarin's), without
// tones, in a to z with ü as v; empty for a character it does not read.
QStringList readingsOf(char32_t code);

// The first letter of a reading of every character of a name, Latin letters and digits lower-cased,
// blanks and signs left out: what a user types to find it by complete initials. Empty when an
// ideograph or other letter of the name has no reading.
QString completeInitials(QStringView name);

} // namespace pinyin
