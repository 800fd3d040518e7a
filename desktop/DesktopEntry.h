#pragma once

#include <QString>

// The desktop entry that starts the program in programFolder, with that folder's paths
// written as the desktop entry format wants them (quoted, escaped).
QString desktopEntryText(const QString& programFolder);

// Writes the entry for the program in programFolder as xiyao.desktop into targetFolder,
// made if missing. Returns the file written; throws std::runtime_error with a Chinese message.
QString writeDesktopEntry(const QString& programFolder, const QString& targetFolder);

// Where the desktop looks for the user's own entries (~/.local/share/applications).
QString userApplicationsFolder();
