#pragma once

#include "platform/LazyLeafletPaper.h"
#include "platform/LazyLeafletPrinter.h"
#include "platform/QtPlatform.h"

#include <QString>
#include <QStringList>

// Before the application object: a program that cannot reach a display says so in Chinese
// and exits with status 1.
void prepareForDisplay();

// The folder of the running program, as the application object will report it, known before
// there is one.
QString programFolderBeforeApplication();

// What the program sets up before its main window: Qt's Chinese texts, fonts, names, the
// window icon.
void prepareApplication();

// xiyao --install-desktop-entry [FOLDER [PROGRAM_FOLDER]]: writes the desktop entry for the
// program in PROGRAM_FOLDER (its own folder by default) into FOLDER (the user's applications
// folder by default), says where on stdout, and returns the exit status. Needs no display.
int installDesktopEntryCommand(const QStringList& arguments);

// The real platform services, alive as long as the main window.
struct RealPlatform {
    QtDialogs dialogs;
    LazyLeafletPrinter printer;
    QtUrlOpener urls;
    QtProcessEnder process;
    SteadyClock clock;
    LazyLeafletPaper paper;
    QtFileChooser files;
    Platform platform{dialogs, printer, urls, process, clock, paper, files};
};
