#include "data/DrugDatabase.h"

#include <QDir>

#include <future>

QStringList drugColumns() {
    return {KeyColumn,      ChineseNameColumn, EnglishNameColumn, LeafletColumn, InitialsColumn,
            CategoryColumn, StrengthColumn,    DoseColumn,        UsageColumn,   DosageFormColumn};
}

QString drugConnectionString(const QString& programFolder) {
    return QStringLiteral("Provider=Microsoft.Jet.Oledb.4.0;Data Source=") + programFolder + QDir::separator() +
           DrugFileName + QStringLiteral(";Jet OleDb:DataBase Password=") + DrugPassword;
}

DrugConnection& theDrugConnection() {
    static DrugConnection connection;
    return connection;
}

DrugRecordset& theDrugRecordset() {
    static DrugRecordset recordset;
    return recordset;
}

namespace {

struct PendingOpen {
    QString programFolder;
    std::future<void> done;
};

PendingOpen& pendingOpen() {
    static PendingOpen pending;
    return pending;
}

} // namespace

void beginOpeningDrugDatabase(const QString& programFolder) {
    // The connection is made before the pending open, so that at exit the open is waited for
    // before the connection goes.
    theDrugConnection();
    PendingOpen& pending = pendingOpen();
    if (pending.done.valid()) {
        if (pending.programFolder == programFolder)
            return;
        pending.done.wait();
    }
    pending.programFolder = programFolder;
    pending.done = std::async(std::launch::async, [connectionString = drugConnectionString(programFolder)] {
        theDrugConnection().Open(connectionString);
    });
}

void OpenDrugDatabase(const QString& programFolder) {
    PendingOpen& pending = pendingOpen();
    if (pending.done.valid()) {
        std::future<void> done = std::move(pending.done);
        if (pending.programFolder == programFolder) {
            done.get();
            return;
        }
        done.wait(); // another folder's open, no longer wanted
    }
    theDrugConnection().Open(drugConnectionString(programFolder));
}
