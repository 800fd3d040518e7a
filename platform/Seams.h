#pragma once

#include <QString>

#include <chrono>
#include <functional>

class QObject;

// The application's title, the caption of every message box.
inline const QString ApplicationTitle = QStringLiteral("西药手册");

// Questions and messages. Yes/No questions have Yes as the default button and no icon.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual bool askYesNo(const QString& prompt) = 0;
    virtual void inform(const QString& message) = 0;
};

// The default printer, one leaflet document at a time.
class LeafletPrinter {
public:
    virtual ~LeafletPrinter() = default;
    // Prints text on a line of its own after indent blank positions; false when the printer failed.
    virtual bool printLine(int indent, const QString& text) = 0;
    // Ends the document and sends it to the printer; a document with no line makes no page.
    virtual bool endDocument() = 0;
    // Why the last call failed, in Chinese.
    virtual QString errorText() const = 0;
};

// Opens a web address in the desktop's browser.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual void open(const QString& address) = 0;
};

// Ends the process at once, without unloading anything.
class ProcessEnder {
public:
    virtual ~ProcessEnder() = default;
    virtual void endProcess(int status) = 0;
};

// The time, and work for later: the keypad's hand-over to the main window and the pressed look
// of a key typed on the keypad.
class Clock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
    // Runs work once after delay, on the event loop, unless context is gone by then.
    virtual void after(std::chrono::milliseconds delay, QObject* context, std::function<void()> work) = 0;
};

struct Platform {
    Dialogs& dialogs;
    LeafletPrinter& printer;
    UrlOpener& urls;
    ProcessEnder& process;
    Clock& clock;
};
