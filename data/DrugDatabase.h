#pragma once

#include "data/DrugConnection.h"
#include "data/DrugRecordset.h"

#include <QString>

// The program's own connection to its drug file and its one recordset, alive for the whole run.

DrugConnection& theDrugConnection();
DrugRecordset& theDrugRecordset();

// Opens the drug file in programFolder on theDrugConnection(); throws DatabaseError.
void OpenDrugDatabase(const QString& programFolder);
// Starts opening the drug file in programFolder on a worker thread (unless that is under way
// already): deriving the file's key takes a while, and can overlap with building the window.
// Nothing may use theDrugConnection() until OpenDrugDatabase() with the same folder has waited
// for the open and thrown its error.
void beginOpeningDrugDatabase(const QString& programFolder);
