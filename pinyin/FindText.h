#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

#include <string>
#include <string_view>

// How a drug's names match a text of the find window, best first: the whole name, its start,
// then anywhere in it; at each, the name as written before its pinyin.
enum class FindRank { WholeName, WholePinyin, StartOfName, StartPinyin, InsideName, InsidePinyin, None };

// A text of the find window, ready to be matched against many drugs. It matches a name that holds
// it as written (Latin letters in any case), and, when it is Latin letters (digits, blanks and
// apostrophes allowed), a Chinese name that reads so in pinyin: each character in turn by the
// start of any of its readings, its initial up to its whole syllable, tones ignored, u also for ü;
// beginning at any character. Blanks and signs in the name are passed over. Full-width letters,
// digits and signs and the ideographic space match as ASCII, in the name and in the text. A name
// is matched as the list shows it: each byte that is no UTF-8 as U+FFFD.
class FindText {
public:
    explicit FindText(QStringView text);

    bool isPinyin() const { return !m_letters.isEmpty(); }
    // The names as the engine holds them, UTF-8.
    FindRank rank(QByteArrayView chineseName, QByteArrayView englishName) const;
    FindRank rank(QStringView chineseName, QStringView englishName) const;

private:
    // The name's characters as MatchText (FindText.cpp) gives them: as the list shows it, folded.
    FindRank pinyinRank(std::u32string_view chineseName) const;

    std::u32string m_folded; // the text's characters, full-width ASCII as ASCII, A to Z lower-cased
    QByteArray m_letters;    // the text as pinyin letters; empty when it is no pinyin
};
