#pragma once

#include <QByteArray>
#include <QString>

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

// Says line on the standard output of a child that a test kills: one write a line, straight to
// the pipe, so that a line said before a kill is never lost.
inline void say(const QString& line) {
    const QByteArray bytes = (line + u'\n').toUtf8();
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(STDOUT_FILENO, bytes.constData() + written, bytes.size() - written);
        if (count < 0 && errno != EINTR)
            std::_Exit(3);
        written += qMax<ssize_t>(count, 0);
    }
}
