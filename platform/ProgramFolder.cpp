#include "platform/ProgramFolder.h"

#include <QCoreApplication>

namespace {

QString& overriddenFolder() {
    static QString folder;
    return folder;
}

} // namespace

QString programFolder() {
    const QString& overridden = overriddenFolder();
    return overridden.isEmpty() ? QCoreApplication::applicationDirPath() : overridden;
}

void setProgramFolderForTests(const QString& folder) {
    overriddenFolder() = folder;
}
