#include "leaflet/LeafletSections.h"

#include <QHash>

#include <algorithm>
#include <optional>

namespace {

// Other words people write for a known section's heading: the newer leaflets' 适应证, the
// everyday 成分, older leaflets' 用法与用量 and the input method's slip 储藏.
struct Variant {
    QStringView words;
    QStringView key;
};
constexpr Variant Variants[] = {
    {u"适应证", u"适应症"},
    {u"成分", u"成份"},
    {u"用法与用量", u"用法用量"},
    {u"储藏", u"贮藏"},
};

struct Bracket {
    QChar open;
    QChar close;
    bool anyWords; // false: a heading only of a known section's words
};
constexpr Bracket Brackets[] = {
    {u'【', u'】', true},
    {u'〖', u'〗', true},
    {u'[', u']', false},
    {u'［', u'］', false},
};

bool isLineEnd(QChar c) {
    return c == u'\n' || c == u'\r';
}

// U+FEFF too: a byte order mark left at the start of a pasted text.
bool isBlank(QChar c) {
    return c == u'\t' || c == QChar(0xFEFF) || c.category() == QChar::Separator_Space;
}

bool isColon(QChar c) {
    return c == u'：' || c == u':';
}

bool isBracket(QChar c) {
    return std::any_of(std::begin(Brackets), std::end(Brackets),
                       [c](const Bracket& bracket) { return c == bracket.open || c == bracket.close; });
}

const Bracket* openingBracket(QChar c) {
    const auto* found = std::find_if(std::begin(Brackets), std::end(Brackets),
                                     [c](const Bracket& bracket) { return c == bracket.open; });
    return found == std::end(Brackets) ? nullptr : found;
}

QString withoutBlanks(QStringView words) {
    QString compact;
    compact.reserve(words.size());
    for (QChar c : words) {
        if (!isBlank(c))
            compact.append(c);
    }
    return compact;
}

QStringView trimmedWords(QStringView words) {
    while (!words.isEmpty() && isBlank(words.front()))
        words = words.sliced(1);
    while (!words.isEmpty() && (isBlank(words.back()) || isColon(words.back())))
        words.chop(1);
    return words;
}

qsizetype skipBlanks(QStringView text, qsizetype pos) {
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    return pos;
}

// The start of the line after the one that holds pos, or the text's length.
qsizetype nextLine(QStringView text, qsizetype pos) {
    while (pos < text.size() && !isLineEnd(text[pos]))
        ++pos;
    if (pos == text.size())
        return pos;
    if (text[pos] == u'\r' && pos + 1 < text.size() && text[pos + 1] == u'\n')
        return pos + 2;
    return pos + 1;
}

bool onlyBlanksAndLineEnds(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return isBlank(c) || isLineEnd(c); });
}

struct Heading {
    qsizetype bodyBegin = 0;
    SectionKind kind = SectionKind::Known;
    QString key;
    QString words;
};

// Where the closing bracket of the opening bracket at open is on its line: nothing when another
// bracket comes first or there are more than MaxHeadingLength characters between them.
std::optional<qsizetype> closingBracket(QStringView text, qsizetype open, QChar close) {
    int characters = 0;
    for (qsizetype pos = open + 1; pos < text.size(); ++pos) {
        const QChar c = text[pos];
        if (c == close)
            return pos;
        if (isLineEnd(c) || isBracket(c))
            return std::nullopt;
        // A character beyond the basic plane counts once.
        if (!(c.isLowSurrogate() && text[pos - 1].isHighSurrogate()) &&
            ++characters > LeafletSections::MaxHeadingLength)
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<Heading> headingAt(QStringView text, qsizetype lineStart) {
    const qsizetype open = skipBlanks(text, lineStart);
    if (open == text.size())
        return std::nullopt;
    const Bracket* bracket = openingBracket(text[open]);
    if (!bracket)
        return std::nullopt;
    const std::optional<qsizetype> close = closingBracket(text, open, bracket->close);
    if (!close)
        return std::nullopt;
    const QStringView words = trimmedWords(text.sliced(open + 1, *close - open - 1));
    if (words.isEmpty())
        return std::nullopt;

    Heading heading;
    heading.key = knownSectionKey(words);
    if (heading.key.isEmpty()) {
        if (!bracket->anyWords)
            return std::nullopt;
        heading.kind = SectionKind::Unknown;
        heading.key = withoutBlanks(words);
    }
    heading.words = words.toString();
    qsizetype body = skipBlanks(text, *close + 1);
    if (body < text.size() && isColon(text[body]))
        body = skipBlanks(text, body + 1);
    heading.bodyBegin = body;
    return heading;
}

} // namespace

const QStringList& knownSections() {
    static const QStringList sections{
        QStringLiteral("药品名称"),       QStringLiteral("成份"),
        QStringLiteral("性状"),           QStringLiteral("适应症"),
        QStringLiteral("规格"),           QStringLiteral("用法用量"),
        QStringLiteral("不良反应"),       QStringLiteral("禁忌"),
        QStringLiteral("注意事项"),       QStringLiteral("孕妇及哺乳期妇女用药"),
        QStringLiteral("儿童用药"),       QStringLiteral("老年用药"),
        QStringLiteral("药物相互作用"),   QStringLiteral("药物滥用和药物依赖"),
        QStringLiteral("药物过量"),       QStringLiteral("临床药理"),
        QStringLiteral("临床试验"),       QStringLiteral("药理毒理"),
        QStringLiteral("药代动力学"),     QStringLiteral("贮藏"),
        QStringLiteral("包装"),           QStringLiteral("有效期"),
        QStringLiteral("执行标准"),       QStringLiteral("批准文号"),
        QStringLiteral("上市许可持有人"), QStringLiteral("生产企业"),
        QStringLiteral("境内联系人"),
    };
    return sections;
}

QString knownSectionKey(QStringView words) {
    const QString compact = withoutBlanks(words);
    for (const QString& section : knownSections()) {
        if (section == compact)
            return section;
    }
    for (const Variant& variant : Variants) {
        if (variant.words == compact)
            return variant.key.toString();
    }
    return {};
}

LeafletSections::LeafletSections(QStringView text)
    : m_length(text.size()) {
    QHash<QString, qsizetype> sectionOfKey;
    const auto add = [&](LeafletPart part) {
        auto found = sectionOfKey.constFind(part.key);
        if (found == sectionOfKey.constEnd()) {
            found = sectionOfKey.insert(part.key, m_outline.size());
            m_outline.append(OutlineEntry{part.kind, part.key, part.heading, {}});
        }
        part.section = *found;
        m_outline[part.section].parts.append(m_parts.size());
        m_parts.append(std::move(part));
    };

    std::optional<LeafletPart> open; // the part that the next heading ends
    for (qsizetype line = 0; line < text.size(); line = nextLine(text, line)) {
        std::optional<Heading> heading = headingAt(text, line);
        if (!heading)
            continue;
        qsizetype begin = line;
        if (open) {
            open->end = line;
            add(*std::move(open));
        } else if (onlyBlanksAndLineEnds(text.first(line))) {
            begin = 0; // no opening of nothing to show
        } else {
            add(LeafletPart{0, 0, line, SectionKind::Opening, {}, {}, -1});
        }
        open = LeafletPart{
            begin, heading->bodyBegin, 0, heading->kind, std::move(heading->key), std::move(heading->words), -1};
    }
    if (open) {
        open->end = text.size();
        add(*std::move(open));
    } else if (!text.isEmpty()) {
        add(LeafletPart{0, 0, text.size(), SectionKind::Opening, {}, {}, -1});
    }
}

qsizetype LeafletSections::partAt(qsizetype offset) const {
    if (offset < 0 || offset > m_length || m_parts.isEmpty())
        return -1;
    const auto after = std::upper_bound(m_parts.begin(), m_parts.end(), offset,
                                        [](qsizetype at, const LeafletPart& part) { return at < part.begin; });
    return after - m_parts.begin() - 1;
}

qsizetype LeafletSections::sectionAt(qsizetype offset) const {
    const qsizetype part = partAt(offset);
    return part < 0 ? -1 : m_parts[part].section;
}
