#pragma once

#include "data/DrugConnection.h"
#include "data/DrugRecordset.h"

#include <QString>

#include <future>

// The drug file the program works on: the folder that holds it, its one connection and the one
// recordset that every operation opens and closes again. Made once (by main, a test or the
// bench) and handed to whatever works on the file; nothing reaches it any other way.
class DrugFile {
public:
    explicit DrugFile(const QString& programFolder);
    ~DrugFile();
    DrugFile(const DrugFile&) = delete;
    DrugFile& operator=(const DrugFile&) = delete;

    const QString& programFolder() const { return m_programFolder; }
    QString path() const;

    // Starts opening the file on a worker thread, unless that is under way or done: deriving the
    // file's key takes a while, and can overlap with building the window.
    void beginOpening();
    // Waits for the open begun, or opens the file now. Throws DatabaseError.
    void OpenDrugDatabase();

    // Nothing may use these while an open is under way, before OpenDrugDatabase() returned.
    DrugConnection& connection() { return m_connection; }
    DrugRecordset& recordset() { return m_recordset; }

private:
    QString m_programFolder;
    DrugConnection m_connection;
    DrugRecordset m_recordset;
    std::future<void> m_opening; // declared last: waited for before the connection goes
};
