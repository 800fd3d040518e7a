#pragma once

#include <QString>

// The folder that holds the program, where its drug file lies. Tests point it elsewhere.
QString ProgramFolder();
void SetProgramFolderForTests(const QString& folder);
