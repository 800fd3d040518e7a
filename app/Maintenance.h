#pragma once

#include <QString>

#include <functional>
#include <optional>

class Dialogs;
class DrugFile;
class DrugRecordset;

// What the three boxes hold, as one drug's row takes it.
struct DrugTexts {
    QString chineseName;
    QString englishName;
    QString leaflet;
};

// Adding, changing and deleting drugs in the drug file, each saying how it went: "ok ！" only
// when the row is on the disk, else why nothing was stored. Each stored change adds one to the
// file's count of local changes (DataInfo), in the change's own transaction.
class Maintenance {
public:
    Maintenance(Dialogs& dialogs, DrugFile& drugFile)
        : m_dialogs(dialogs)
        , m_drugFile(drugFile) {}

    // False, with a message naming the box, when a text cannot be stored.
    bool areStorable(const DrugTexts& texts) const;
    bool add(const DrugTexts& texts);
    // False also when the drug is no longer in the file. On a server, shownRevision is the drug's
    // revision when the user was shown it: a drug changed since by another seat is left alone.
    bool change(qint64 key, const DrugTexts& texts, std::optional<qint64> shownRevision = std::nullopt);
    bool remove(qint64 key, std::optional<qint64> shownRevision = std::nullopt);

private:
    // Why nothing was stored: the engine's words come after the file and, in Chinese, what
    // happened and what to do.
    QString failureText(const QString& message) const;
    bool changeDrug(qint64 key, std::optional<qint64> shownRevision, const QString& failure,
                    const std::function<void(DrugRecordset&)>& change);
    // Runs write (false: the drug is gone) and the count in one transaction and says how it went.
    bool store(const QString& failure, const std::function<bool(DrugRecordset&)>& write);

    Dialogs& m_dialogs;
    DrugFile& m_drugFile;
};
