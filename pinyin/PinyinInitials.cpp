#include "pinyin/PinyinInitials.h"

#include "pinyin/Cp936.h"

#include <array>
#include <utility>
#include <vector>

namespace pinyin {
namespace {

struct Boundary {
    char16_t character;
    char16_t letter; // u'\0' for the entry that only closes the last range
};

// Ordered by GBK code; each entry opens a range that runs up to the next entry. The level-1
// block of GB2312 is sorted by reading, so 23 boundaries cover it (no range for I, U, V).
constexpr std::array<Boundary, 24> InitialBoundaries{{
    {u'啊', u'A'}, {u'芭', u'B'}, {u'擦', u'C'}, {u'搭', u'D'}, {u'蛾', u'E'}, {u'发', u'F'},
    {u'噶', u'G'}, {u'哈', u'H'}, {u'击', u'J'}, {u'喀', u'K'}, {u'垃', u'L'}, {u'妈', u'M'},
    {u'拿', u'N'}, {u'哦', u'O'}, {u'啪', u'P'}, {u'期', u'Q'}, {u'然', u'R'}, {u'撒', u'S'},
    {u'塌', u'T'}, {u'挖', u'W'}, {u'昔', u'X'}, {u'压', u'Y'}, {u'匝', u'Z'}, {u'座', u'\0'},
}};

struct ExtraGroup {
    char16_t letter;
    const char16_t* characters;
};

// Level-2 characters common in drug names, which the ranges above do not reach. The letters
// are data as the drug file's maintainers expect them, not always the standard reading.
constexpr std::array<ExtraGroup, 21> ExtraCharInitials{{
    {u'b', u"萆蒡荸杷庳槟荜孢苄吡"},
    {u'c', u"剌蟾蜍苁菖豉茺"},
    {u'd', u"疔玳甙煅黛蔸酊啶菪"},
    {u'e', u"莪"},
    {u'f', u"茯菔榧馥呋"},
    {u'g', u"枸蚣栝藁胍"},
    {u'h', u"荟蒿琥斛藿"},
    {u'j', u"蒺鸠瞿橘戟蚧绛蠲芨"},
    {u'k', u"蔻诃"},
    {u'l', u"苓楝藜苈麟榈螂蒌蛎麋蔹莨"},
    {u'm', u"瑁硭礞蝥虻"},
    {u'n', u"萘喃"},
    {u'p', u"珀螵荠枇"},
    {u'q', u"杞芩芡茜麒蜣芪羟蚯祺祛"},
    {u'r', u"蕤薷"},
    {u's', u"麝椹"},
    {u't', u"葶菟"},
    {u'w', u"蜈葳肟痿"},
    {u'x', u"芎蛸薤藓硇荨"},
    {u'y', u"薏苡萸菀荑蓣饴罂芫橼癔蚓媛瘀"},
    {u'z', u"栀蛭唑芷"},
}};

// The signed codes of both tables, looked up once while the result table is built.
struct CodedTables {
    std::array<int16_t, InitialBoundaries.size()> boundaryCodes{};
    std::vector<std::pair<int16_t, char16_t>> extraCodes;

    CodedTables() {
        for (size_t i = 0; i < InitialBoundaries.size(); ++i)
            boundaryCodes[i] = cp936Code(InitialBoundaries[i].character);
        for (const ExtraGroup& group : ExtraCharInitials) {
            for (const char16_t* c = group.characters; *c; ++c)
                extraCodes.emplace_back(cp936Code(*c), group.letter);
        }
    }

    char16_t initialOf(char16_t unit) const {
        const int16_t v = cp936Code(unit);
        if (v < boundaryCodes.front())
            return u'*';
        for (size_t i = 0; i + 1 < boundaryCodes.size(); ++i) {
            if (v >= boundaryCodes[i] && v < boundaryCodes[i + 1])
                return InitialBoundaries[i].letter;
        }
        for (const auto& [code, letter] : extraCodes) {
            if (code == v)
                return letter;
        }
        if ((v >= 65 && v <= 91) || (v >= 97 && v <= 123))
            return unit;
        return u'\0';
    }
};

using InitialTable = std::array<char16_t, 65536>;

InitialTable buildInitialTable() {
    const CodedTables tables;
    InitialTable table;
    for (uint32_t unit = 0; unit < table.size(); ++unit)
        table[unit] = tables.initialOf(static_cast<char16_t>(unit));
    return table;
}

const InitialTable& initialTable() {
    static const InitialTable table = buildInitialTable();
    return table;
}

} // namespace

char16_t InitialOf(char16_t unit) {
    return initialTable()[unit];
}

} // namespace pinyin

QString PinyinInitials(const QString& text) {
    // At most one letter per unit: written straight into a string of that size, then cut.
    const pinyin::InitialTable& table = pinyin::initialTable();
    QString result(text.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(result.data());
    qsizetype written = 0;
    for (const QChar c : text) {
        const char16_t initial = table[c.unicode()];
        out[written] = initial;
        written += initial != u'\0';
    }
    result.truncate(written);
    return result;
}
