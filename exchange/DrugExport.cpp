#include "exchange/DrugExport.h"

#include "data/DrugRows.h"
#include "data/DrugSchema.h"
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
    DrugRows rows(connection, columns);
    QStringList texts;
    while (rows.next()) {
        texts.clear();
        for (int i = 0; i < columns.size(); ++i)
            texts.append(rows.value(i).toText());
        if (!writeAll(out, encodedRecord(encoder, texts)))
            return false;
    }
    return true;
}
