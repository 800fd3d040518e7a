// Adding, changing and deleting drugs. Nothing is reported as stored unless it is on the disk,
// and each stored change counts as one local change of the file's data.

#include "app/Maintenance.h"

#include "data/DataInfo.h"
#include "data/DatabaseError.h"
#include "data/DrugConnection.h"
#include "data/DrugFile.h"
#include "data/DrugSchema.h"
#include "data/SqlTexts.h"
#include "pinyin/PinyinInitials.h"
#include "platform/Seams.h"

#include <QDir>

namespace {

const QString Stored = QStringLiteral("ok ！");
const QString DrugGone = QStringLiteral("选中的药品已不存在，可能已被删除。请重新查找后再点选。");
const QString OfflineRefusal =
    QStringLiteral("离线：现在连不上数据库服务器，打开的是本机的离线副本，只能查看，"
                   "不能加入、修改或删除。您输入的内容还在框中；连上服务器后重新启动程序再试。");

// Writes the three texts and the initials of the Chinese name, in this order, to the
// recordset's current or new row.
void writeTexts(DrugRecordset& recordset, const DrugTexts& texts) {
    recordset.setField(ChineseNameColumn, Cell(texts.chineseName));
    recordset.setField(EnglishNameColumn, Cell(texts.englishName));
    recordset.setField(LeafletColumn, Cell(texts.leaflet));
    recordset.setField(InitialsColumn, Cell(PinyinInitials(texts.chineseName)));
}

} // namespace

bool Maintenance::areStorable(const DrugTexts& texts) const {
    // A lone surrogate (pasted from a program that cut a character in half) has no stored
    // form; refusing it here names the box, where the engine could only refuse the row.
    const std::pair<QString, const QString&> boxes[] = {
        {QStringLiteral("中文名"), texts.chineseName},
        {QStringLiteral("英文名"), texts.englishName},
        {QStringLiteral("说明书"), texts.leaflet},
    };
    for (const auto& [name, text] : boxes) {
        if (!QStringView(text).isValidUtf16()) {
            m_dialogs.inform(QStringLiteral("%1框中有无法保存的字符（不成对的 UTF-16 代理项，常见于粘贴来的文字），"
                                            "没有保存任何内容。请删去这个字符后再试。")
                                 .arg(name));
            return false;
        }
    }
    return true;
}

QString Maintenance::failureText(const QString& message) const {
    if (m_drugFile.isServerSeat())
        return QStringLiteral("%1：%2").arg(m_drugFile.describe(), message);
    const QString said = fileFailureMessage(m_drugFile.path(), message);
    if (said == message)
        return said; // ours, in Chinese already
    return QStringLiteral("药品数据库文件 %1：%2").arg(QDir::toNativeSeparators(m_drugFile.path()), said);
}

bool Maintenance::add(const DrugTexts& texts) {
    return store(QStringLiteral("加入失败，没有保存任何内容：\n%1"), [&](DrugRecordset& recordset) {
        recordset.Open(FullTableQuery, m_drugFile.connection(), adOpenKeyset, adLockOptimistic);
        recordset.AddNew();
        writeTexts(recordset, texts);
        recordset.Update();
        return true;
    });
}

bool Maintenance::change(qint64 key, const DrugTexts& texts, std::optional<qint64> shownRevision) {
    return changeDrug(key, shownRevision, QStringLiteral("修改失败，没有保存任何内容：\n%1"),
                      [&texts](DrugRecordset& recordset) { writeTexts(recordset, texts); });
}

bool Maintenance::remove(qint64 key, std::optional<qint64> shownRevision) {
    return changeDrug(key, shownRevision, QStringLiteral("删除失败，药品没有被删除：\n%1"),
                      [](DrugRecordset& recordset) { recordset.Delete(); });
}

bool Maintenance::changeDrug(qint64 key, std::optional<qint64> shownRevision, const QString& failure,
                             const std::function<void(DrugRecordset&)>& change) {
    return store(failure, [&](DrugRecordset& recordset) {
        recordset.Open(keyQuery(key), m_drugFile.connection(), adOpenKeyset, adLockOptimistic);
        if (recordset.RecordCount() == 0)
            return false;
        // The change itself also requires the revision it read, for a seat that changes it meanwhile.
        if (shownRevision && recordset.revision() != shownRevision)
            throw DatabaseError(DrugChangedElsewhere);
        change(recordset);
        recordset.Update();
        return true;
    });
}

bool Maintenance::store(const QString& failure, const std::function<bool(DrugRecordset&)>& write) {
    if (m_drugFile.isOffline()) {
        m_dialogs.inform(OfflineRefusal);
        return false;
    }
    DrugConnection& connection = m_drugFile.connection();
    DrugRecordset& recordset = m_drugFile.recordset();
    // The change and its count are one transaction: both reach the disk, or neither does.
    bool found = false;
    try {
        connection.beginTransaction();
        // Counted first: once the drug is written, nothing but the commit may fail.
        countLocalChange(connection);
        found = write(recordset);
        if (found)
            connection.commit();
    } catch (const DatabaseError& error) {
        connection.rollback();
        recordset.Close();
        m_dialogs.inform(failure.arg(failureText(error.message())));
        return false;
    }
    if (!found) {
        connection.rollback();
        recordset.Close();
        m_dialogs.inform(DrugGone);
        return false;
    }
    m_dialogs.inform(Stored);
    recordset.Close();
    return true;
}
