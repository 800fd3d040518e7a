// Adding, changing and deleting drugs. Nothing is reported as stored unless it is on the
// disk, and a failure leaves the boxes as the user typed them.

#include "app/Form19.h"

#include "data/DatabaseError.h"
#include "data/DrugDatabase.h"
#include "data/DrugSchema.h"
#include "data/SqlTexts.h"
#include "pinyin/PinyinInitials.h"

namespace {

const QString Stored = QStringLiteral("ok ！");
const QString NoDrugChosen = QStringLiteral("没有选中药品：请先在列表中点选一种药品。");
const QString DrugGone = QStringLiteral("选中的药品已不存在，可能已被删除。请重新查找后再点选。");

// Writes the three boxes and the initials of the Chinese name, in this order, to the
// recordset's current or new row; each box is read as its field is written.
void writeBoxes(DrugRecordset& recordset, const QLineEdit* chineseName, const QLineEdit* englishName,
                const LeafletBox* leaflet) {
    recordset.setField(ChineseNameColumn, Cell(chineseName->text()));
    recordset.setField(EnglishNameColumn, Cell(englishName->text()));
    recordset.setField(LeafletColumn, Cell(leaflet->text()));
    recordset.setField(InitialsColumn, Cell(PinyinInitials(chineseName->text())));
}

} // namespace

bool Form19::boxesAreStorable() {
    // A lone surrogate (pasted from a program that cut a character in half) has no stored
    // form; refusing it here names the box, where the engine could only refuse the row.
    const std::pair<QString, QString> boxes[] = {
        {QStringLiteral("中文名"), Text11->text()},
        {QStringLiteral("英文名"), Text6->text()},
        {QStringLiteral("说明书"), Text1->text()},
    };
    for (const auto& [name, text] : boxes) {
        if (!QStringView(text).isValidUtf16()) {
            m_platform.dialogs.inform(
                QStringLiteral("%1框中有无法保存的字符（不成对的 UTF-16 代理项，常见于粘贴来的文字），"
                               "没有保存任何内容。请删去这个字符后再试。")
                    .arg(name));
            return false;
        }
    }
    return true;
}

void Form19::Image13_Click() {
    if (!m_platform.dialogs.askYesNo(QStringLiteral("您真的要加入当前数据吗？")))
        return;
    if (Text11->text().isEmpty()) {
        m_platform.dialogs.inform(QStringLiteral(" 药名不能为空！"));
        return;
    }
    if (!boxesAreStorable())
        return;
    const bool placeholder = Text1->text().isEmpty();
    if (placeholder)
        Text1->setText(QStringLiteral("--"));
    DrugRecordset& recordset = theDrugRecordset();
    try {
        recordset.Open(FullTableQuery, theDrugConnection(), adOpenKeyset, adLockOptimistic);
        recordset.AddNew();
        writeBoxes(recordset, Text11, Text6, Text1);
        recordset.Update();
    } catch (const DatabaseError& error) {
        recordset.Close();
        if (placeholder)
            Text1->setText(QString()); // nothing was stored, so the box shows what the user left
        m_platform.dialogs.inform(QStringLiteral("加入失败，没有保存任何内容：\n%1").arg(error.message()));
        return;
    }
    m_platform.dialogs.inform(Stored);
    recordset.Close();
    // The boxes now show the new drug, not the one chosen before: 修改 and 删除 must not act
    // on that one with the new drug's text.
    choose(std::nullopt);
}

bool Form19::changeChosenDrug(const QString& failure, const std::function<void(DrugRecordset&)>& change) {
    DrugRecordset& recordset = theDrugRecordset();
    try {
        recordset.Open(keyQuery(*m_chosenDrug), theDrugConnection(), adOpenKeyset, adLockOptimistic);
        if (recordset.RecordCount() == 0) {
            recordset.Close();
            m_platform.dialogs.inform(DrugGone);
            return false;
        }
        change(recordset);
        recordset.Update();
    } catch (const DatabaseError& error) {
        recordset.Close();
        m_platform.dialogs.inform(failure.arg(error.message()));
        return false;
    }
    m_platform.dialogs.inform(Stored);
    recordset.Close();
    Text1->setText(QString());
    Text6->setText(QString());
    Text11->setText(QString());
    // The boxes no longer show the drug, so no drug is chosen any more.
    choose(std::nullopt);
    reloadWholeTable();
    return true;
}

void Form19::Image7_Click() {
    if (!m_platform.dialogs.askYesNo(QStringLiteral("您真的要修改当前数据吗？")))
        return;
    if (!m_chosenDrug) {
        m_platform.dialogs.inform(NoDrugChosen);
        return;
    }
    if (!boxesAreStorable())
        return;
    changeChosenDrug(QStringLiteral("修改失败，没有保存任何内容：\n%1"),
                     [this](DrugRecordset& recordset) { writeBoxes(recordset, Text11, Text6, Text1); });
}

void Form19::Image11_Click() {
    if (!m_platform.dialogs.askYesNo(QStringLiteral("您真的要删除当前数据吗？")))
        return;
    if (!m_chosenDrug)
        return;
    changeChosenDrug(QStringLiteral("删除失败，药品没有被删除：\n%1"),
                     [](DrugRecordset& recordset) { recordset.Delete(); });
}

void Form19::reloadWholeTable() {
    try {
        FillDrugList(FullTableQuery);
    } catch (const DatabaseError& error) {
        m_platform.dialogs.inform(QStringLiteral("药品列表无法重新载入：\n%1").arg(error.message()));
    }
}
