#include "tools/Commands.h"

#include <QFile>
#include <QGuiApplication>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char* argv[]) {
    // pdf lays out pages in Qt's fonts, which take a GUI application: on the offscreen
    // platform, so that it needs no display. The other commands need none. (Options may stand
    // before the command, and a file named pdf only costs the others a moment.)
    std::unique_ptr<QCoreApplication> application;
    if (std::any_of(argv + 1, argv + argc, [](const char* argument) { return std::strcmp(argument, "pdf") == 0; })) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    QFile in;
    QFile out;
    QFile errFile;
    if (!in.open(stdin, QIODevice::ReadOnly) || !out.open(stdout, QIODevice::WriteOnly) ||
        !errFile.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return 1;
    QTextStream err(&errFile);
    err.setEncoding(QStringConverter::Utf8);
    ToolStreams streams{in, out, err};
    QStringList arguments = application->arguments();
    arguments.removeFirst();
    int status = runTool(arguments, streams);
    // Output that never reached its file (a full disk, a closed pipe) is a failure, not a success.
    const bool written = out.flush() && out.error() == QFileDevice::NoError;
    if (status == 0 && !written) {
        err << QStringLiteral("xiyao-db：错误：无法写出结果：%1").arg(out.errorString()) << Qt::endl;
        status = 1;
    }
    err.flush();
    return status;
}
