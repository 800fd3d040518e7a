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

QByteArray encodedRecord(FieldEncoder& encoder, const QStringList& texts) {
    QList<QByteArray> fields;
    fields.reserve(texts.size());
    for (const QString& text : texts)
        fields.append(encoder.encode(text));
    return csvRecord(fields);
}

} // namespace

bool exportDrugs(DrugConnection& connection, QIODevice& out, CsvEncoding encoding, bool withBom) {
    const QStringList columns = drugColumns();
    FieldEncoder encoder(encoding);
    const bool bom = withBom && encoding == CsvEncoding::Utf8;
    if (!writeAll(out, (bom ? Utf8Bom : QByteArray()) + encodedRecord(encoder, columns)))
        return false;
    Statement select(
        connection, QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                        .arg(quotedIdentifiers(columns), quotedIdentifier(DrugTableName), quotedIdentifier(KeyColumn)));
    QStringList texts;
    while (select.step()) {
        texts.clear();
        for (int i = 0; i < columns.size(); ++i)
            texts.append(select.column(i).toText());
        if (!writeAll(out, encodedRecord(encoder, texts)))
            return false;
    }
    return true;
}
