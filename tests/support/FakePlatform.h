#pragma once

#include "platform/Seams.h"

#include <QList>
#include <QPair>
#include <QPointer>
#include <QStringList>

#include <algorithm>
#include <vector>

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

class RecordingPaper : public LeafletPaper {
public:
    QList<QList<PaperLeaflet>> printed;
    QList<QPair<QString, QList<PaperLeaflet>>> written; // each path with its drugs
    bool failing = false;

    bool writePdf(const QList<PaperLeaflet>& drugs, const QString& path) override {
        written.append({path, drugs});
        return !failing;
    }
    bool print(const QList<PaperLeaflet>& drugs) override {
        printed.append(drugs);
        return !failing;
    }
    QString errorText() const override { return failing ? QStringLiteral("打印机出错") : QString(); }
};

// Answers with the paths queued, an empty one (cancelled) when none is; records what it proposed.
class FakeFileChooser : public FileChooser {
public:
    QStringList answers;
    QStringList proposed;
    QStringList filters;

    QString saveFileName(const QString&, const QString& proposedPath, const QString& filter) override {
        proposed.append(proposedPath);
        filters.append(filter);
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
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

// Time stands still until a test moves it on; work that falls due runs then, in order.
class ManualClock : public Clock {
public:
    TimePoint now() const override { return m_now; }
    void after(std::chrono::milliseconds delay, QObject* context, std::function<void()> work) override {
        m_pending.push_back({m_now + delay, context, std::move(work)});
    }
    void advance(std::chrono::milliseconds by) {
        m_now += by;
        std::stable_sort(m_pending.begin(), m_pending.end(),
                         [](const Pending& a, const Pending& b) { return a.due < b.due; });
        while (!m_pending.empty() && m_pending.front().due <= m_now) {
            const Pending due = std::move(m_pending.front());
            m_pending.erase(m_pending.begin());
            if (due.context)
                due.work();
        }
    }

private:
    struct Pending {
        TimePoint due;
        QPointer<QObject> context;
        std::function<void()> work;
    };
    TimePoint m_now{};
    std::vector<Pending> m_pending;
};

struct FakePlatform {
    FakeDialogs dialogs;
    RecordingPrinter printer;
    RecordingUrlOpener urls;
    RecordingProcessEnder process;
    ManualClock clock;
    RecordingPaper paper;
    FakeFileChooser files;
    Platform platform{dialogs, printer, urls, process, clock, paper, files};
};
