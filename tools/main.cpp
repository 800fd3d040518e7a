#include "tools/Commands.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QFile in;
    QFile out;
    QFile errFile;
    if (!in.open(stdin, QIODevice::ReadOnly) || !out.open(stdout, QIODevice::WriteOnly) ||
        !errFile.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return 1;
    QTextStream err(&errFile);
    err.setEncoding(QStringConverter::Utf8);
    ToolStreams streams{in, out, err};
    QStringList arguments = application.arguments();
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
