// Adds, changes and deletes drugs without end through the recordset calls of the main window's
// handlers, saying on its standard output what it is about to store and, once Update()
// has returned, what is stored. The crash rounds of tst_reliability kill it at random moments.
// Arguments: the program folder, the last tag used so far, the seed of its choices.

#include "data/DatabaseError.h"
#include "data/DrugFile.h"
#include "data/DrugSchema.h"
#include "data/SqlTexts.h"
#include "tests/reliability/TaggedDrug.h"
#include "tests/support/ChildLines.h"

#include <QCoreApplication>
#include <QRandomGenerator>

namespace {

// The fields in the order the handlers write them.
void writeDrug(DrugRecordset& recordset, const TaggedDrug& drug) {
    recordset.setField(ChineseNameColumn, Cell(drug.chineseName));
    recordset.setField(EnglishNameColumn, Cell(drug.englishName));
    recordset.setField(LeafletColumn, Cell(drug.leaflet));
    recordset.setField(InitialsColumn, Cell(drug.initials));
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 4)
        return 2;
    qint64 tag = arguments[2].toLongLong();
    QRandomGenerator random(arguments[3].toUInt());
    DrugFile drugFile(arguments[1]);
    DrugRecordset& recordset = drugFile.recordset();
    QList<qint64> keys;
    try {
        drugFile.OpenDrugDatabase();
        recordset.Open(FullTableQuery, drugFile.connection(), adOpenKeyset, adLockReadOnly);
        for (; !recordset.atEnd(); recordset.MoveNext())
            keys.append(recordset.field(KeyColumn).integer().value_or(-1));
        recordset.Close();
        say(QStringLiteral("ready"));
        for (;;) {
            // Fewer adds once the table has some drugs, so that it stays small over many rounds.
            const int adds = keys.size() < 30 ? 60 : 30;
            const int choice = static_cast<int>(random.bounded(100));
            if (keys.isEmpty() || choice < adds) {
                say(QStringLiteral("add %1").arg(++tag));
                recordset.Open(FullTableQuery, drugFile.connection(), adOpenKeyset, adLockOptimistic);
                recordset.AddNew();
                writeDrug(recordset, taggedDrug(tag));
                recordset.Update();
                const qint64 key = recordset.field(KeyColumn).integer().value_or(-1);
                recordset.Close();
                keys.append(key);
                say(QStringLiteral("added %1 %2").arg(tag).arg(key));
                continue;
            }
            const qint64 key = keys[random.bounded(keys.size())];
            const bool modify = choice < adds + (100 - adds) / 2;
            if (modify)
                say(QStringLiteral("modify %1 %2").arg(key).arg(++tag));
            else
                say(QStringLiteral("delete %1").arg(key));
            recordset.Open(keyQuery(key), drugFile.connection(), adOpenKeyset, adLockOptimistic);
            if (modify)
                writeDrug(recordset, taggedDrug(tag));
            else
                recordset.Delete();
            recordset.Update();
            recordset.Close();
            if (modify) {
                say(QStringLiteral("modified %1 %2").arg(key).arg(tag));
            } else {
                keys.removeOne(key);
                say(QStringLiteral("deleted %1").arg(key));
            }
        }
    } catch (const DatabaseError& error) {
        say(QStringLiteral("error ") + error.message());
        return 1;
    }
}
