#pragma once

#include <QString>
#include <QStringList>

#include <vector>

struct sqlite3;

namespace bench {

// What the engine itself needs for a list refill: prepare the SQL, bind the parameters as
// UTF-8 text, step through every row and copy 中文名, 英文名, 药物说明书 and 编号 into
// QStrings kept in four arrays of the list's size (each run replaces the last run's strings,
// as a refill does), then finalise. Nothing of the program's own code is used.
class FloorLoop {
public:
    explicit FloorLoop(sqlite3* db);

    // The rows copied.
    qint64 run(const QString& sql, const QStringList& parameters = {});

private:
    sqlite3* m_db;
    std::vector<QString> m_names;
    std::vector<QString> m_englishNames;
    std::vector<QString> m_leaflets;
    std::vector<QString> m_keys;
};

} // namespace bench
