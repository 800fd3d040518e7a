#pragma once

#include <QList>
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

// One drug as it goes on paper.
struct PaperLeaflet {
    qint64 key = 0;
    QString chineseName;
    QString englishName;
    QString leaflet;
};

// Leaflets laid out on pages, each drug from a new page: its names as a title, each section
// under its heading, and the key, the date and the page number at the foot of every page.
class LeafletPaper {
public:
    virtual ~LeafletPaper() = default;
    // Writes them into a PDF at path, which is then whole or as it was before; false when it
    // could not be written.
    virtual bool writePdf(const QList<PaperLeaflet>& drugs, const QString& path) = 0;
    // Sends them to the default printer as one job; false when the printer failed.
    virtual bool print(const QList<PaperLeaflet>& drugs) = 0;
    // Why the last call failed, in Chinese.
    virtual QString errorText() const = 0;
};

// Asks the user where to save a file.
class FileChooser {
public:
    virtual ~FileChooser() = default;
    // The path chosen, or an empty string when the user cancelled. A file that exists is not
    // questioned here: the caller asks before it replaces one.
    virtual QString saveFileName(const QString& caption, const QString& proposedPath, const QString& filter) = 0;
};

struct Platform {
    Dialogs& dialogs;
    LeafletPrinter& printer;
    UrlOpener& urls;
    ProcessEnder& process;
    Clock& clock;
    LeafletPaper& paper;
    FileChooser& files;
};
