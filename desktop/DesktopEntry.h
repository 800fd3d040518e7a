#pragma once

#include <QString>

// The desktop entry that starts the program in programFolder (an absolute path), with that
// folder's paths written as the desktop entry format wants them (quoted, escaped).
QString desktopEntryText(const QString& programFolder);

// Writes the entry for the program in programFolder as xiyao.desktop into targetFolder,
// made if missing. Relative folders are taken from the current folder, and the entry names
// them absolute: a menu starts it from a folder of its own. programFolder must hold the program;
// for a staged install, stagingRoot + programFolder may hold it instead (DESTDIR: the program
// reaches programFolder only when the staged files are installed). Returns the file written;
// throws std::runtime_error with a Chinese message.
QString writeDesktopEntry(const QString& programFolder, const QString& targetFolder,
                          const QString& stagingRoot = QString());

// Where the desktop looks for the user's own entries (~/.local/share/applications).
QString userApplicationsFolder();
