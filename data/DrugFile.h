#pragma once

#include "data/DrugConnection.h"
#include "data/DrugRecordset.h"

#include <QString>

#include <atomic>
#include <future>

// The drug file the program works on: the folder that holds it, its one connection and the one
// recordset that every operation opens and closes again. Made once (by main, a test or the
// bench) and handed to whatever works on the file; nothing reaches it any other way.
//
// A seat of a shared list works on a server instead (useServer()). When the server cannot be
// reached, the seat opens its offline copy (offlineCopyPath()) read-only and isOffline() says so.
class DrugFile {
public:
    explicit DrugFile(const QString& programFolder);
    ~DrugFile();
    DrugFile(const DrugFile&) = delete;
    DrugFile& operator=(const DrugFile&) = delete;

    const QString& programFolder() const { return m_programFolder; }
    QString path() const;

    // Works on the server named by url (a libpq URL) instead of the file; before the open.
    void useServer(const QString& url, const QString& offlineCopy);
    bool isServerSeat() const { return !m_serverUrl.isEmpty(); }
    // The server could not be reached at the open: the offline copy is open, read-only.
    bool isOffline() const { return m_offline; }
    // Why the server could not be reached, in Chinese.
    const QString& offlineReason() const { return m_offlineReason; }
    const QString& offlineCopy() const { return m_offlineCopy; }
    // Waits for the offline copy's refresh that a seat's open began on a worker; why it failed, or
    // nothing when it succeeded or none was begun.
    QString waitForOfflineCopy();
    // What the program works on, for messages: the file's path, or the server's host:port/database.
    QString describe() const;

    // Starts opening the file on a worker thread, unless that is under way or done: deriving the
    // file's key takes a while, and can overlap with building the window.
    void beginOpening();
    // Waits for the open begun, or opens the file now. Throws DatabaseError.
    void OpenDrugDatabase();

    // Nothing may use these while an open is under way, before OpenDrugDatabase() returned.
    DrugConnection& connection() { return m_connection; }
    DrugRecordset& recordset() { return m_recordset; }

private:
    void open();

    QString m_programFolder;
    QString m_serverUrl;
    QString m_offlineCopy;
    bool m_offline = false;
    QString m_offlineReason;
    QString m_serverTarget;
    std::atomic<bool> m_stopRefresh{false};
    std::future<QString> m_refreshing; // the offline copy's refresh, begun by a seat's open
    DrugConnection m_connection;
    DrugRecordset m_recordset;
    std::future<void> m_opening; // declared last: waited for before the connection goes
};
