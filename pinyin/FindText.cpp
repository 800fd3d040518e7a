#include "pinyin/FindText.h"

#include "pinyin/ReadingTable.h"

#include <QChar>
#include <QList>
#include <QVarLengthArray>

#include <algorithm>
#include <bit>

namespace {

// The bit masks of the matcher hold one bit per count of letters matched.
constexpr qsizetype MaxLetters = 63;

constexpr char32_t foldAscii(char32_t c) {
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
}

// Full-width forms of ASCII, as a Chinese input method's full-width mode types them, and the
// ideographic space match as their ASCII counterparts.
constexpr char32_t foldWidth(char32_t code) {
    if (code >= 0xFF01 && code <= 0xFF5E)
        return code - 0xFEE0;
    return code == 0x3000 ? U' ' : code;
}

// How a name holds the folded text as written: as the LIKE of the names did, only A to Z fold.
FindRank writtenRank(std::u32string_view name, std::u32string_view folded) {
    if (folded.empty() || name.size() < folded.size())
        return FindRank::None;
    if (name.starts_with(folded))
        return name.size() == folded.size() ? FindRank::WholeName : FindRank::StartOfName;
    return name.find(folded, 1) != name.npos ? FindRank::InsideName : FindRank::None;
}

// One code point of UTF-8 text at pos, moving pos past it. As the program decodes stored text for
// showing (QStringDecoder): a byte that does not begin a well-formed sequence (shortest form, no
// surrogate, at most U+10FFFF) is U+FFFD by itself, and decoding goes on at the next byte.
char32_t nextCodePoint(QByteArrayView text, qsizetype& pos) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data()) + pos;
    const qsizetype left = text.size() - pos;
    const auto continues = [&](int i) {
        return i < left && (bytes[i] & 0xC0) == 0x80;
    };
    const auto take = [&](int length, char32_t code) {
        pos += length;
        return code;
    };
    const char32_t lead = bytes[0];
    if (lead < 0x80)
        return take(1, lead);
    if (lead >= 0xC2 && lead <= 0xDF && continues(1))
        return take(2, (lead & 0x1F) << 6 | (bytes[1] & 0x3F));
    if (lead >= 0xE0 && lead <= 0xEF && continues(1) && continues(2)) {
        const char32_t code = (lead & 0x0F) << 12 | (bytes[1] & 0x3F) << 6 | (bytes[2] & 0x3F);
        if (code >= 0x800 && (code < 0xD800 || code > 0xDFFF))
            return take(3, code);
    } else if (lead >= 0xF0 && lead <= 0xF4 && continues(1) && continues(2) && continues(3)) {
        const char32_t code =
            (lead & 0x07) << 18 | (bytes[1] & 0x3F) << 12 | (bytes[2] & 0x3F) << 6 | (bytes[3] & 0x3F);
        if (code >= 0x10000 && code <= 0x10FFFF)
            return take(4, code);
    }
    return take(1, 0xFFFD);
}

// A name's characters as the list shows them, full-width ASCII as ASCII and A to Z lower-cased:
// what the find window matches. Decoded once for both matchers, on the stack for a name of usual length.
class MatchText {
public:
    explicit MatchText(QByteArrayView name) {
        m_characters.resize(name.size()); // never more characters than bytes
        char32_t* out = m_characters.data();
        for (qsizetype pos = 0; pos < name.size();)
            *out++ = foldAscii(foldWidth(nextCodePoint(name, pos)));
        m_characters.resize(out - m_characters.data());
    }
    std::u32string_view view() const { return {m_characters.data(), size_t(m_characters.size())}; }

private:
    QVarLengthArray<char32_t, 256> m_characters;
};

// What one character of a name offers the matcher.
struct Unit {
    enum Kind { Skip, Stop, Readings, Letter } kind;
    int set = -1;
    char letter = 0;
};

Unit unitOf(char32_t code) {
    if (code < 0x80) {
        if (QChar::isLetterOrNumber(code))
            return {Unit::Letter, -1, char(code)};
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

FindText::FindText(QStringView text) {
    for (const uint code : text.toUcs4())
        m_folded.push_back(foldAscii(foldWidth(code)));
    bool hasLetter = false;
    for (const char32_t c : m_folded) {
        if (c == U' ' || c == U'\'')
            continue;
        if (c >= 0x80 || !QChar::isLetterOrNumber(c)) {
            m_letters.clear();
            return;
        }
        hasLetter = hasLetter || QChar::isLetter(c);
        m_letters.append(char(c));
    }
    if (!hasLetter || m_letters.size() > MaxLetters)
        m_letters.clear();
}

FindRank FindText::rank(QByteArrayView chineseName, QByteArrayView englishName) const {
    const MatchText chinese(chineseName);
    const FindRank written =
        std::min(writtenRank(chinese.view(), m_folded), writtenRank(MatchText(englishName).view(), m_folded));
    if (written == FindRank::WholeName || !isPinyin())
        return written;
    return std::min(written, pinyinRank(chinese.view()));
}

FindRank FindText::rank(QStringView chineseName, QStringView englishName) const {
    return rank(QByteArrayView(chineseName.toUtf8()), QByteArrayView(englishName.toUtf8()));
}

// One pass over the name with two sets of states: runs begun at its first character, and runs
// begun at any character.
FindRank FindText::pinyinRank(std::u32string_view name) const {
    const quint64 matched = quint64(1) << m_letters.size();
    quint64 fromStart = 1;
    quint64 fromAny = 0;
    bool start = false;
    bool inside = false;
    for (const char32_t code : name) {
        const Unit unit = unitOf(code);
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
