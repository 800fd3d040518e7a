#include "pinyin/FindText.h"

#include "pinyin/ReadingTable.h"

#include <QChar>

#include <algorithm>
#include <bit>

namespace {

// The bit masks of the matcher hold one bit per count of letters matched.
constexpr qsizetype MaxLetters = 63;

char foldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// How a name holds the folded text as written: as the LIKE of the names did, only A to Z fold.
FindRank writtenRank(QByteArrayView name, QByteArrayView folded) {
    if (folded.isEmpty() || name.size() < folded.size())
        return FindRank::None;
    const auto same = [](char a, char b) {
        return foldAscii(a) == b;
    };
    if (std::equal(name.begin(), name.begin() + folded.size(), folded.begin(), same))
        return name.size() == folded.size() ? FindRank::WholeName : FindRank::StartOfName;
    const auto found = std::search(name.begin() + 1, name.end(), folded.begin(), folded.end(), same);
    return found != name.end() ? FindRank::InsideName : FindRank::None;
}

// One code point of UTF-8 text at pos, moving pos past it; U+FFFD for a malformed sequence.
char32_t nextCodePoint(QByteArrayView text, qsizetype& pos) {
    const auto byte = [&](qsizetype i) {
        return static_cast<unsigned char>(text[i]);
    };
    const unsigned char lead = byte(pos++);
    if (lead < 0x80)
        return lead;
    const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
    if (extra < 0 || pos + extra > text.size())
        return 0xFFFD;
    char32_t code = lead & (0x3F >> extra);
    for (int i = 0; i < extra; ++i) {
        if ((byte(pos) & 0xC0) != 0x80)
            return 0xFFFD;
        code = (code << 6) | (byte(pos++) & 0x3F);
    }
    return code;
}

// What one character of a name offers the matcher.
struct Unit {
    enum Kind { Skip, Stop, Readings, Letter } kind;
    int set = -1;
    char letter = 0;
};

Unit unitOf(char32_t code) {
    if (code < 0x80) {
        if (QChar::isLetterOrNumber(code))
            return {Unit::Letter, -1, foldAscii(char(code))};
        return {Unit::Skip};
    }
    if (const int set = pinyin::readingSetOf(code); set >= 0)
        return {Unit::Readings, set};
    // An ideograph or letter nobody reads ends a run; a sign is passed over.
    return {QChar::isLetterOrNumber(code) ? Unit::Stop : Unit::Skip};
}

// From each count of letters matched in states, the counts after the letters one syllable's
// start matches.
quint64 advanceBy(quint64 states, const char* syllable, int length, QByteArrayView letters) {
    quint64 next = 0;
    for (quint64 rest = states; rest != 0; rest &= rest - 1) {
        const int done = std::countr_zero(rest);
        for (int i = 0; i < length && done + i < letters.size(); ++i) {
            const char typed = letters[done + i];
            if (syllable[i] != typed && !(syllable[i] == 'v' && typed == 'u'))
                break;
            next |= quint64(1) << (done + i + 1);
        }
    }
    return next;
}

quint64 advance(quint64 states, const Unit& unit, QByteArrayView letters) {
    if (states == 0)
        return 0;
    if (unit.kind == Unit::Letter)
        return advanceBy(states, &unit.letter, 1, letters);
    quint64 next = 0;
    for (int i = pinyin::table::SetStarts[unit.set]; i < pinyin::table::SetStarts[unit.set + 1]; ++i) {
        const pinyin::table::Syllable& syllable = pinyin::table::Syllables[pinyin::table::SetSyllables[i]];
        next |= advanceBy(states, syllable.letters, syllable.length, letters);
    }
    return next;
}

} // namespace

FindText::FindText(QStringView text)
    : m_folded(text.toUtf8()) {
    for (char& c : m_folded)
        c = foldAscii(c);
    bool hasLetter = false;
    for (const QChar c : text) {
        if (c == u' ' || c == u'\'')
            continue;
        if (c.unicode() >= 0x80 || !c.isLetterOrNumber()) {
            m_letters.clear();
            return;
        }
        hasLetter = hasLetter || c.isLetter();
        m_letters.append(foldAscii(char(c.unicode())));
    }
    if (!hasLetter || m_letters.size() > MaxLetters)
        m_letters.clear();
}

FindRank FindText::rank(QByteArrayView chineseName, QByteArrayView englishName) const {
    const FindRank written = std::min(writtenRank(chineseName, m_folded), writtenRank(englishName, m_folded));
    if (written == FindRank::WholeName || !isPinyin())
        return written;
    return std::min(written, pinyinRank(chineseName));
}

FindRank FindText::rank(QStringView chineseName, QStringView englishName) const {
    return rank(QByteArrayView(chineseName.toUtf8()), QByteArrayView(englishName.toUtf8()));
}

// One pass over the name with two sets of states: runs begun at its first character, and runs
// begun at any character.
FindRank FindText::pinyinRank(QByteArrayView name) const {
    const quint64 matched = quint64(1) << m_letters.size();
    quint64 fromStart = 1;
    quint64 fromAny = 0;
    bool start = false;
    bool inside = false;
    for (qsizetype pos = 0; pos < name.size();) {
        const Unit unit = unitOf(nextCodePoint(name, pos));
        if (unit.kind == Unit::Skip)
            continue;
        if (unit.kind == Unit::Stop) {
            fromStart = fromAny = 0;
            continue;
        }
        fromStart = advance(fromStart, unit, m_letters);
        fromAny = advance(fromAny | 1, unit, m_letters);
        start = start || (fromStart & matched);
        inside = inside || (fromAny & matched);
    }
    if (fromStart & matched)
        return FindRank::WholePinyin;
    if (start)
        return FindRank::StartPinyin;
    return inside ? FindRank::InsidePinyin : FindRank::None;
}
