#include "data/DrugConnection.h"
#include "data/DrugRecordset.h"
#include "data/DrugSchema.h"
#include "data/SqlTexts.h"
#include "tests/support/MainWindowFixture.h"

#include <QtTest>

namespace {

// A list holding one drug with the given leaflet, its row clicked.
struct ChosenDrug {
    MainWindowFixture fixture;
    Form19* form = nullptr;

    explicit ChosenDrug(const Cell& leaflet) {
        const qint64 key = fixture.file.insert(QStringLiteral("阿莫西林"), Cell(QStringLiteral("AMXL")),
                                               QStringLiteral("Amoxicillin"), QString());
        if (!leaflet.toText().isEmpty() || leaflet.isNull()) {
            DrugRecordset recordset;
            recordset.Open(keyQuery(key), fixture.file.connection(), adOpenKeyset, adLockOptimistic);
            recordset.setField(LeafletColumn, leaflet);
            recordset.Update();
        }
        form = &fixture.open();
        form->FillDrugList(FullTableQuery);
        form->Label4_Click(0);
    }
};

QString nineLines() {
    QStringList lines;
    for (int i = 1; i <= 9; ++i)
        lines.append(QStringLiteral("L%1").arg(i));
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace

class TestDrugView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { prepareTestApplication(); }
    void rowClickFillsTheView();
    void rowClickUsesListTop();
    void clickBelowTheLastEntryClears();
    void paging_data();
    void paging();
    void pagingTrimsButTheRowClickDoesNot();
    void pagingANullLeaflet();
    void leafletBoxKeepsCrLf();
    void leafletTextZooms();
    void zoomKeysOnX();
};

void TestDrugView::rowClickFillsTheView() {
    ChosenDrug chosen(Cell(QStringLiteral("第一行\r\n第二行")));
    Form19& form = *chosen.form;
    QCOMPARE(form.Text1->text(), QStringLiteral("第一行\r\n第二行"));
    QCOMPARE(form.Text1->toPlainText(), QStringLiteral("第一行\n第二行"));
    QCOMPARE(form.Text11->text(), QStringLiteral("阿莫西林"));
    QCOMPARE(form.Text6->text(), QStringLiteral("Amoxicillin"));
    QCOMPARE(form.Label9->caption(), QStringLiteral("阿莫西林"));
    QCOMPARE(form.Label7->caption(), QStringLiteral("Amoxicillin"));
    QCOMPARE(form.Label2->caption(), QStringLiteral("1"));
    QCOMPARE(form.drugView().LeafletText, QStringLiteral("第一行\r\n第二行"));
    QCOMPARE(form.drugView().LeafletPage, 1);
    QCOMPARE(form.Label13->caption(), QStringLiteral("第一行\r第二行"));
    QCOMPARE(form.Label13->text(), QStringLiteral("第一行\n第二行")); // the CR shows as a line break

    // A long name shows from its first character, not scrolled to its end.
    form.resultList().RowEnglishName[0] =
        Cell(QStringLiteral("Amoxicillin Sodium and Clavulanate Potassium for Injection"));
    form.resultList().RowChineseName[0] =
        Cell(QStringLiteral("注射用阿莫西林钠克拉维酸钾（五比一）复方制剂示例长名称"));
    form.Label4_Click(0);
    QCOMPARE(form.Text6->cursorPosition(), 0);
    QCOMPARE(form.Text11->cursorPosition(), 0);
}

void TestDrugView::rowClickUsesListTop() {
    MainWindowFixture fixture;
    for (int i = 0; i < 30; ++i)
        fixture.file.insert(QStringLiteral("药%1").arg(i));
    Form19& form = fixture.open();
    form.FillDrugList(FullTableQuery);
    form.Label12_Click();
    form.Label12_Click();
    QTest::mouseClick(form.Label4[3], Qt::LeftButton);
    QCOMPARE(form.Text11->text(), QStringLiteral("药5"));
    QCOMPARE(form.Label2->caption(), QStringLiteral("6"));
}

void TestDrugView::clickBelowTheLastEntryClears() {
    ChosenDrug chosen(Cell(QStringLiteral("说明")));
    Form19& form = *chosen.form;
    form.drugView().LeafletPage = 4;
    form.Label4_Click(5);
    QCOMPARE(form.Text1->text(), QString());
    QCOMPARE(form.Text11->text(), QString());
    QCOMPARE(form.Text6->text(), QString());
    for (CaptionLabel* label : {form.Label2, form.Label7, form.Label9, form.Label13})
        QCOMPARE(label->caption(), QString());
    QCOMPARE(form.drugView().LeafletText, QString());
    QCOMPARE(form.drugView().LeafletPage, 1);
    form.Image3_Click();
    QCOMPARE(form.Label13->caption(), QString());

    // Beyond the arrays' last entry as well: the drug clicked before leaves nothing behind.
    form.Label4_Click(0);
    QCOMPARE(form.drugView().LeafletText, QStringLiteral("说明"));
    form.resultList().ListTop = Form19::RowCells - 1;
    form.Label4_Click(1);
    QCOMPARE(form.drugView().LeafletText, QString());
    QCOMPARE(form.Text1->text(), QString());
    QCOMPARE(form.Label2->caption(), QString());
    QCOMPARE(form.Label13->caption(), QString());
}

void TestDrugView::paging_data() {
    // The view alone: a leaflet as a row click leaves it (or no click yet), then n (下翻) and
    // p (上翻), each repeatable as nN, pN; the page and the page box's caption after them.
    QTest::addColumn<bool>("clicked");
    QTest::addColumn<QString>("leaflet");
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("caption");
    const QString nine = nineLines();
    QTest::newRow("down a page") << true << nine << "n" << 2 << "L3\rL4\rL5\rL6\rL7\rL8\rL9";
    QTest::newRow("down and up") << true << nine << "n p" << 1 << "L2\rL3\rL4\rL5\rL6\rL7\rL8\rL9";
    QTest::newRow("up to page 0") << true << nine << "p" << 0 << "L1\rL2\rL3\rL4\rL5\rL6\rL7\rL8\rL9";
    QTest::newRow("up stops at page 0") << true << nine << "p3" << 0 << "L1\rL2\rL3\rL4\rL5\rL6\rL7\rL8\rL9";
    // Past the last line the box is empty and the page keeps growing; back by one each 上翻.
    QTest::newRow("past the end") << true << nine << "n9" << 10 << "";
    QTest::newRow("back, still past the end") << true << nine << "n9 p" << 9 << "";
    QTest::newRow("back to the last line") << true << nine << "n9 p2" << 8 << "L9";
    QTest::newRow("back to the last two lines") << true << nine << "n9 p3" << 7 << "L8\rL9";
    QTest::newRow("line feeds alone") << true << "甲\n乙\n丙"
                                      << "n" << 2 << "丙";
    QTest::newRow("a single line") << true << "只有一行"
                                   << "n" << 2 << "";
    QTest::newRow("blanks at the ends are trimmed") << true << "  开头\r\n中间\r\n结尾  "
                                                    << "p" << 0 << "开头\r中间\r结尾";
    QTest::newRow("before any click") << false << ""
                                      << "n p" << 0 << "";
}

void TestDrugView::paging() {
    QFETCH(bool, clicked);
    QFETCH(QString, leaflet);
    QFETCH(QString, script);
    QFETCH(int, page);
    QFETCH(QString, caption);
    DrugView view;
    if (clicked) {
        view.clear();
        view.LeafletText = leaflet;
    }
    QString shown;
    for (const QString& step : script.split(u' ')) {
        for (int i = 0; i < std::max(1, step.mid(1).toInt()); ++i)
            shown = step[0] == u'n' ? view.nextPage() : view.previousPage();
    }
    QCOMPARE(view.LeafletPage, page);
    QCOMPARE(shown, caption);
}

void TestDrugView::pagingTrimsButTheRowClickDoesNot() {
    const struct {
        QString leaflet;
        QString afterRowClick;
        QString atPageZero;
    } leaflets[] = {
        {QStringLiteral("  开头\r\n中间\r\n结尾  "), QStringLiteral("  开头\r中间\r结尾  "),
         QStringLiteral("开头\r中间\r结尾")},
        // Only the ends of the whole text are trimmed: the lines inside keep their blanks.
        {QStringLiteral("  开头\r\n  缩进 的行\r\n行尾有空格  \n结尾  "),
         QStringLiteral("  开头\r  缩进 的行\r行尾有空格  结尾  "),
         QStringLiteral("开头\r  缩进 的行\r行尾有空格  结尾")},
        // Only the blank is trimmed: an ideographic indent and the last line end stay.
        {QStringLiteral("\u3000\u3000用法\r\n每日三次\r\n"), QStringLiteral("\u3000\u3000用法\r每日三次\r"),
         QStringLiteral("\u3000\u3000用法\r每日三次\r")},
    };
    for (const auto& leaflet : leaflets) {
        ChosenDrug chosen{Cell(leaflet.leaflet)};
        Form19& form = *chosen.form;
        QCOMPARE(form.Text1->text(), leaflet.leaflet);
        QCOMPARE(form.Label13->caption(), leaflet.afterRowClick);
        form.Image2_Click();
        form.Image2_Click();
        QCOMPARE(form.drugView().LeafletPage, 0);
        QCOMPARE(form.Label13->caption(), leaflet.atPageZero);
        QCOMPARE(form.drugView().LeafletText, leaflet.leaflet);
    }
}

void TestDrugView::pagingANullLeaflet() {
    ChosenDrug chosen{Cell::null()};
    QCOMPARE(chosen.form->Text1->text(), QString());
    QCOMPARE(chosen.form->Text11->text(), QStringLiteral("阿莫西林")); // the other fields still show
    chosen.form->Image3_Click();
    QCOMPARE(chosen.form->Label13->caption(), QString());
}

void TestDrugView::leafletBoxKeepsCrLf() {
    const QString mixed = QStringLiteral("甲\r\n乙\n丙\u00A0丁\r\n");
    ChosenDrug chosen{Cell(mixed)};
    LeafletBox* box = chosen.form->Text1;
    QCOMPARE(box->text(), mixed); // unedited: exactly as stored
    box->moveCursor(QTextCursor::End);
    box->insertPlainText(QStringLiteral("戊"));
    QCOMPARE(box->text(), QStringLiteral("甲\r\n乙\r\n丙\u00A0丁\r\n戊"));
}

void TestDrugView::leafletTextZooms() {
    ChosenDrug chosen{Cell(nineLines())};
    LeafletBox* box = chosen.form->Text1;
    const QRect geometry = box->geometry();
    const qreal points = box->font().pointSizeF();
    const auto wheel = [box](int angle, Qt::KeyboardModifiers modifiers) {
        const QPointF at(10, 10);
        QWheelEvent event(at, box->viewport()->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(box->viewport(), &event);
    };
    wheel(2 * 120, Qt::ControlModifier);
    QCOMPARE(box->font().pointSizeF(), points + 2);
    wheel(60, Qt::ControlModifier); // half a notch: nothing yet
    QCOMPARE(box->font().pointSizeF(), points + 2);
    wheel(60, Qt::ControlModifier);
    QCOMPARE(box->font().pointSizeF(), points + 3);
    wheel(-120, Qt::NoModifier); // scrolls, does not zoom
    QCOMPARE(box->font().pointSizeF(), points + 3);
    QTest::keyClick(box, Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(box->font().pointSizeF(), points + 2);
    // "+" as the main keyboard sends it (with Shift) and as the number pad sends it.
    QTest::keyClick(box, Qt::Key_Plus, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(box->font().pointSizeF(), points + 3);
    for (int i = 0; i < 40; ++i)
        QTest::keyClick(box, Qt::Key_Plus, Qt::ControlModifier | Qt::KeypadModifier);
    QCOMPARE(box->font().pointSizeF(), points + LeafletBox::MaxZoom);
    QCOMPARE(box->geometry(), geometry); // the text grows, not the box

    // The zoom stays while other drugs are shown; Ctrl+0 puts it back.
    chosen.form->Label4_Click(0);
    QCOMPARE(box->font().pointSizeF(), points + LeafletBox::MaxZoom);
    QTest::keyClick(box, Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(box->font().pointSizeF(), points);
    for (int i = 0; i < 40; ++i)
        QTest::keyClick(box, Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(box->font().pointSizeF(), points + LeafletBox::MinZoom);
    QCOMPARE(box->text(), nineLines()); // and no key reached the text
}

// On a real X display (tst_drugview_xvfb): the key events the X server sends for Ctrl and the
// keys marked + and - on the main keyboard.
void TestDrugView::zoomKeysOnX() {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X display; tst_drugview_xvfb runs it under Xvfb");
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("跳过：本机缺少 xdotool（scripts/deps 会安装）");
    ChosenDrug chosen{Cell(nineLines())};
    Form19& form = *chosen.form;
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.Text1->setFocus();
    const qreal points = form.Text1->font().pointSizeF();
    for (const auto& [keys, zoom] : {std::pair{"ctrl+plus", 1}, std::pair{"ctrl+equal", 2}, std::pair{"ctrl+minus", 1},
                                     std::pair{"ctrl+KP_Add", 2}, std::pair{"ctrl+0", 0}}) {
        QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QLatin1String(keys)}), 0);
        QTRY_COMPARE(form.Text1->font().pointSizeF(), points + zoom);
    }
    QCOMPARE(form.Text1->text(), nineLines());
}

QTEST_MAIN(TestDrugView)
#include "tst_drugview.moc"
