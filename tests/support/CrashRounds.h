#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QString>
#include <QtGlobal>

// How many rounds a crash test runs: XIYAO_CRASH_ROUNDS when it names a number, else byDefault.
inline int crashRounds(int byDefault) {
    bool given = false;
    const int rounds = qEnvironmentVariableIntValue("XIYAO_CRASH_ROUNDS", &given);
    return given && rounds > 0 ? rounds : byDefault;
}

// The seed of a run's random moments: the same in every run unless XIYAO_CRASH_SEED names one,
// or says "random" for a fresh one; a failure names it, so that the run can be repeated.
inline quint32 crashSeed() {
    const QString asked = qEnvironmentVariable("XIYAO_CRASH_SEED");
    if (asked == QLatin1String("random"))
        return QRandomGenerator::global()->generate();
    bool given = false;
    const quint32 seed = asked.toUInt(&given);
    return given ? seed : 20261209;
}

// Adds what child says to output for milliseconds, then kills it. Returns, for a failure message,
// what the child said when it ended by itself before the kill; nothing when the kill ended it.
inline QString killAfter(QProcess& child, QByteArray& output, qint64 milliseconds) {
    QElapsedTimer since;
    since.start();
    while (since.elapsed() < milliseconds && child.state() != QProcess::NotRunning) {
        child.waitForReadyRead(static_cast<int>(qMax<qint64>(1, milliseconds - since.elapsed())));
        output += child.readAllStandardOutput();
    }
    child.kill();
    child.waitForFinished();
    output += child.readAllStandardOutput();
    if (child.exitStatus() == QProcess::CrashExit)
        return {};
    return QStringLiteral("the child ended by itself: ") + QString::fromUtf8(output) +
           QString::fromUtf8(child.readAllStandardError());
}
