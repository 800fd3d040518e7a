#pragma once

#include "data/Cell.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <memory>

class DrugConnection;

// How long tests let a statement wait for another connection's lock.
inline constexpr std::chrono::milliseconds ShortBusyTimeout{20};

// A temporary program folder holding a new, empty drug file. Rows are put in and read
// back through a connection of its own, so a test sees what the file really holds.
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

    // The fixture's own connection to the file, opened on first use.
    DrugConnection& connection() const;

private:
    QTemporaryDir m_dir;
    // One connection for everything: each open derives the file's key, which is slow on purpose.
    mutable std::unique_ptr<DrugConnection> m_connection;
};
