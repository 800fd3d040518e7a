#pragma once

#include "platform/QtLeafletPrinter.h"
#include "platform/QtPlatform.h"

// What the program sets up before its main window: fonts, names, the window icon.
void prepareApplication();

// The real platform services, alive as long as the main window.
struct RealPlatform {
    QtDialogs dialogs;
    QtLeafletPrinter printer;
    QtUrlOpener urls;
    QtProcessEnder process;
    Platform platform{dialogs, printer, urls, process};
};
