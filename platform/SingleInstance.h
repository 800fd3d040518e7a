#pragma once

#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QPointer>
#include <QString>

#include <chrono>

class Clock;
class QSocketNotifier;
class QWidget;

// One window per drug file. The first program started for a file listens on a local socket
// named after the user and the file; a later start for the same file asks it to bring its
// window to the front and ends, so that no two windows write to one file. The socket lives in
// Linux's abstract namespace, which the kernel clears with the process: a killed program
// leaves nothing that could stop the next start. That namespace is shared by every user, so
// only a program of our own user is believed or answered.
class SingleInstance {
public:
    enum class Start {
        First,        // no program of ours runs for the file: go on
        Activated,    // the program running for the file brought its window to the front
        NotAnswering, // a program of ours holds the file but did not answer in time
    };

    explicit SingleInstance(const QString& drugFilePath);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // "xiyao/<uid>/<SHA-1 of the file's canonical path>", without the abstract namespace's NUL.
    const QByteArray& name() const { return m_name; }

    // Before the application object (it needs no event loop): asks the program running for the
    // file to come to the front, or else takes the name. When another user's socket holds the
    // name, or no socket can be made, the start is First without it.
    Start start(std::chrono::milliseconds answerWithin = std::chrono::seconds(2));
    bool isListening() const { return m_listening.valid(); }

    // Once the application object exists: each later start for the file brings window to the
    // front. Stops with the window or with this object, whichever goes first. A start that says
    // nothing is dropped after a while by clock.
    void bringToFrontOnRequest(QWidget& window, Clock& clock);

private:
    // What asking the name's holder gave: its window came forward; no answer in time; nobody
    // (any longer) holds the name; or the name cannot be ours (another user's socket holds it,
    // or no socket can be made) and the start goes on without it.
    enum class Answer { Activated, Silent, Gone, NotOurs };
    Answer askRunningProgram(std::chrono::steady_clock::time_point deadline) const;
    bool claimName();
    void acceptRequests(QWidget& window, Clock& clock);

    QByteArray m_name;
    UniqueFd m_listening;
    QPointer<QSocketNotifier> m_notifier;
};
