#pragma once

#include <QString>

// The folder that holds the program, where its drug file lies. Tests point it elsewhere.
QString programFolder();
void setProgramFolderForTests(const QString& folder);
