#pragma once

#include "data/Cell.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <memory>

class DrugConnection;
class ServerConnection;

// Whether the fixtures keep their drugs on a PostgreSQL server instead of in a file
// (XIYAO_TEST_ON_SERVER=1): the same tests then run as a seat of a shared list.
bool drugsOnServer();
// The URL of the test program's own server, started at the first call and stopped at its exit.
// Where no server can run, says why ("跳过：…") and ends the program with status 77.
QString testServerUrl();
// That server itself, to stop, kill and restart.
class PostgresServer& testServer();

// How long tests let a statement wait for another connection's lock.
inline constexpr std::chrono::milliseconds ShortBusyTimeout{20};

// A temporary program folder holding a new, empty drug file. Rows are put in and read
// back through a connection of its own, so a test sees what the file really holds. With
// drugsOnServer(), the drugs are on the test server instead, its tables made afresh.
class DrugFileFixture {
public:
    DrugFileFixture();
    ~DrugFileFixture();

    QString folder() const { return m_dir.path(); }
    QString path() const;
    QByteArray bytes() const;

    struct Drug {
        qint64 key = 0;
        Cell chineseName;
        Cell englishName;
        Cell leaflet;
        Cell initials;
    };

    // Stores a drug as given (initials may be Null) and returns its key.
    qint64 insert(const QString& chineseName, const Cell& initials = Cell::null(),
                  const QString& englishName = QString(), const QString& leaflet = QString());
    QList<Drug> readAll() const;
    // Runs sql, as another program or seat would: on the file, or on the server.
    void execute(const QString& sql) const;
    // The first value sql selects (Null when it selects nothing), read from the file or the server.
    Cell value(const QString& sql) const;

    // The fixture's own connection to the file (or the server), opened on first use.
    DrugConnection& connection() const;
    // The fixture's own connection to the server; null when the drugs are in the file.
    ServerConnection* server() const { return m_server.get(); }

private:
    std::unique_ptr<ServerConnection> m_server;
    QTemporaryDir m_dir;
    // One connection for everything: each open derives the file's key, which is slow on purpose.
    mutable std::unique_ptr<DrugConnection> m_connection;
};
