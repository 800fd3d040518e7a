#pragma once

#include "platform/QtLeafletPrinter.h"
#include "platform/QtPlatform.h"

// Before the application object: a program that cannot reach a display says so in Chinese
// and exits with status 1.
void prepareForDisplay();

// What the program sets up before its main window: Qt's Chinese texts, fonts, names, the
// window icon.
void prepareApplication();

// The real platform services, alive as long as the main window.
struct RealPlatform {
    QtDialogs dialogs;
    QtLeafletPrinter printer;
    QtUrlOpener urls;
    QtProcessEnder process;
    Platform platform{dialogs, printer, urls, process};
};
