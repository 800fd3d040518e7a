#include "platform/ProgramFolder.h"

#include <QCoreApplication>

namespace {

QString& overriddenFolder() {
    static QString folder;
    return folder;
}

} // namespace

QString ProgramFolder() {
    const QString& overridden = overriddenFolder();
    return overridden.isEmpty() ? QCoreApplication::applicationDirPath() : overridden;
}

void SetProgramFolderForTests(const QString& folder) {
    overriddenFolder() = folder;
}
