#include "pinyin/FindText.h"

#include "pinyin/ReadingTable.h"

#include <QChar>
#include <QVarLengthArray>

#include <algorithm>
#include <bit>

namespace {

// The bit masks of the matcher hold one bit per count of letters matched.
constexpr qsizetype MaxLetters = 63;

char foldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// How a name holds the folded text as written: as the LIKE of the names did, only A to Z fold
// (the name comes folded, as MatchText).
FindRank writtenRank(QByteArrayView name, QByteArrayView folded) {
    if (folded.isEmpty() || name.size() < folded.size())
        return FindRank::None;
    if (name.startsWith(folded))
        return name.size() == folded.size() ? FindRank::WholeName : FindRank::StartOfName;
    return name.indexOf(folded, 1) >= 0 ? FindRank::InsideName : FindRank::None;
}

// Full-width forms of ASCII, as a Chinese input method's full-width mode types them, and the
// ideographic space match as their ASCII counterparts.
constexpr char32_t foldWidth(char32_t code) {
    if (code >= 0xFF01 && code <= 0xFF5E)
        return code - 0xFEE0;
    return code == 0x3000 ? U' ' : code;
}

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// One code point of UTF-8 text at pos, moving pos past it. As the program decodes stored text for
// showing (QStringDecoder): a byte that does not begin a well-formed sequence (shortest form, no
// surrogate, at most U+10FFFF) is U+FFFD by itself, and decoding goes on at the next byte.
char32_t nextCodePoint(QByteArrayView text, qsizetype& pos) {
    const auto byte = [&](qsizetype i) {
        return static_cast<unsigned char>(text[i]);
    };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    const int extra = lead >= 0xC2 && lead <= 0xDF   ? 1
                      : lead >= 0xE0 && lead <= 0xEF ? 2
                      : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                     : 0;
    if (extra == 0 || pos + extra >= text.size()) {
        ++pos;
        return 0xFFFD;
    }
    char32_t code = lead & (0x7F >> (extra + 1));
    for (int i = 1; i <= extra; ++i) {
        if (!isContinuation(byte(pos + i))) {
            ++pos;
            return 0xFFFD;
        }
        code = (code << 6) | (byte(pos + i) & 0x3F);
    }
    constexpr char32_t Smallest[] = {0, 0x80, 0x800, 0x10000};
    if (code < Smallest[extra] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
        ++pos;
        return 0xFFFD;
    }
    pos += extra + 1;
    return code;
}

// A name as the list shows it, in UTF-8, full-width ASCII as ASCII and A to Z lower-cased: what
// the find window matches. On the stack: a name of usual length costs no allocation.
class MatchText {
public:
    explicit MatchText(QByteArrayView name) {
        for (qsizetype pos = 0; pos < name.size();) {
            const qsizetype start = pos;
            const char32_t code = foldWidth(nextCodePoint(name, pos));
            if (code < 0x80)
                m_bytes.append(foldAscii(char(code)));
            else if (pos - start == 1) // a byte shown as U+FFFD
                m_bytes.append("\xEF\xBF\xBD", 3);
            else
                m_bytes.append(name.data() + start, pos - start);
        }
    }
    QByteArrayView view() const { return QByteArrayView(m_bytes.data(), m_bytes.size()); }

private:
    QVarLengthArray<char, 256> m_bytes;
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

FindText::FindText(QStringView text) {
    QString narrow = text.toString();
    for (QChar& c : narrow)
        c = QChar(char16_t(foldWidth(c.unicode())));
    m_folded = narrow.toUtf8();
    for (char& c : m_folded)
        c = foldAscii(c);
    bool hasLetter = false;
    for (const QChar c : narrow) {
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
