#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

// A leaflet split into its sections, as a Chinese leaflet puts each under a 【…】 heading: for the
// reading window's outline, the printed export and two leaflets side by side.
//
// What counts as a heading: at the start of a line (the text's start, or after LF, CR LF or a lone
// CR, as labels and printed pages break lines), after any blanks (spaces, tabs, U+3000, U+00A0,
// U+FEFF), an opening bracket and its own closing bracket on the same line, with 1 to
// MaxHeadingLength characters between them that are not all blanks and hold no bracket. 【…】 and
// 〖…〗 make a heading of any words; [ … ] and ［…］, which texts also use for notes and references,
// only of a known section's words. Blanks and a trailing ：or : inside the brackets, and blanks and
// one ：or : after them, belong to the heading. Anything else, a bracket inside a sentence, an
// empty or unclosed bracket, a section's name without brackets ("用法用量：" at a line's start,
// which is as often the start of a sentence under another heading), is text.
//
// Offsets are in UTF-16 units, as QString indexes the text.

// The known sections in the order a leaflet gives them (the 2006 format, with the newer sections
// in their places): the order in which two leaflets are aligned.
const QStringList& knownSections();

// The known section that heading words name (blanks anywhere in them ignored; the variants people
// type, such as 适应证 and 成分, included), or an empty string.
QString knownSectionKey(QStringView words);

enum class SectionKind {
    Opening, // the text before the first heading
    Known,   // one of knownSections()
    Unknown, // a heading of other words: a section of its own, keyed by them
};

// One part of the text: a heading and the text under it up to the next heading's line, or the
// opening. Consecutive parts cover the whole text.
struct LeafletPart {
    qsizetype begin = 0;     // the start of its first line; 0 for the first part
    qsizetype bodyBegin = 0; // where its heading ends: begin for the opening
    qsizetype end = 0;       // the next part's begin, or the text's length
    SectionKind kind = SectionKind::Opening;
    // The known section's key, an unknown heading's words without their blanks, "" for the opening.
    QString key;
    // The words between the brackets as written, without the blanks around them or a ：at their end.
    QString heading;
    qsizetype section = -1; // its entry in the outline
};

// A section of the outline: every part of one key, in the order of the text.
struct OutlineEntry {
    SectionKind kind = SectionKind::Opening;
    QString key;
    QString heading; // its first part's
    QList<qsizetype> parts;
};

class LeafletSections {
public:
    // More characters than this between the brackets are a sentence, not a heading (a character
    // beyond the basic plane counts once).
    static constexpr int MaxHeadingLength = 30;

    // Linear in the text's length. Text before the first heading that is only blanks and line
    // ends makes no opening: the first part begins at 0 all the same. An empty text has no part.
    explicit LeafletSections(QStringView text);

    qsizetype textLength() const { return m_length; }
    const QList<LeafletPart>& parts() const { return m_parts; }
    // Each section once, in the order of its first part.
    const QList<OutlineEntry>& outline() const { return m_outline; }

    // The part that holds the character at offset (the last part for the text's length), or -1
    // outside the text.
    qsizetype partAt(qsizetype offset) const;
    // The outline entry of that part, or -1.
    qsizetype sectionAt(qsizetype offset) const;

private:
    qsizetype m_length = 0;
    QList<LeafletPart> m_parts;
    QList<OutlineEntry> m_outline;
};
