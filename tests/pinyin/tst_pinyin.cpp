#include "pinyin/Cp936.h"
#include "pinyin/PinyinInitials.h"

#include <QtTest>

#include <iconv.h>

#include <future>
#include <vector>

namespace {

// The character with a given GBK code, decoded independently of the code under test.
QString gbkCharacter(unsigned code) {
    iconv_t cd = iconv_open("UTF-16LE", "CP936");
    char in[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    char16_t out[4] = {};
    char* inPtr = in;
    char* outPtr = reinterpret_cast<char*>(out);
    size_t inLeft = 2;
    size_t outLeft = sizeof out;
    const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1) || inLeft != 0)
        return {};
    return QString::fromUtf16(out, static_cast<qsizetype>((sizeof out - outLeft) / 2));
}

struct Range {
    unsigned first;
    unsigned next;
    char letter;
};

// GBK code where each range starts, the code where the next starts, and its letter.
const Range kRanges[] = {
    {0xB0A1, 0xB0C5, 'A'}, {0xB0C5, 0xB2C1, 'B'}, {0xB2C1, 0xB4EE, 'C'}, {0xB4EE, 0xB6EA, 'D'}, {0xB6EA, 0xB7A2, 'E'},
    {0xB7A2, 0xB8C1, 'F'}, {0xB8C1, 0xB9FE, 'G'}, {0xB9FE, 0xBBF7, 'H'}, {0xBBF7, 0xBFA6, 'J'}, {0xBFA6, 0xC0AC, 'K'},
    {0xC0AC, 0xC2E8, 'L'}, {0xC2E8, 0xC4C3, 'M'}, {0xC4C3, 0xC5B6, 'N'}, {0xC5B6, 0xC5BE, 'O'}, {0xC5BE, 0xC6DA, 'P'},
    {0xC6DA, 0xC8BB, 'Q'}, {0xC8BB, 0xC8F6, 'R'}, {0xC8F6, 0xCBFA, 'S'}, {0xCBFA, 0xCDDA, 'T'}, {0xCDDA, 0xCEF4, 'W'},
    {0xCEF4, 0xD1B9, 'X'}, {0xD1B9, 0xD4D1, 'Y'}, {0xD4D1, 0xD7F9, 'Z'},
};

} // namespace

class TestPinyin : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void worked_data();
    void worked();
    void boundaryCodes_data();
    void boundaryCodes();
    void rangeEnds_data();
    void rangeEnds();
    void extraCharacters_data();
    void extraCharacters();
    void belowAndAboveTheRanges_data();
    void belowAndAboveTheRanges();
    void surrogatesGiveNothing();
    void resultNeverLongerThanInput();
    void sameResultFromManyThreads();
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
    const char16_t* characters = u"啊芭擦搭蛾发噶哈击喀垃妈拿哦啪期然撒塌挖昔压匝座";
    const int codes[] = {-20319, -20283, -19775, -19218, -18710, -18526, -18239, -17922,
                         -17417, -16474, -16212, -15640, -15165, -14922, -14914, -14630,
                         -14149, -14090, -13318, -12838, -12556, -11847, -11055, -10247};
    for (int i = 0; i < 24; ++i) {
        const QString c = QString(QChar(characters[i]));
        QTest::newRow(c.toUtf8().constData()) << c << codes[i];
    }
    QTest::newRow("A") << QStringLiteral("A") << 65;
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << 63;
    QTest::newRow("no GBK encoding") << QString(QChar(0x0E01)) << 63; // Thai ko kai
}

void TestPinyin::boundaryCodes() {
    QFETCH(QString, character);
    QFETCH(int, code);
    QCOMPARE(int(pinyin::cp936Code(character.at(0).unicode())), code);
}

void TestPinyin::rangeEnds_data() {
    QTest::addColumn<QString>("character");
    QTest::addColumn<QString>("expected");
    for (const Range& range : kRanges) {
        for (const unsigned code : {range.first, range.next - 1}) {
            const QString c = gbkCharacter(code);
            QVERIFY2(c.size() == 1, qPrintable(QString::number(code, 16)));
            QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(code, 0, 16).arg(c)))
                << c << QString(QLatin1Char(range.letter));
        }
    }
    // GBK extension characters whose codes fall inside a range take that range's letter.
    QTest::newRow("b1a0 extension in B") << gbkCharacter(0xB1A0) << QStringLiteral("B");
    QTest::newRow("c840 extension in Q") << gbkCharacter(0xC840) << QStringLiteral("Q");
}

void TestPinyin::rangeEnds() {
    QFETCH(QString, character);
    QFETCH(QString, expected);
    QCOMPARE(PinyinInitials(character), expected);
}

void TestPinyin::extraCharacters_data() {
    QTest::addColumn<QString>("character");
    QTest::addColumn<QString>("expected");
    const struct {
        char16_t letter;
        const char16_t* characters;
    } groups[] = {
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
    };
    int count = 0;
    for (const auto& group : groups) {
        for (const char16_t* c = group.characters; *c; ++c, ++count) {
            const QString character{QChar(*c)};
            QTest::newRow(character.toUtf8().constData()) << character << QString(QChar(group.letter));
        }
    }
    QCOMPARE(count, 121);
}

void TestPinyin::extraCharacters() {
    QFETCH(QString, character);
    QFETCH(QString, expected);
    const int code = pinyin::cp936Code(character.at(0).unicode()) & 0xFFFF;
    QVERIFY2(code >= 0xD8A1 && code <= 0xF7FE, "every extra character lies in the level-2 block");
    QCOMPARE(PinyinInitials(character), expected);
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

QTEST_GUILESS_MAIN(TestPinyin)
#include "tst_pinyin.moc"
