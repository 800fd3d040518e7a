#pragma once

#include "platform/Seams.h"

#include <QList>
#include <QPair>
#include <QStringList>

// Doubles for the platform services: answers are queued, everything asked is recorded.
class FakeDialogs : public Dialogs {
public:
    QList<bool> answers; // the next Yes/No answers; Yes when none is queued
    QStringList questions;
    QStringList messages;

    bool askYesNo(const QString& prompt) override {
        questions.append(prompt);
        return answers.isEmpty() ? true : answers.takeFirst();
    }
    void inform(const QString& message) override { messages.append(message); }
};

class RecordingPrinter : public LeafletPrinter {
public:
    QList<QPair<int, QString>> lines;
    int documentsEnded = 0;
    bool failing = false;

    bool printLine(int indent, const QString& text) override {
        if (failing)
            return false;
        lines.append({indent, text});
        return true;
    }
    bool endDocument() override {
        ++documentsEnded;
        return !failing;
    }
    QString errorText() const override { return failing ? QStringLiteral("打印机出错") : QString(); }
};

class RecordingUrlOpener : public UrlOpener {
public:
    QStringList opened;
    void open(const QString& address) override { opened.append(address); }
};

class RecordingProcessEnder : public ProcessEnder {
public:
    QList<int> endings;
    void endProcess(int status) override { endings.append(status); }
};

struct FakePlatform {
    FakeDialogs dialogs;
    RecordingPrinter printer;
    RecordingUrlOpener urls;
    RecordingProcessEnder process;
    Platform platform{dialogs, printer, urls, process};
};
