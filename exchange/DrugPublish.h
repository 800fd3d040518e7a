#pragma once

#include "data/DatabaseError.h"
#include "exchange/DrugImport.h"

#include <QDate>
#include <QtGlobal>

class DrugConnection;
class ServerConnection;

// What a publish does with the drugs the server already holds.
enum class PublishMode {
    IntoEmpty, // the server's drug table must hold none
    Replace,   // every drug on the server is deleted first, in the publish's own transaction
};

struct PublishResult {
    qint64 published = 0;
    qint64 deleted = 0; // drugs that Replace took off the server
};

// The server's drug table holds drugs, and the publish was not asked to replace them.
class ServerHoldsDrugsError : public DatabaseError {
public:
    explicit ServerHoldsDrugsError(qint64 drugs)
        : DatabaseError(QStringLiteral("服务器上的药品表已有 %1 种药品").arg(drugs))
        , m_drugs(drugs) {}
    qint64 drugs() const noexcept { return m_drugs; }

private:
    qint64 m_drugs;
};

// Puts every drug of the drug file on the server (ServerSchema.h), each with the key it has in
// the file, so that the file and the server name a drug alike; the server's identity then gives
// new drugs keys above every key it holds or gave before. The file's information goes with them
// (version, revision date, source, the count of local changes; an item the file lacks is taken
// off the server), and date is recorded as the import's date. Makes the tables the server lacks.
// All in one transaction on the server: a server whose tables cannot be used, drugs already there
// (ServerHoldsDrugsError, IntoEmpty), a value the server cannot hold or a connection lost leaves
// the server as it was. The server's failures throw ServerError, the file's DatabaseError. The
// drugs are read from the file and sent in batches, never all held at once.
PublishResult publishDrugs(DrugConnection& file, ServerConnection& server, PublishMode mode,
                           const ImportProgress& progress = {}, const QDate& date = QDate::currentDate());
