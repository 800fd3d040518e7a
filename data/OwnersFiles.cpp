#include "data/OwnersFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void makeOwnersFolders(const QString& path) {
    QStringList missing;
    for (QFileInfo at(QFileInfo(path).absolutePath()); !at.exists() && !at.isRoot(); at.setFile(at.absolutePath()))
        missing.prepend(at.absoluteFilePath());
    for (const QString& made : std::as_const(missing))
        ::mkdir(QFile::encodeName(made).constData(), 0700);
}

void makeOwnersFile(const QString& path) {
    makeOwnersFolders(path);
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor >= 0) {
        ::close(descriptor);
        return;
    }
    keepToOwner(path);
}

void keepToOwner(const QString& path) {
    const QByteArray nativePath = QFile::encodeName(path);
    struct stat status {};
    if (::stat(nativePath.constData(), &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid() &&
        (status.st_mode & 077) != 0)
        ::chmod(nativePath.constData(), 0600);
}
