#pragma once

// The generated reading table (made at build time by MakeReadingTable.cpp from Unihan);
// read it through pinyin/PinyinReadings.h.

#include <QtGlobal>

namespace pinyin::table {

struct Syllable {
    char letters[8]; // a to z, ü as v, no tone
    quint8 length;
};
struct SupplementaryCharacter {
    char32_t code;
    quint16 set;
};

extern const Syllable Syllables[];
// Set k holds the syllables SetSyllables[SetStarts[k]] up to SetSyllables[SetStarts[k + 1]].
extern const quint16 SetSyllables[];
extern const quint16 SetStarts[];
// Per character of the basic plane its set number + 1; 0 when Unihan gives it no reading.
extern const quint16 BasicPlaneSets[0x10000];
// The characters beyond the basic plane that have readings, in ascending order.
extern const SupplementaryCharacter SupplementaryCharacters[];
extern const int SupplementaryCount;

} // namespace pinyin::table

namespace pinyin {

// The set of readings of a character in the table above; -1 when it has none.
int readingSetOf(char32_t code);

} // namespace pinyin
