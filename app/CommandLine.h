#pragma once

#include <QStringList>

#include <optional>

// What the program's command line asks for, read before any window system is reached.
struct CommandLine {
    enum class Action {
        Run,                 // the handbook's window
        Help,                // xiyao --help: the options, then exit 0
        Version,             // xiyao --version
        InstallDesktopEntry, // xiyao --install-desktop-entry [FOLDER [PROGRAM_FOLDER]]
        Refused,             // an option the program does not know: problem says which
    };
    Action action = Action::Run;
    QStringList arguments; // the desktop entry's folders
    QString problem;
    std::optional<QString> server; // --server URL: this run works on that server
};

// The server a seat works on: --server's URL, else [server] url= in xiyao.ini in the program
// folder (the administrator's), else none: the drug file. Nothing here is ever written back.
std::optional<QString> seatServer(const CommandLine& line, const QString& programFolder);

// arguments without the program's own name. Qt's own options (-platform xcb, -style …) are
// left for Qt and run the window.
CommandLine readCommandLine(const QStringList& arguments);

// The texts printed for --help and --version.
QString helpText();
QString versionText();

inline const QString InstallDesktopEntryOption = QStringLiteral("--install-desktop-entry");
inline const QString ServerOption = QStringLiteral("--server");
inline const QString SeatSettingsFileName = QStringLiteral("xiyao.ini");
