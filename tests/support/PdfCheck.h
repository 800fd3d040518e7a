#pragma once

#include "tests/support/ProgramRun.h"

#include <QRegularExpression>

// What poppler's tools read from a PDF: its text, and its fonts.

// The text pdftotext finds, pages separated by form feeds; empty when it found none.
inline QString pdfText(const QString& path) {
    const ProgramRun run = runProgram(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
    return run.status == 0 ? QString::fromUtf8(run.out) : QString();
}

// Every character but blanks and line ends, in order: a leaflet as a reader's text gives it back.
inline QString withoutBlanks(QString text) {
    static const QRegularExpression blanks(QStringLiteral("\\s"));
    return text.remove(blanks);
}

// The fonts pdffonts lists that are not embedded, or "(pdffonts failed)"; "(no font)" for none.
inline QStringList fontsNotEmbedded(const QString& path) {
    const ProgramRun run = runProgram(QStringLiteral("pdffonts"), {path});
    if (run.status != 0)
        return {QStringLiteral("(pdffonts failed)")};
    const QStringList lines = QString::fromUtf8(run.out).split(u'\n', Qt::SkipEmptyParts).mid(2);
    if (lines.isEmpty())
        return {QStringLiteral("(no font)")};
    QStringList missing;
    for (const QString& line : lines) {
        // name type encoding emb sub uni object ID: emb is the fourth column from the end but two.
        const QStringList columns = line.simplified().split(u' ');
        if (columns.size() < 6 || columns[columns.size() - 5] != QStringLiteral("yes"))
            missing.append(line);
    }
    return missing;
}
