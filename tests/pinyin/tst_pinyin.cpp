#include "pinyin/Cp936.h"
#include "pinyin/FindText.h"
#include "pinyin/PinyinInitials.h"
#include "pinyin/PinyinReadings.h"

#include <QtTest>

#include <iconv.h>

#include <future>
#include <iterator>
#include <vector>

namespace {

// Two bytes converted by the C library, independently of the code under test; empty when
// they are no character of the source encoding.
QByteArray convertTwoBytes(const char* to, const char* from, const char (&bytes)[2]) {
    iconv_t cd = iconv_open(to, from);
    char in[2] = {bytes[0], bytes[1]};
    char out[4] = {};
    char* inPtr = in;
    char* outPtr = out;
    size_t inLeft = 2;
    size_t outLeft = sizeof out;
    const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1) || inLeft != 0)
        return {};
    return QByteArray(out, static_cast<qsizetype>(sizeof out - outLeft));
}

// The character with a given GBK code.
QString gbkCharacter(unsigned code) {
    const QByteArray utf16 = convertTwoBytes("UTF-16LE", "CP936", {char(code >> 8), char(code & 0xFF)});
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(utf16.constData()), utf16.size() / 2);
}

// The GBK code of a character; 0 when it has none.
unsigned gbkCode(QChar character) {
    const char16_t unit = character.unicode();
    const QByteArray gbk = convertTwoBytes("CP936", "UTF-16LE", {char(unit & 0xFF), char(unit >> 8)});
    return gbk.size() == 2 ? uchar(gbk[0]) * 256u + uchar(gbk[1]) : 0;
}

// The published letter table, written out by hand and not copied from the code under test,
// so that a wrong entry there shows: each boundary character with its GBK code and the letter
// of the range it opens. 座 only closes the Z range.
struct Boundary {
    char16_t character;
    unsigned code;
    char letter;
};
const Boundary kBoundaries[] = {
    {u'啊', 0xB0A1, 'A'}, {u'芭', 0xB0C5, 'B'}, {u'擦', 0xB2C1, 'C'}, {u'搭', 0xB4EE, 'D'},  {u'蛾', 0xB6EA, 'E'},
    {u'发', 0xB7A2, 'F'}, {u'噶', 0xB8C1, 'G'}, {u'哈', 0xB9FE, 'H'}, {u'击', 0xBBF7, 'J'},  {u'喀', 0xBFA6, 'K'},
    {u'垃', 0xC0AC, 'L'}, {u'妈', 0xC2E8, 'M'}, {u'拿', 0xC4C3, 'N'}, {u'哦', 0xC5B6, 'O'},  {u'啪', 0xC5BE, 'P'},
    {u'期', 0xC6DA, 'Q'}, {u'然', 0xC8BB, 'R'}, {u'撒', 0xC8F6, 'S'}, {u'塌', 0xCBFA, 'T'},  {u'挖', 0xCDDA, 'W'},
    {u'昔', 0xCEF4, 'X'}, {u'压', 0xD1B9, 'Y'}, {u'匝', 0xD4D1, 'Z'}, {u'座', 0xD7F9, '\0'},
};

// The further level-2 characters of the same table, each with its own letter.
struct Extra {
    char16_t character;
    char letter;
};
const Extra kExtras[] = {
    {u'萆', 'b'}, {u'蒡', 'b'}, {u'荸', 'b'}, {u'杷', 'b'}, {u'庳', 'b'}, {u'槟', 'b'}, {u'荜', 'b'}, {u'孢', 'b'},
    {u'苄', 'b'}, {u'吡', 'b'}, {u'剌', 'c'}, {u'蟾', 'c'}, {u'蜍', 'c'}, {u'苁', 'c'}, {u'菖', 'c'}, {u'豉', 'c'},
    {u'茺', 'c'}, {u'疔', 'd'}, {u'玳', 'd'}, {u'甙', 'd'}, {u'煅', 'd'}, {u'黛', 'd'}, {u'蔸', 'd'}, {u'酊', 'd'},
    {u'啶', 'd'}, {u'菪', 'd'}, {u'莪', 'e'}, {u'茯', 'f'}, {u'菔', 'f'}, {u'榧', 'f'}, {u'馥', 'f'}, {u'呋', 'f'},
    {u'枸', 'g'}, {u'蚣', 'g'}, {u'栝', 'g'}, {u'藁', 'g'}, {u'胍', 'g'}, {u'荟', 'h'}, {u'蒿', 'h'}, {u'琥', 'h'},
    {u'斛', 'h'}, {u'藿', 'h'}, {u'蒺', 'j'}, {u'鸠', 'j'}, {u'瞿', 'j'}, {u'橘', 'j'}, {u'戟', 'j'}, {u'蚧', 'j'},
    {u'绛', 'j'}, {u'蠲', 'j'}, {u'芨', 'j'}, {u'蔻', 'k'}, {u'诃', 'k'}, {u'苓', 'l'}, {u'楝', 'l'}, {u'藜', 'l'},
    {u'苈', 'l'}, {u'麟', 'l'}, {u'榈', 'l'}, {u'螂', 'l'}, {u'蒌', 'l'}, {u'蛎', 'l'}, {u'麋', 'l'}, {u'蔹', 'l'},
    {u'莨', 'l'}, {u'瑁', 'm'}, {u'硭', 'm'}, {u'礞', 'm'}, {u'蝥', 'm'}, {u'虻', 'm'}, {u'萘', 'n'}, {u'喃', 'n'},
    {u'珀', 'p'}, {u'螵', 'p'}, {u'荠', 'p'}, {u'枇', 'p'}, {u'杞', 'q'}, {u'芩', 'q'}, {u'芡', 'q'}, {u'茜', 'q'},
    {u'麒', 'q'}, {u'蜣', 'q'}, {u'芪', 'q'}, {u'羟', 'q'}, {u'蚯', 'q'}, {u'祺', 'q'}, {u'祛', 'q'}, {u'蕤', 'r'},
    {u'薷', 'r'}, {u'麝', 's'}, {u'椹', 's'}, {u'葶', 't'}, {u'菟', 't'}, {u'蜈', 'w'}, {u'葳', 'w'}, {u'肟', 'w'},
    {u'痿', 'w'}, {u'芎', 'x'}, {u'蛸', 'x'}, {u'薤', 'x'}, {u'藓', 'x'}, {u'硇', 'x'}, {u'荨', 'x'}, {u'薏', 'y'},
    {u'苡', 'y'}, {u'萸', 'y'}, {u'菀', 'y'}, {u'荑', 'y'}, {u'蓣', 'y'}, {u'饴', 'y'}, {u'罂', 'y'}, {u'芫', 'y'},
    {u'橼', 'y'}, {u'癔', 'y'}, {u'蚓', 'y'}, {u'媛', 'y'}, {u'瘀', 'y'}, {u'栀', 'z'}, {u'蛭', 'z'}, {u'唑', 'z'},
    {u'芷', 'z'},
};

bool isLevel2(unsigned code) {
    return code >= 0xD8A1 && code <= 0xF7FE;
}

} // namespace

class TestPinyin : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void worked_data();
    void worked();
    void boundaryCodes_data();
    void boundaryCodes();
    void everyCharacterOfARange_data();
    void everyCharacterOfARange();
    void extraCharacters_data();
    void extraCharacters();
    void belowAndAboveTheRanges_data();
    void belowAndAboveTheRanges();
    void surrogatesGiveNothing();
    void resultNeverLongerThanInput();
    void sameResultFromManyThreads();
    void readingsAgreeWithUnihan_data();
    void readingsAgreeWithUnihan();
    void findRank_data();
    void findRank();
    void rankOfBytesIsRankOfShownText();
};

void TestPinyin::worked_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char16_t* input, const char16_t* expected) {
        QTest::newRow(QString::fromUtf16(input).toUtf8().constData())
            << QString::fromUtf16(input) << QString::fromUtf16(expected);
    };
    QTest::newRow("empty") << QString() << QString();
    row(u"阿莫西林", u"AMXL");
    row(u"阿司匹林肠溶片", u"ASPLCRP");
    row(u"头孢呋辛", u"TbfX");
    row(u"枸杞", u"gq");
    row(u"复方甘草片，", u"FFGCP*");
    row(u"Ａ", u"*");
    row(u"维生素B1", u"WSSB");
    row(u"VC片", u"VCP");
    row(u"[a]{z}", u"[a{z");
    row(u"座", u"");
    row(u"粘", u"Z");
    row(u"竭", u"J");
    row(u"棕", u"Z");
    row(u"乙酰", u"Y");
    row(u"吡嗪酰胺", u"bA");
    row(u"枸橼酸铋钾", u"gySJ"); // 铋 is level-2 and not an extra
    row(u"a b\t1?@`~", u"ab");
}

void TestPinyin::worked() {
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(PinyinInitials(input), expected);
}

void TestPinyin::boundaryCodes_data() {
    QTest::addColumn<QString>("character");
    QTest::addColumn<int>("code");
    for (const Boundary& boundary : kBoundaries) {
        const QString c{QChar(boundary.character)};
        QVERIFY2(gbkCharacter(boundary.code) == c, qPrintable(c)); // the table's code is that character's
        QTest::newRow(c.toUtf8().constData()) << c << int(boundary.code) - 65536;
    }
    QTest::newRow("啊 signed") << QStringLiteral("啊") << -20319;
    QTest::newRow("座 signed") << QStringLiteral("座") << -10247;
    QTest::newRow("A") << QStringLiteral("A") << 65;
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << 63;
    QTest::newRow("no GBK encoding") << QString(QChar(0x0E01)) << 63; // Thai ko kai
}

void TestPinyin::boundaryCodes() {
    QFETCH(QString, character);
    QFETCH(int, code);
    QCOMPARE(int(pinyin::cp936Code(character.at(0).unicode())), code);
}

void TestPinyin::everyCharacterOfARange_data() {
    QTest::addColumn<QString>("characters");
    QTest::addColumn<QString>("expected");
    // Every character from a boundary up to the next one, GBK extension characters between
    // them included: they take the range's letter too.
    for (size_t i = 0; i + 1 < std::size(kBoundaries); ++i) {
        const unsigned first = kBoundaries[i].code;
        const unsigned next = kBoundaries[i + 1].code;
        QString characters;
        for (unsigned code = first; code < next; ++code)
            characters += gbkCharacter(code); // nothing for a code that is no character
        QVERIFY(characters.startsWith(QChar(kBoundaries[i].character)));
        QVERIFY(characters.contains(gbkCharacter(next - 1)));
        QTest::newRow(qPrintable(
            QStringLiteral("%1 %2-%3").arg(QLatin1Char(kBoundaries[i].letter)).arg(first, 0, 16).arg(next - 1, 0, 16)))
            << characters << QString(QLatin1Char(kBoundaries[i].letter));
    }
}

void TestPinyin::everyCharacterOfARange() {
    QFETCH(QString, characters);
    QFETCH(QString, expected);
    for (const QChar c : std::as_const(characters)) {
        const QString initials = PinyinInitials(QString(c));
        QVERIFY2(initials == expected,
                 qPrintable(QStringLiteral("%1 (%2) gives \"%3\"").arg(c).arg(gbkCode(c), 0, 16).arg(initials)));
    }
}

void TestPinyin::extraCharacters_data() {
    QTest::addColumn<QString>("characters");
    QTest::addColumn<QString>("expected");
    QString listed;
    for (const Extra& extra : kExtras) {
        const QString character{QChar(extra.character)};
        QVERIFY2(!listed.contains(character), qPrintable(character));
        listed += character;
        QTest::newRow(character.toUtf8().constData()) << character << QString(QLatin1Char(extra.letter));
    }
    QCOMPARE(listed.size(), 121);
    // Every other character of the level-2 block gives nothing.
    QString others;
    for (unsigned lead = 0xD8; lead <= 0xF7; ++lead) {
        for (unsigned trail = 0xA1; trail <= 0xFE; ++trail) {
            const QString character = gbkCharacter(lead * 256 + trail);
            if (!character.isEmpty() && !listed.contains(character))
                others += character;
        }
    }
    QCOMPARE(others.size(), 3008 - 121); // the block is full: 32 rows of 94
    QTest::newRow("every other level-2 character") << others << QString();
}

void TestPinyin::extraCharacters() {
    QFETCH(QString, characters);
    QFETCH(QString, expected);
    for (const QChar c : std::as_const(characters)) {
        const unsigned code = gbkCode(c);
        QVERIFY2(isLevel2(code), qPrintable(QStringLiteral("%1 lies outside the level-2 block").arg(c)));
        const QString initials = PinyinInitials(QString(c));
        QVERIFY2(initials == expected,
                 qPrintable(QStringLiteral("%1 (%2) gives \"%3\"").arg(c).arg(code, 0, 16).arg(initials)));
    }
}

void TestPinyin::belowAndAboveTheRanges_data() {
    QTest::addColumn<QString>("character");
    QTest::addColumn<QString>("expected");
    QTest::newRow("b0a0 just below 啊") << gbkCharacter(0xB0A0) << QStringLiteral("*");
    QTest::newRow("full-width space") << gbkCharacter(0xA1A1) << QStringLiteral("*");
    QTest::newRow("circled one") << QStringLiteral("①") << QStringLiteral("*");
    QTest::newRow("alpha") << QStringLiteral("α") << QStringLiteral("*");
    QTest::newRow("d840 extension above 座") << gbkCharacter(0xD840) << QString();
    QTest::newRow("d8a1 first level-2") << gbkCharacter(0xD8A1) << QString();
    QTest::newRow("f7fd 鼾") << gbkCharacter(0xF7FD) << QString();
    QTest::newRow("f7fe 齄") << QStringLiteral("齄") << QString();
    QTest::newRow("fe4f extension") << gbkCharacter(0xFE4F) << QString();
    QTest::newRow("]") << QStringLiteral("]") << QString();
    QTest::newRow("}") << QStringLiteral("}") << QString();
    QTest::newRow("@") << QStringLiteral("@") << QString();
    QTest::newRow("`") << QStringLiteral("`") << QString();
    QTest::newRow("NUL") << QString(QChar(0)) << QString();
    QTest::newRow("no GBK encoding") << QString(QChar(0x0E01)) << QString();
}

void TestPinyin::belowAndAboveTheRanges() {
    QFETCH(QString, character);
    QFETCH(QString, expected);
    QCOMPARE(character.size(), 1);
    QCOMPARE(PinyinInitials(character), expected);
}

void TestPinyin::surrogatesGiveNothing() {
    QCOMPARE(PinyinInitials(QStringLiteral("药💊片")), QStringLiteral("YP"));
    QCOMPARE(PinyinInitials(QString(QChar(0xD83D))), QString());
    QCOMPARE(PinyinInitials(QString(QChar(0xDC8A)) + QStringLiteral("A")), QStringLiteral("A"));
    QCOMPARE(PinyinInitials(QStringLiteral("𠀀")), QString()); // CJK extension B
}

void TestPinyin::resultNeverLongerThanInput() {
    // Every unit alone gives at most one unit, whatever it is.
    for (uint32_t unit = 0; unit < 65536; ++unit) {
        const QString one(QChar(static_cast<char16_t>(unit)));
        if (PinyinInitials(one).size() > 1)
            QFAIL(qPrintable(QStringLiteral("U+%1 gives more than one unit").arg(unit, 4, 16)));
    }
}

void TestPinyin::sameResultFromManyThreads() {
    const QString name = QStringLiteral("头孢呋辛酯片枸橼酸维生素B1阿莫西林");
    std::vector<std::future<QString>> results;
    for (int i = 0; i < 8; ++i)
        results.push_back(std::async(std::launch::async, [name] { return PinyinInitials(name); }));
    for (auto& result : results)
        QCOMPARE(result.get(), QStringLiteral("TbfXPgySWSSBAMXL"));
}

// A Unihan reading in letters, by a table of toned letters of its own: the decomposition the
// table's maker uses is not repeated here.
QString plainReading(const QString& reading) {
    static const QHash<QChar, QChar> plain = [] {
        QHash<QChar, QChar> map;
        const QString groups[] = {QStringLiteral("aāáǎà"), QStringLiteral("eēéěèê"), QStringLiteral("iīíǐì"),
                                  QStringLiteral("oōóǒò"), QStringLiteral("uūúǔù"),  QStringLiteral("vüǖǘǚǜ"),
                                  QStringLiteral("mḿ"),    QStringLiteral("nńňǹ")};
        for (const QString& group : groups) {
            for (const QChar c : group)
                map.insert(c, group[0]);
        }
        return map;
    }();
    QString letters;
    for (const QChar c : reading) {
        if (c.unicode() >= 0x300 && c.unicode() <= 0x36F) // a combining tone mark
            continue;
        letters.append(plain.value(c, c));
    }
    return letters;
}

void TestPinyin::readingsAgreeWithUnihan_data() {
    QTest::addColumn<uint>("code");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("重, two readings") << uint(0x91CD) << QStringList{QStringLiteral("chong"), QStringLiteral("zhong")};
    QTest::newRow("长, two readings") << uint(0x957F) << QStringList{QStringLiteral("chang"), QStringLiteral("zhang")};
    QTest::newRow("吡, the second reading only in one dictionary")
        << uint(0x5421) << QStringList{QStringLiteral("bi"), QStringLiteral("pi")};
    QTest::newRow("绿, ü") << uint(0x7EFF) << QStringList{QStringLiteral("lu"), QStringLiteral("lv")};
    QTest::newRow("䓬, outside GB2312") << uint(0x44EC) << QStringList{QStringLiteral("zhuo")};
    QTest::newRow("𬭩, beyond the basic plane") << uint(0x2CB69) << QStringList{QStringLiteral("weng")};
    QTest::newRow("A reads nothing") << uint('A') << QStringList();

    // A sample across the file, every 97th character it reads: the modern dictionaries'
    // readings, else kMandarin's, straight from the file.
    QFile file(QStringLiteral(XIYAO_UNIHAN_TEXT));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.errorString()));
    QMap<uint, std::pair<QStringList, QStringList>> fields; // modern, kMandarin
    while (!file.atEnd()) {
        const QList<QByteArray> parts = file.readLine().trimmed().split('\t');
        if (parts.size() != 3 || (parts[1] != "kMandarin" && parts[1] != "kTGHZ2013" && parts[1] != "kXHC1983"))
            continue;
        auto& [modern, mandarin] = fields[parts[0].mid(2).toUInt(nullptr, 16)];
        QStringList& into = parts[1] == "kMandarin" ? mandarin : modern;
        for (const QByteArray& item : parts[2].split(' ')) {
            const QString reading = plainReading(QString::fromUtf8(item.mid(item.lastIndexOf(':') + 1)));
            if (!into.contains(reading))
                into.append(reading);
        }
    }
    QVERIFY(fields.size() > 40000);
    int seen = 0;
    for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
        if (seen++ % 97 == 0)
            QTest::addRow("U+%X", it.key()) << it.key() << (it->first.isEmpty() ? it->second : it->first);
    }
}

void TestPinyin::readingsAgreeWithUnihan() {
    QFETCH(uint, code);
    QFETCH(QStringList, expected);
    QStringList readings = pinyin::readingsOf(code);
    readings.sort();
    expected.sort();
    QCOMPARE(readings, expected);
}

void TestPinyin::findRank_data() {
    QTest::addColumn<QByteArray>("name"); // as the drug file holds it, not always UTF-8
    QTest::addColumn<QString>("typed");
    QTest::addColumn<FindRank>("rank");
    // Full-width letters, digits and signs, and the ideographic space, as typed in full-width mode.
    QTest::newRow("full-width letter in a name")
        << QByteArray("维生素Ｃ片") << QStringLiteral("wsscp") << FindRank::WholePinyin;
    QTest::newRow("full-width digit and sign in a name")
        << QByteArray("５％葡萄糖注射液") << QStringLiteral("5ptt") << FindRank::StartPinyin;
    QTest::newRow("full-width pinyin typed")
        << QByteArray("维生素C片") << QStringLiteral("ｗｓｓｃｐ") << FindRank::WholePinyin;
    QTest::newRow("full-width name, half-width typed")
        << QByteArray("ＶＣ片") << QStringLiteral("vc") << FindRank::StartOfName;
    QTest::newRow("half-width name, full-width typed")
        << QByteArray("VC片") << QStringLiteral("ＶＣ") << FindRank::StartOfName;
    QTest::newRow("full-width both") << QByteArray("ＶＣ片") << QStringLiteral("ｖｃ") << FindRank::StartOfName;
    QTest::newRow("full-width sign as written")
        << QByteArray("５％葡萄糖") << QStringLiteral("5%") << FindRank::StartOfName;
    QTest::newRow("ideographic space") << QByteArray("复方　甘草片") << QStringLiteral("方 甘") << FindRank::InsideName;
    // Bytes that are no UTF-8 are shown as U+FFFD, one per byte, and match as that.
    QTest::newRow("overlong letters") << QByteArray("\xC1\x81\xC1\x82") << QStringLiteral("ab") << FindRank::None;
    QTest::newRow("overlong letter in three bytes")
        << QByteArray("\xE0\x81\x81") << QStringLiteral("a") << FindRank::None;
    QTest::newRow("overlong ideograph") << QByteArray("\xF0\x84\xB8\xAD") << QStringLiteral("z") << FindRank::None;
    QTest::newRow("replacement character typed")
        << QByteArray("\xC1") << QStringLiteral("\uFFFD") << FindRank::WholeName;
}

void TestPinyin::findRank() {
    QFETCH(QByteArray, name);
    QFETCH(QString, typed);
    QFETCH(FindRank, rank);
    const FindText text(typed);
    QCOMPARE(text.rank(name, QByteArrayView()), rank);
    // An English name matches only as written.
    const bool byPinyin =
        rank == FindRank::WholePinyin || rank == FindRank::StartPinyin || rank == FindRank::InsidePinyin;
    QCOMPARE(text.rank(QByteArrayView(), name), byPinyin ? FindRank::None : rank);
}

// The find window must match what the list shows: the stored bytes decoded as the program
// decodes them for showing (Statement's storedText). Random names of bytes, pieces of UTF-8 and
// near misses, from a fixed seed.
void TestPinyin::rankOfBytesIsRankOfShownText() {
    // Well-formed: letters, digits, signs, Chinese, full-width forms, the ideographic space, a byte order mark.
    const char* const wellFormed[] = {
        "a", "b", "C", "z", "5", " ", "'", "中", "药", "ａ", "Ｃ", "５", "\xE3\x80\x80", "\xEF\xBB\xBF"};
    // Overlong forms, a surrogate, beyond U+10FFFF, sequences cut short.
    const char* const malformed[] = {"\xC1\x81",         "\xE0\x81\x81", "\xF0\x84\xB8\xAD", "\xED\xA0\x80",
                                     "\xF4\x90\x80\x80", "\xE4\xB8",     "\xEF\xBC",         "\xF0\x9F"};
    const QString typedTexts[] = {QStringLiteral("a"),  QStringLiteral("ab"),     QStringLiteral("z"),
                                  QStringLiteral("zy"), QStringLiteral("c5"),     QStringLiteral("中"),
                                  QStringLiteral("ａ"), QStringLiteral("\uFFFD"), QStringLiteral("a b")};
    QRandomGenerator random(20240611);
    for (int round = 0; round < 4000; ++round) {
        QByteArray name;
        for (int n = random.bounded(8); n > 0; --n) {
            switch (random.bounded(3)) {
            case 0:
                name.append(char(random.bounded(256)));
                break;
            case 1:
                name.append(wellFormed[random.bounded(int(std::size(wellFormed)))]);
                break;
            default:
                name.append(malformed[random.bounded(int(std::size(malformed)))]);
            }
        }
        QStringDecoder decoder(QStringConverter::Utf8,
                               QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
        const QString shown = decoder.decode(name);
        for (const QString& typed : typedTexts) {
            const FindText text(typed);
            QVERIFY2(text.rank(name, QByteArrayView()) == text.rank(shown, QString()) &&
                         text.rank(QByteArrayView(), name) == text.rank(QString(), shown),
                     qPrintable(QStringLiteral("%1 typed as %2").arg(QString::fromLatin1(name.toHex(' ')), typed)));
        }
    }
}

QTEST_GUILESS_MAIN(TestPinyin)
#include "tst_pinyin.moc"
