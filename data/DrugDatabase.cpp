#include "data/DrugDatabase.h"

#include "data/DrugSchema.h"

#include <future>

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
    pending.done = std::async(
        std::launch::async, [path = drugFilePath(programFolder)] { theDrugConnection().openFile(path, DrugPassword); });
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
    theDrugConnection().openFile(drugFilePath(programFolder), DrugPassword);
}
