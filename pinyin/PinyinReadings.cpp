#include "pinyin/PinyinReadings.h"

#include "pinyin/ReadingTable.h"

#include <algorithm>

namespace pinyin {

int readingSetOf(char32_t code) {
    if (code < 0x10000)
        return int(table::BasicPlaneSets[code]) - 1;
    const table::SupplementaryCharacter* begin = table::SupplementaryCharacters;
    const table::SupplementaryCharacter* end = begin + table::SupplementaryCount;
    const auto* found =
        std::lower_bound(begin, end, code, [](const auto& entry, char32_t c) { return entry.code < c; });
    return found != end && found->code == code ? found->set : -1;
}

QStringList readingsOf(char32_t code) {
    const int set = readingSetOf(code);
    QStringList readings;
    if (set < 0)
        return readings;
    for (int i = table::SetStarts[set]; i < table::SetStarts[set + 1]; ++i) {
        const table::Syllable& syllable = table::Syllables[table::SetSyllables[i]];
        readings.append(QString::fromLatin1(syllable.letters, syllable.length));
    }
    return readings;
}

QString completeInitials(QStringView name) {
    QString initials;
    for (const char32_t code : name.toUcs4()) {
        if (code < 0x80) {
            if (QChar::isLetterOrNumber(code))
                initials.append(QChar(code).toLower());
        } else if (const QStringList readings = readingsOf(code); !readings.isEmpty()) {
            initials.append(readings.first().front());
        } else if (QChar::isLetterOrNumber(code)) {
            return {};
        }
    }
    return initials;
}

} // namespace pinyin
