#include "app/FindWindow.h"
#include "keypad/Form2.h"
#include "pinyin/PinyinInitials.h"
#include "tests/support/MainWindowFixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

class TestFind : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { prepareTestApplication(); }
    void cleanupTestCase() { m_pinyinNames.reset(); }
    void findsByAnyPartOfANameOrLeaflet_data();
    void findsByAnyPartOfANameOrLeaflet();
    void findsByPinyin_data();
    void findsByPinyin();
    void keypadRulesHoldBesideIt();
    void window();
    void place_data();
    void place();
    void realKeyboardOnX();

private:
    std::unique_ptr<MainWindowFixture> m_pinyinNames; // one file for the rows of findsByPinyin
};

void TestFind::findsByAnyPartOfANameOrLeaflet_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("inLeaflets");
    QTest::addColumn<QStringList>("found");
    QTest::addColumn<QString>("result");
    const auto one = [](const char16_t* name) {
        return QStringList{QString::fromUtf16(name)};
    };
    QTest::newRow("a character without an initial")
        << QStringLiteral("溴己") << false << one(u"溴己新") << QStringLiteral("找到 1 种药品");
    QTest::newRow("English name, any case")
        << QStringLiteral("aMOX") << false << one(u"阿莫西林") << QStringLiteral("找到 1 种药品");
    QTest::newRow("percent sign by itself")
        << QStringLiteral("%") << false << one(u"50%葡萄糖") << QStringLiteral("找到 1 种药品");
    QTest::newRow("underscore by itself")
        << QStringLiteral("_") << false << one(u"甲_乙") << QStringLiteral("找到 1 种药品");
    QTest::newRow("backslash by itself") << QStringLiteral("\\") << false << one(u"甲\\乙")
                                         << QStringLiteral("找到 1 种药品");
    QTest::newRow("quote by itself") << QStringLiteral("'") << false << one(u"O'Neil片")
                                     << QStringLiteral("找到 1 种药品");
    QTest::newRow("several, in the file's order")
        << QStringLiteral("甲") << false << QStringList{QStringLiteral("甲_乙"), QStringLiteral("甲\\乙")}
        << QStringLiteral("找到 2 种药品");
    QTest::newRow("leaflet word, leaflets off")
        << QStringLiteral("孕妇") << false << QStringList() << QStringLiteral("没有找到");
    QTest::newRow("leaflet word, leaflets on")
        << QStringLiteral("孕妇") << true << one(u"阿莫西林") << QStringLiteral("找到 1 种药品");
    QTest::newRow("pinyin initials") << QStringLiteral("xjx") << false << one(u"溴己新")
                                     << QStringLiteral("找到 1 种药品");
    QTest::newRow("best first: start of a name, pinyin from the start, inside a name")
        << QStringLiteral("lin") << false
        << QStringList{QStringLiteral("林可霉素"), QStringLiteral("磷霉素"), QStringLiteral("磷霉素钠"),
                       QStringLiteral("阿莫西林"), QStringLiteral("青霉素钙")}
        << QStringLiteral("找到 5 种药品");
    QTest::newRow("best first: the whole name, the whole name's pinyin, then its start")
        << QStringLiteral("lmsu") << false
        << QStringList{QStringLiteral("lmsu"), QStringLiteral("磷霉素"), QStringLiteral("磷霉素钠")}
        << QStringLiteral("找到 3 种药品");
    QTest::newRow("best first: a name before a leaflet")
        << QStringLiteral("青霉素") << true << QStringList{QStringLiteral("青霉素钙"), QStringLiteral("阿莫西林")}
        << QStringLiteral("找到 2 种药品");
    QTest::newRow("a pasted U+FEFF is searched for too")
        << QStringLiteral("\uFEFF乙药") << false << QStringList{QStringLiteral("\uFEFF乙药")}
        << QStringLiteral("找到 1 种药品");
    QTest::newRow("U+FEFF by itself") << QStringLiteral("\uFEFF") << false << QStringList{QStringLiteral("\uFEFF乙药")}
                                      << QStringLiteral("找到 1 种药品");
    QTest::newRow("empty text") << QString() << true << QStringList{QStringLiteral("旧")}
                                << QStringLiteral("请输入要查找的文字");
}

void TestFind::findsByAnyPartOfANameOrLeaflet() {
    QFETCH(QString, text);
    QFETCH(bool, inLeaflets);
    QFETCH(QStringList, found);
    QFETCH(QString, result);
    MainWindowFixture fixture;
    fixture.file.insert(QStringLiteral("溴己新"), Cell(QStringLiteral("XX")), QStringLiteral("Bromhexine"));
    fixture.file.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("AMXL")), QStringLiteral("Amoxicillin"),
                        QStringLiteral("【禁忌】青霉素过敏者、孕妇禁用。"));
    fixture.file.insert(QStringLiteral("50%葡萄糖"), Cell(QStringLiteral("PTT")), QStringLiteral("Glucose 50"));
    fixture.file.insert(QStringLiteral("甲_乙"), Cell(QStringLiteral("JY")), QStringLiteral("a"));
    fixture.file.insert(QStringLiteral("甲\\乙"), Cell(QStringLiteral("JY")), QStringLiteral("b"));
    fixture.file.insert(QStringLiteral("O'Neil片"), Cell(QStringLiteral("ONP")), QStringLiteral("c"));
    fixture.file.insert(QStringLiteral("林可霉素"), Cell(QStringLiteral("LKMS")), QStringLiteral("Lincomycin"));
    fixture.file.insert(QStringLiteral("磷霉素"), Cell(QStringLiteral("LMS")), QStringLiteral("Fosfomycin"));
    fixture.file.insert(QStringLiteral("磷霉素钠"), Cell(QStringLiteral("LMSN")), QStringLiteral("Fosfomycin sodium"));
    fixture.file.insert(QStringLiteral("青霉素钙"), Cell(QStringLiteral("QMSG")), QStringLiteral("Benzylpenicillin"));
    fixture.file.insert(QStringLiteral("lmsu"), Cell(QStringLiteral("lmsu")), QStringLiteral("d"));
    fixture.file.insert(QStringLiteral("乙药"), Cell(QStringLiteral("YY")), QStringLiteral("e"));
    fixture.file.insert(QStringLiteral("\uFEFF乙药"), Cell(QStringLiteral("YY")), QStringLiteral("f"));
    Form19& form = fixture.open();
    form.Label4[0]->setCaption(QStringLiteral("旧")); // what was listed before
    form.resultList().ListCount = Cell(1);

    QCOMPARE(form.findDrugs(text, inLeaflets), result);
    QCOMPARE(form.resultList().ListCount.toNumber(), double(found.size() == 1 && result.isEmpty() ? 1 : found.size()));
    QCOMPARE(fixture.rowCaptions().mid(0, found.size()), found);
    QCOMPARE(fixture.rowCaptions().at(found.size()), QString());
    QVERIFY(fixture.fakes.dialogs.messages.isEmpty());
    // The found drugs are a list like any other: a row click shows the drug.
    if (!text.isEmpty() && !found.isEmpty()) {
        form.Label4_Click(0);
        QCOMPARE(form.Text11->text(), found[0]);
    }
}

// Names the keypad's initials cannot reach (characters outside its table, several readings, an
// ideograph beyond the basic plane), each with what must find it and what must not.
const char16_t* const kPinyinNames[] = {
    u"溴己新",       u"吡嗪酰胺", u"哌拉西林他唑巴坦", u"氢氯噻嗪",           u"重酒石酸间羟胺", u"长春新碱",
    u"对乙酰氨基酚", u"甲硝唑",   u"氟胞嘧啶",         u"溴吡斯的明",         u"苯二氮䓬",       u"溴化三苯基𬭩",
    u"盐酸小檗碱",   u"阿莫西林", u"维生素B1",         u"复方甘草片（含片）", u"维生素Ｃ片",     u"５％葡萄糖注射液",
};

void TestFind::findsByPinyin_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("finds");
    // Each name, what must find it, what must not.
    const auto rows = [](const char16_t* name, std::initializer_list<const char*> finding,
                         std::initializer_list<const char*> notFinding) {
        const QString n = QString::fromUtf16(name);
        for (const auto& [typed, finds] : {std::pair{finding, true}, std::pair{notFinding, false}}) {
            for (const char* each : typed)
                QTest::addRow("%s %s %s", qPrintable(n), finds ? "by" : "not by", each)
                    << n << QString::fromLatin1(each) << finds;
        }
    };
    rows(u"溴己新", {"xjx", "XJX", "xiujixin", "xiu ji xin", "xiu'ji'xin", "xiujx", "jixin", "xin"},
         {"jxx", "iujixin", "xujixin", "xjxx"});
    // 吡 reads bǐ and pǐ
    rows(u"吡嗪酰胺", {"bqxa", "pqxa", "biqinxianan", "qinxian"}, {"bqxb"});
    rows(u"哌拉西林他唑巴坦", {"plxltzbt", "tazuo", "zuo ba tan"}, {"plxlzbt"});
    // U for ü
    rows(u"氢氯噻嗪", {"qlsq", "qinglvsaiqin", "qinglusaiqin"}, {"qlsz"});
    // 重 reads zhòng and chóng
    rows(u"重酒石酸间羟胺", {"zjssjqa", "cjssjqa", "chongjiu"}, {"sjssjqa"});
    // 长 reads cháng and zhǎng
    rows(u"长春新碱", {"ccxj", "zcxj", "changchun"}, {"ccxx"});
    rows(u"对乙酰氨基酚", {"dyxajf", "yixian"}, {"dyxajg"});
    rows(u"甲硝唑", {"jxz", "jiaxiaozuo"}, {"jxzz"});
    rows(u"氟胞嘧啶", {"fbmd", "midi"}, {"fbnd"});
    rows(u"溴吡斯的明", {"xbsdm", "xpsdm"}, {"xbsdn"});
    // 䓬 lies outside GB2312
    rows(u"苯二氮䓬", {"bedz", "erdanzhuo"}, {"bedc"});
    // 𬭩 lies beyond the basic plane
    rows(u"溴化三苯基𬭩", {"xhsbjw", "sanbenjiweng", "jiw"}, {"xhsbjy"});
    rows(u"盐酸小檗碱", {"ysxbj", "xiaobojian"}, {"ysxpj"});
    rows(u"阿莫西林", {"amxl", "amoxl", "amoxilin", "xi lin"}, {"amxk"});
    rows(u"维生素B1", {"wssb1"}, {"wssb2"});
    // Signs in the name are passed over
    rows(u"复方甘草片（含片）", {"ffgcphp"}, {"ffgcpx"});
    // Full-width letters, digits and signs read as ASCII
    rows(u"维生素Ｃ片", {"wsscp", "weishengsucpian", "cp"}, {"wssbp"});
    rows(u"５％葡萄糖注射液", {"5ptt", "5%", "5ptt zsy"}, {"6ptt"});
}

void TestFind::findsByPinyin() {
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(bool, finds);
    if (!m_pinyinNames) {
        m_pinyinNames = std::make_unique<MainWindowFixture>();
        for (const char16_t* each : kPinyinNames)
            m_pinyinNames->file.insert(QString::fromUtf16(each), Cell(PinyinInitials(QString::fromUtf16(each))));
        m_pinyinNames->open();
    }
    Form19& form = m_pinyinNames->form();
    const QString result = form.findDrugs(typed, false);
    QList<Cell> names;
    for (qint64 entry = 0; entry < qint64(form.resultList().ListCount.toNumber()); ++entry)
        names.append(form.resultList().RowChineseName[entry]);
    const auto at = std::find_if(names.begin(), names.end(), [&](const Cell& cell) { return cell.toText() == name; });
    QCOMPARE(at != names.end(), finds);
    QCOMPARE(result, names.isEmpty() ? QStringLiteral("没有找到") : QStringLiteral("找到 %1 种药品").arg(names.size()));
    if (finds) {
        // 修改 and 删除 act on the drug clicked.
        const int index = int(at - names.begin());
        form.Label4_Click(index);
        QCOMPARE(form.Text11->text(), name);
        QCOMPARE(form.Label2->caption(), form.resultList().RowId[index].toText());
    }
}

void TestFind::keypadRulesHoldBesideIt() {
    MainWindowFixture fixture;
    fixture.file.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("AMXL")), QStringLiteral("Amoxicillin"));
    fixture.file.insert(QStringLiteral("布洛芬"), Cell(QStringLiteral("BLF")), QStringLiteral("Ibuprofen"));
    Form19& form = fixture.open();
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));

    // Before the keypad was ever opened: finding, closing the find window and coming back
    // run no letter query.
    form.openFindWindow();
    QTRY_VERIFY(QApplication::focusWindow() == form.findWindow()->windowHandle());
    form.findWindow()->textBox->setText(QStringLiteral("ibu"));
    QTest::keyClick(form.findWindow()->textBox, Qt::Key_Return);
    QCOMPARE(fixture.rowCaptions().first(), QStringLiteral("布洛芬"));
    QCOMPARE(form.findWindow()->resultLabel->text(), QStringLiteral("找到 1 种药品"));
    QTest::keyClick(form.findWindow()->textBox, Qt::Key_Escape);
    QVERIFY(!form.findWindow()->isVisible());
    form.activateWindow();
    QTRY_VERIFY(QApplication::focusWindow() == form.windowHandle());
    QCOMPARE(form.resultList().ListCount.toNumber(), 1.0);

    // The keypad, then the find window: closing it keeps the found drugs, and so does a click from
    // it into the main window while the keypad is open: the click chooses the drug it is on.
    fixture.search(QStringLiteral("a"));
    QCOMPARE(fixture.rowCaptions().first(), QStringLiteral("阿莫西林"));
    form.Image4_Click();
    QTRY_VERIFY(QApplication::focusWindow() == form.keypad()->windowHandle());
    form.keypad()->Command2_Click(0); // a
    form.openFindWindow();
    QTRY_VERIFY(QApplication::focusWindow() == form.findWindow()->windowHandle());
    form.findWindow()->search(); // the text kept from before
    QCOMPARE(fixture.rowCaptions().first(), QStringLiteral("布洛芬"));
    form.findWindow()->close();
    form.activateWindow();
    QTRY_VERIFY(QApplication::focusWindow() == form.windowHandle());
    QCOMPARE(fixture.rowCaptions().first(), QStringLiteral("布洛芬"));
    form.openFindWindow();
    QTRY_VERIFY(QApplication::focusWindow() == form.findWindow()->windowHandle());
    QTest::mouseClick(form.Label4[0], Qt::LeftButton);
    QCOMPARE(form.Text11->text(), QStringLiteral("布洛芬"));

    // A desktop that focuses the find window as the keypad closes, before the main window: 返回
    // still searches for the keypad's letters.
    form.keypad()->activateWindow();
    QTRY_VERIFY(QApplication::focusWindow() == form.keypad()->windowHandle());
    form.findWindow()->activateWindow();
    form.keypad()->Command1_Click(); // asks for the main window after the find window
    QTRY_VERIFY(QApplication::focusWindow() == form.windowHandle());
    QCOMPARE(fixture.rowCaptions().first(), QStringLiteral("阿莫西林"));
}

void TestFind::window() {
    MainWindowFixture fixture;
    Form19& form = fixture.open();
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    // Ctrl+F also from inside the leaflet box, which has text shortcuts of its own.
    form.Text1->setFocus();
    QTest::keyClick(form.Text1, Qt::Key_F, Qt::ControlModifier);
    FindWindow* find = form.findWindow();
    QVERIFY(find && find->isVisible());
    QCOMPARE(find->windowTitle(), QStringLiteral("查找药品"));
    QVERIFY(find->windowFlags() & Qt::FramelessWindowHint);
    QTRY_VERIFY(find->textBox->hasFocus());
    // Tab order: text box, check boxes, close button, then what the user keeps.
    for (QWidget* next :
         std::initializer_list<QWidget*>{find->leafletsBox, find->notesBox, find->closeButton, find->favouritesButton,
                                         find->recentButton, find->notesButton, find->textBox}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), next);
    }
    // Text and check box are kept for the session; Ctrl+F again brings back the same window.
    QTest::keyClicks(find->textBox, QStringLiteral("amox"));
    find->leafletsBox->setChecked(true);
    QTest::mouseClick(find->closeButton, Qt::LeftButton);
    QVERIFY(!find->isVisible());
    form.activateWindow();
    QTRY_VERIFY(QApplication::focusWindow() == form.windowHandle());
    QTest::keyClick(&form, Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(form.findWindow(), find);
    QVERIFY(find->isVisible());
    QCOMPARE(find->textBox->text(), QStringLiteral("amox"));
    QVERIFY(find->leafletsBox->isChecked());
    QTest::keyClick(find->leafletsBox, Qt::Key_Return); // Enter from the check box searches too
    QCOMPARE(find->resultLabel->text(), QStringLiteral("没有找到"));
    QTest::keyClick(find->closeButton, Qt::Key_Return); // and on 关闭 closes
    QVERIFY(!find->isVisible());
    form.openFindWindow();
    // A lone surrogate is named, and the list stays as it was.
    find->textBox->setText(QString(QChar(0xD800)));
    find->search();
    QVERIFY(find->resultLabel->text().contains(QStringLiteral("无法识别的字符")));
    QVERIFY(fixture.fakes.dialogs.messages.isEmpty());
}

void TestFind::place_data() {
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QPoint>("place");
    // The main window at the corner, 778 x 633; the find window 320 x 112; the leaflet box
    // from (288, 40) to (752, 528).
    QTest::newRow("room on the right") << QRect(0, 0, 1280, 1024) << QPoint(782, 0);
    QTest::newRow("room below only") << QRect(0, 0, 1024, 768) << QPoint(0, 637);
    QTest::newRow("no room: over the leaflet's lower part") << QRect(0, 0, 800, 700) << QPoint(425, 409);
}

void TestFind::place() {
    QFETCH(QRect, available);
    QFETCH(QPoint, place);
    const QRect main(0, 0, 778, 633);
    const QRect leaflet(288, 40, 465, 489);
    const QSize size(320, 112);
    const QPoint at = findWindowPlace(main, leaflet, size, available);
    QCOMPARE(at, place);
    if (available.width() < 1024) {
        // Never over the result list (left of x = 249) or the buttons (below y = 536).
        QVERIFY(QRect(at, size).left() >= 249);
        QVERIFY(QRect(at, size).bottom() < 536);
    }
}

// On a real X display (tst_find_xvfb): the X server's own key events. (xdotool cannot type
// Chinese into Qt; an input method hands Qt committed text, which the other tests set directly.)
void TestFind::realKeyboardOnX() {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X display; tst_find_xvfb runs it under Xvfb");
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("跳过：本机缺少 xdotool（scripts/deps 会安装）");
    MainWindowFixture fixture;
    fixture.file.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("AMXL")), QStringLiteral("Amoxicillin"));
    fixture.file.insert(QStringLiteral("溴己新"), Cell(QStringLiteral("XX")), QStringLiteral("Bromhexine"));
    Form19& form = fixture.open();
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    const auto xdotool = [](const QStringList& arguments) {
        QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), arguments), 0);
    };
    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+f")});
    QTRY_VERIFY(form.findWindow() && QApplication::focusWindow() == form.findWindow()->windowHandle());
    xdotool({QStringLiteral("type"), QStringLiteral("amox")});
    QTRY_COMPARE(form.findWindow()->textBox->text(), QStringLiteral("amox"));
    xdotool({QStringLiteral("key"), QStringLiteral("Return")});
    QTRY_COMPARE(form.Label4[0]->caption(), QStringLiteral("阿莫西林"));
    QVERIFY(form.resultList().RowEnglishName[0].toText().contains(QStringLiteral("amox"), Qt::CaseInsensitive));
    QCOMPARE(form.findWindow()->resultLabel->text(), QStringLiteral("找到 1 种药品"));
    // Full pinyin with a blank and an apostrophe, typed key by key; the row found is the one shown.
    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+a")});
    xdotool({QStringLiteral("type"), QStringLiteral("xiu ji'xin")});
    QTRY_COMPARE(form.findWindow()->textBox->text(), QStringLiteral("xiu ji'xin"));
    xdotool({QStringLiteral("key"), QStringLiteral("Return")});
    QTRY_COMPARE(form.Label4[0]->caption(), QStringLiteral("溴己新"));
    QCOMPARE(form.findWindow()->resultLabel->text(), QStringLiteral("找到 1 种药品"));
    QTest::mouseClick(form.Label4[0], Qt::LeftButton);
    QCOMPARE(form.Text11->text(), QStringLiteral("溴己新"));
    QCOMPARE(form.Label2->caption(), form.resultList().RowId[0].toText());
    xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    QTRY_VERIFY(!form.findWindow()->isVisible());
}

QTEST_MAIN(TestFind)
#include "tst_find.moc"
