#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// What a program run by a test did: its exit status (-1 when it crashed or did not end in two
// minutes), its standard output and its standard error.
struct ProgramRun {
    int status = -1;
    QByteArray out;
    QString err;
};

// Runs program with arguments, input on its standard input, and waits for it to end; in
// workingDirectory when one is given.
inline ProgramRun runProgram(const QString& program, const QStringList& arguments, const QByteArray& input = {},
                             const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
                             const QString& workingDirectory = {}) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            QString::fromUtf8(process.readAllStandardError())};
}

// The GB18030 form of a UTF-8 text as glibc's iconv writes it: GBK where GBK has a form, as
// spreadsheet programs on Chinese Windows save it.
inline QByteArray gb18030(const QByteArray& utf8) {
    const ProgramRun run = runProgram(
        QStringLiteral("iconv"),
        {QStringLiteral("-f"), QStringLiteral("UTF-8"), QStringLiteral("-t"), QStringLiteral("GB18030")}, utf8);
    if (run.status != 0)
        qFatal("iconv failed: %s", qPrintable(run.err));
    return run.out;
}
