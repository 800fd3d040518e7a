#pragma once

#include <QFile>
#include <QProcess>
#include <QString>

#include <unistd.h>

// Makes the file read-only for this process, also for the superuser, until destroyed.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const QString& path)
        : m_path(path) {
        if (geteuid() == 0)
            m_done = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) == 0;
        else
            m_done = QFile::setPermissions(path, QFileDevice::ReadOwner);
    }
    ~ReadOnlyFile() {
        if (geteuid() == 0)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), m_path});
        else
            QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    bool done() const { return m_done; }

private:
    QString m_path;
    bool m_done = false;
};
