#include "leaflet/LeafletSections.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

// The outline as a line of words: a known section by its key, an unknown heading as ?key, the
// opening as (opening); ×N when the section has N parts.
QString outlineText(const LeafletSections& sections) {
    QStringList entries;
    for (const OutlineEntry& entry : sections.outline()) {
        QString text = entry.kind == SectionKind::Opening   ? QStringLiteral("(opening)")
                       : entry.kind == SectionKind::Unknown ? u'?' + entry.key
                                                            : entry.key;
        if (entry.parts.size() > 1)
            text += u'×' + QString::number(entry.parts.size());
        entries.append(text);
    }
    return entries.join(u' ');
}

// What every split must be, whatever the text: consecutive parts that give back the text, each in
// the one outline entry of its key, and sectionAt() agreeing with the parts at every offset.
void checkPartition(const QString& text, const LeafletSections& sections) {
    const QList<LeafletPart>& parts = sections.parts();
    QCOMPARE(sections.textLength(), text.size());
    QCOMPARE(parts.isEmpty(), text.isEmpty());
    QString joined;
    qsizetype expectedBegin = 0;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const LeafletPart& part = parts[i];
        QCOMPARE(part.begin, expectedBegin);
        QVERIFY(part.begin <= part.bodyBegin && part.bodyBegin <= part.end);
        QVERIFY(part.begin < part.end);
        QCOMPARE(part.kind == SectionKind::Opening, part.bodyBegin == part.begin);
        if (part.kind == SectionKind::Opening)
            QCOMPARE(i, 0);
        else
            QVERIFY(text.mid(part.begin, part.bodyBegin - part.begin).contains(part.heading));
        QVERIFY(part.section >= 0 && part.section < sections.outline().size());
        const OutlineEntry& entry = sections.outline()[part.section];
        QCOMPARE(entry.key, part.key);
        QCOMPARE(entry.kind, part.kind);
        QVERIFY(entry.parts.contains(i));
        joined += text.mid(part.begin, part.end - part.begin);
        expectedBegin = part.end;
    }
    QCOMPARE(expectedBegin, text.size());
    QCOMPARE(joined, text);

    qsizetype listed = 0;
    QStringList keys;
    for (const OutlineEntry& entry : sections.outline()) {
        QVERIFY(!entry.parts.isEmpty());
        QVERIFY(!keys.contains(entry.key));
        keys.append(entry.key);
        QVERIFY(std::is_sorted(entry.parts.begin(), entry.parts.end()));
        listed += entry.parts.size();
    }
    QCOMPARE(listed, parts.size());
    for (qsizetype i = 1; i < sections.outline().size(); ++i)
        QVERIFY(sections.outline()[i - 1].parts.front() < sections.outline()[i].parts.front());

    for (qsizetype i = 0; i < parts.size(); ++i) {
        for (qsizetype offset = parts[i].begin; offset < parts[i].end; ++offset) {
            QCOMPARE(sections.partAt(offset), i);
            QCOMPARE(sections.sectionAt(offset), parts[i].section);
        }
    }
    QCOMPARE(sections.partAt(text.size()), parts.size() - 1);
    QCOMPARE(sections.partAt(-1), -1);
    QCOMPARE(sections.partAt(text.size() + 1), -1);
}

QString repeated(QStringView piece, int times) {
    QString text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

} // namespace

class TestSections : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void outline_data();
    void outline();
    void headingAndBody_data();
    void headingAndBody();
    void randomTextsArePartitioned();
};

void TestSections::outline_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("outline");

    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("no heading") << "本品为白色片。\r\n口服，一次一片。\r\n"
                                << "(opening)";
    QTest::newRow("blanks only") << "\r\n　\r\n"
                                 << "(opening)";
    QTest::newRow("the 2006 format, CR LF")
        << "【药品名称】通用名称：示例片\r\n【成份】本品主要成份为示例。\r\n【性状】白色片。\r\n【适应症】用于示例。\r"
           "\n"
           "【规格】0.25g\r\n【用法用量】口服。\r\n【不良反应】偶见皮疹。\r\n【禁忌】过敏者禁用。\r\n"
           "【注意事项】慎用。\r\n【孕妇及哺乳期妇女用药】慎用。\r\n【儿童用药】遵医嘱。\r\n【老年用药】遵医嘱。\r\n"
           "【药物相互作用】尚不明确。\r\n【药物过量】对症处理。\r\n【临床试验】未进行。\r\n【药理毒理】见下。\r\n"
           "【药代动力学】口服吸收。\r\n【贮藏】密封。\r\n【包装】铝塑。\r\n【有效期】24个月\r\n【执行标准】示例\r\n"
           "【批准文号】示例\r\n【生产企业】示例\r\n"
        << "药品名称 成份 性状 适应症 规格 用法用量 不良反应 禁忌 注意事项 孕妇及哺乳期妇女用药 儿童用药 老年用药 "
           "药物相互作用 药物过量 临床试验 药理毒理 药代动力学 贮藏 包装 有效期 执行标准 批准文号 生产企业";
    QTest::newRow("the newer sections") << "【药物滥用和药物依赖】无。\n【临床药理】见下。\n【上市许可持有人】示例\n"
                                           "【境内联系人】示例\n"
                                        << "药物滥用和药物依赖 临床药理 上市许可持有人 境内联系人";
    QTest::newRow("LF") << "【适应症】用于感冒。\n【用法用量】口服。\n"
                        << "适应症 用法用量";
    QTest::newRow("lone CR") << "【适应症】用于感冒。\r【禁忌】孕妇。"
                             << "适应症 禁忌";
    QTest::newRow("an opening") << "示例胶囊说明书\r\n请仔细阅读。\r\n【适应症】用于感冒。"
                                << "(opening) 适应症";
    QTest::newRow("blank lines before the first heading") << "\r\n　\r\n【适应症】用于感冒。"
                                                          << "适应症";
    // QStringLiteral: a row's UTF-8 text would lose its leading U+FEFF to QString::fromUtf8.
    QTest::newRow("a byte order mark") << QStringLiteral("\uFEFF【药品名称】示例片\r\n【成份】示例。")
                                       << "药品名称 成份";
    QTest::newRow("variants") << "【成分】示例。\n【适应证】用于感冒。\n【用法与用量】口服。\n【储藏】密封。"
                              << "成份 适应症 用法用量 贮藏";
    QTest::newRow("a variant and the key are one section") << "【适应症】用于感冒。\n【适应证】也用于发热。"
                                                           << "适应症×2";
    QTest::newRow("other brackets") << "〖适应症〗用于感冒。\n[禁忌]孕妇。\n［贮藏］密封。\n[ 用法用量 ]口服。"
                                    << "适应症 禁忌 贮藏 用法用量";
    QTest::newRow("full-width and ordinary blanks")
        << "　【　适应症　】　用于感冒。\r\n \t【 不 良 反 应 】偶见皮疹。\r\n【禁忌】 \u00A0孕妇。"
        << "适应症 不良反应 禁忌";
    QTest::newRow("a colon after the heading") << "【适应症】：用于感冒。\n【禁忌】: 孕妇。\n【贮藏】 ： 密封。"
                                               << "适应症 禁忌 贮藏";
    QTest::newRow("a colon inside the brackets") << "【用法用量：】口服。\n【贮藏:】密封。"
                                                 << "用法用量 贮藏";
    QTest::newRow("repeated headings")
        << "【注意事项】过敏者慎用。\r\n【注意事项】肾功能不全者慎用。\r\n【注意事项】请遵医嘱。\r\n【贮藏】密封。"
        << "注意事项×3 贮藏";
    QTest::newRow("a heading that comes back") << "【适应症】用于感冒。\n【禁忌】孕妇。\n【适应症】也用于发热。\n"
                                               << "适应症×2 禁忌";
    QTest::newRow("unknown headings")
        << "【示例文本】本说明书为示例。\r\n【药理作用】本品抑制示例。\r\n【适应症】用于感冒。"
        << "?示例文本 ?药理作用 适应症";
    QTest::newRow("an unknown heading's blanks") << "【药理 作用】甲。\n〖　药理作用〗乙。"
                                                 << "?药理作用×2";
    QTest::newRow("notes in ASCII brackets") << "【适应症】用于感冒。\n[1] 示例文献。\n［注］示例。\n[]空。"
                                             << "适应症";
    QTest::newRow("empty brackets") << "【】甲。\n【　】乙。\n〖 ： 〗丙。\n【适应症】用于感冒。"
                                    << "(opening) 适应症";
    QTest::newRow("a bracket not closed on its line") << "【适应症\r\n用于感冒。】\r\n【禁忌】孕妇。"
                                                      << "(opening) 禁忌";
    QTest::newRow("brackets that do not match") << "【适应症〗用于感冒。\n〖禁忌】孕妇。\n[贮藏］密封。\n【包装】盒。"
                                                << "(opening) 包装";
    QTest::newRow("a bracket inside the brackets") << "【注意【事项】甲。\n【适应症】用于【感冒】。"
                                                   << "(opening) 适应症";
    QTest::newRow("a 500-character heading")
        << QStringLiteral("【%1】正文。\n【禁忌】孕妇。").arg(QString(500, u'药')) << "(opening) 禁忌";
    QTest::newRow("a heading of 30 characters")
        << QStringLiteral("【%1】正文。").arg(QString(30, u'药')) << u'?' + QString(30, u'药');
    QTest::newRow("31 characters are text") << QStringLiteral("【%1】正文。").arg(QString(31, u'药')) << "(opening)";
    QTest::newRow("30 characters beyond the basic plane")
        << QStringLiteral("【%1】正文。").arg(repeated(u"𠀀", 30)) << u'?' + repeated(u"𠀀", 30);
    QTest::newRow("brackets mid-sentence") << "【适应症】用于【感冒】引起的发热，参见【禁忌】。\n详见[贮藏]。"
                                           << "适应症";
    QTest::newRow("a heading after text on its line") << "用法：【用法用量】口服。\n说明 〖禁忌〗孕妇。"
                                                      << "(opening)";
    QTest::newRow("a section's name without brackets")
        << "【注意事项】甲。\r\n用法用量：一日一次。\r\n禁忌：孕妇。\r\n适应症\r\n"
        << "注意事项";
    QTest::newRow("a heading with nothing under it") << "用于感冒。\r\n【贮藏】"
                                                     << "(opening) 贮藏";
    QTest::newRow("an ideograph beyond the basic plane") << "【𠀀说明】𠀁示例。\n【适应症】用于𠀂。"
                                                         << "?𠀀说明 适应症";
    const QChar lone(0xD800);
    QTest::newRow("lone surrogates") << QString(u'【') + lone + QStringLiteral("药】甲。\n【适应症】乙") + lone
                                     << QString(u'?') + lone + QStringLiteral("药 适应症");
    QTest::newRow("a sample leaflet as pasted")
        << "【示例文本】本说明书为演示用示例。\r\n【适应症】用于示例。\r\n【注意事项】甲。\r\n【注意事项】乙。\r\n"
           "\r\n【用法用量】口服。\r\n【贮藏】密封。\r\n"
        << "?示例文本 适应症 注意事项×2 用法用量 贮藏";
}

void TestSections::outline() {
    QFETCH(QString, text);
    QFETCH(QString, outline);
    const LeafletSections sections(text);
    checkPartition(text, sections);
    QCOMPARE(outlineText(sections), outline);
}

// How a heading line splits into the heading and its body.
void TestSections::headingAndBody_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("heading");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("body");

    QTest::newRow("plain") << "【适应症】用于感冒。"
                           << "适应症"
                           << "适应症"
                           << "用于感冒。";
    QTest::newRow("a variant, a full-width colon") << "【适应证】：用于感冒。"
                                                   << "适应证"
                                                   << "适应症"
                                                   << "用于感冒。";
    QTest::newRow("blanks inside and around") << "　【　不良 反应　】　偶见皮疹。"
                                              << "不良 反应"
                                              << "不良反应"
                                              << "偶见皮疹。";
    QTest::newRow("ASCII brackets and colon") << "[ 禁忌 ]: 孕妇。"
                                              << "禁忌"
                                              << "禁忌"
                                              << "孕妇。";
    QTest::newRow("a colon inside") << "【用法用量：】口服。"
                                    << "用法用量"
                                    << "用法用量"
                                    << "口服。";
    QTest::newRow("one colon belongs to the heading") << "〖 储藏 〗 ：：密封。"
                                                      << "储藏"
                                                      << "贮藏"
                                                      << "：密封。";
    QTest::newRow("alone on its line") << "【药理作用】\r\n本品抑制示例。"
                                       << "药理作用"
                                       << "药理作用"
                                       << "\r\n本品抑制示例。";
}

void TestSections::headingAndBody() {
    QFETCH(QString, text);
    QFETCH(QString, heading);
    QFETCH(QString, key);
    QFETCH(QString, body);
    const LeafletSections sections(text);
    QCOMPARE(sections.parts().size(), 1);
    const LeafletPart& part = sections.parts().front();
    QCOMPARE(part.heading, heading);
    QCOMPARE(part.key, key);
    QCOMPARE(part.kind, knownSectionKey(heading).isEmpty() ? SectionKind::Unknown : SectionKind::Known);
    QCOMPARE(text.mid(part.bodyBegin, part.end - part.bodyBegin), body);
}

// Texts of the characters that make and break headings, from a fixed seed: the partition always
// holds, and a line that starts with a well-formed known heading always starts a part.
void TestSections::randomTextsArePartitioned() {
    const QStringList pieces{QStringLiteral("【"),       QStringLiteral("】"),
                             QStringLiteral("〖"),       QStringLiteral("〗"),
                             QStringLiteral("["),        QStringLiteral("]"),
                             QStringLiteral("［"),       QStringLiteral("］"),
                             QStringLiteral("："),       QStringLiteral(":"),
                             QStringLiteral("\r"),       QStringLiteral("\n"),
                             QStringLiteral("\r\n"),     QStringLiteral(" "),
                             QStringLiteral("　"),       QStringLiteral("\uFEFF"),
                             QStringLiteral("用于"),     QStringLiteral("感冒。"),
                             QStringLiteral("适应症"),   QStringLiteral("注意事项"),
                             QStringLiteral("成分"),     QStringLiteral("药理作用"),
                             QStringLiteral("𠀀"),       QStringLiteral("【适应症】"),
                             QStringLiteral("【禁忌】"), QStringLiteral("\r\n【注意事项】："),
                             QString(QChar(0xD800)),     QString(QChar(0xDC00))};
    QRandomGenerator random(20250301);
    for (int round = 0; round < 3000; ++round) {
        QString text;
        const int count = random.bounded(40);
        for (int i = 0; i < count; ++i)
            text += pieces[random.bounded(pieces.size())];
        const LeafletSections sections(text);
        checkPartition(text, sections);
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(QStringLiteral("round %1: \"%2\"").arg(round).arg(text)));

        for (qsizetype line = 0; line < text.size(); ++line) {
            const bool atLineStart = line == 0 || text[line - 1] == u'\n' || text[line - 1] == u'\r';
            if (!atLineStart || !text.mid(line).startsWith(QStringLiteral("【禁忌】")))
                continue;
            const qsizetype part = sections.partAt(line);
            QVERIFY2(sections.parts()[part].key == QStringLiteral("禁忌") && sections.parts()[part].bodyBegin > line,
                     qPrintable(QStringLiteral("round %1: \"%2\"").arg(round).arg(text)));
        }
    }
}

QTEST_GUILESS_MAIN(TestSections)
#include "tst_sections.moc"
