#pragma once

// The engine's C API, for data/ alone: every other folder reaches the drug file through
// DrugConnection and Statement (the build refuses this header elsewhere).

#include <QString>

#include <sqlcipher/sqlite3.h>

class DrugConnection;

// The engine's message for the last failed call on db.
QString engineMessage(sqlite3* db);

// The handle of an open connection.
sqlite3* engineHandle(const DrugConnection& connection);
