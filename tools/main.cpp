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
    const int status = RunTool(arguments, streams);
    out.flush();
    err.flush();
    return status;
}
