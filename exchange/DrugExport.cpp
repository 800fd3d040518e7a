#include "exchange/DrugExport.h"

#include "data/DrugConnection.h"
#include "data/DrugSchema.h"
#include "data/Statement.h"
#include "exchange/Csv.h"

#include <QIODevice>

namespace {

bool writeAll(QIODevice& out, const QByteArray& bytes) {
    return out.write(bytes) == bytes.size();
}

} // namespace

bool exportDrugs(DrugConnection& connection, QIODevice& out, bool withBom) {
    const QStringList columns = drugColumns();
    QStringList quoted;
    for (const QString& column : columns)
        quoted.append(quotedIdentifier(column));
    if (!writeAll(out, (withBom ? Utf8Bom : QByteArray()) + csvRecord(columns)))
        return false;
    Statement select(connection,
                     QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                         .arg(quoted.join(u','), quotedIdentifier(DrugTableName), quotedIdentifier(KeyColumn)));
    QStringList texts;
    while (select.step()) {
        texts.clear();
        for (int i = 0; i < columns.size(); ++i)
            texts.append(select.column(i).toText());
        if (!writeAll(out, csvRecord(texts)))
            return false;
    }
    return true;
}
