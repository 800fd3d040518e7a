#pragma once

#include "data/Cell.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <vector>

class ServerConnection;

// What the tools that fill a server's drug list (publish, import) do alike, each inside the
// caller's transaction. Every failure throws ServerError.

// The drugs the server's drug table held when lockServerDrugs() locked it.
struct HeldServerDrugs {
    qint64 drugs = 0;
    // The revision of the drugs that go in now: one above every revision the table holds, so that
    // a seat still showing a drug deleted now finds its revision gone, even where a new drug takes
    // its key and is never changed.
    qint64 nextRevision = 1;
};

// Locks the drug table against other writers until the transaction ends (SHARE ROW EXCLUSIVE:
// seats still read) and reads what it holds.
HeldServerDrugs lockServerDrugs(ServerConnection& server);

// Deletes every drug and returns how many went.
qint64 deleteServerDrugs(ServerConnection& server);

// Puts the identity past the largest key, and never back: a key the server gave once, to a drug
// deleted since, may still be shown at a seat and must not come to name another drug.
void moveIdentityPastKeys(ServerConnection& server);

// Sends drugs to the drug table in multi-row INSERTs of up to 1,000 drugs or about 8 MB of text,
// every value a parameter: few round trips, and a batch of long leaflets still fits in memory.
class ServerDrugBatches {
public:
    // columns: the drug table's columns each drug gives, in the order of its values; with the key
    // among them the drugs keep the keys given, else the identity gives them. Each drug gets
    // revision.
    ServerDrugBatches(ServerConnection& server, const QStringList& columns, qint64 revision);

    // The next value of the drug being added, in the order of the columns.
    void add(const Cell& value);
    // Ends the drug; sends the batch when it is full.
    void endDrug();
    // Sends the drugs not sent yet.
    void finish();

private:
    void send();

    ServerConnection& m_server;
    QStringList m_columns;
    bool m_keysGiven;
    std::vector<Cell> m_parameters; // the revision, then each drug's values
    qsizetype m_drugs = 0;
    qsizetype m_bytes = 0;
};
