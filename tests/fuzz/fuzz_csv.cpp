// libFuzzer target for the CSV reader and writer (exchange/Csv.h). The first byte picks the
// reader's block size and whether a byte order mark is written; the rest is used twice:
//   - as CSV text: the reader must give the same records, lines and error whatever its block
//     size, and the records it reads, written again, must read back the same;
//   - as records to write: fields separated by U+001F, records by U+001E. csvRecord's text
//     must read back as the same fields, each decoding to its text again.

#include "exchange/Csv.h"

#include <QBuffer>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using Records = QList<QList<QByteArray>>;

// All that a reader makes of a text: its records, each with its first line, or its complaint.
struct Reading {
    Records records;
    QList<qint64> lines;
    bool failed = false;
    qint64 errorLine = 0;
    QString error;

    bool operator==(const Reading&) const = default;
};

Reading readAll(const QByteArray& text, qint64 blockSize) {
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    CsvReader reader(buffer, blockSize);
    Reading reading;
    QList<QByteArray> fields;
    try {
        while (reader.next(fields)) {
            reading.records.append(fields);
            reading.lines.append(reader.recordLine());
        }
    } catch (const CsvError& error) {
        reading.failed = true;
        reading.errorLine = error.line();
        reading.error = error.message();
    }
    return reading;
}

QByteArray describe(const Reading& reading) {
    QByteArray out;
    for (qsizetype r = 0; r < reading.records.size(); ++r) {
        out += "  line " + QByteArray::number(reading.lines.value(r)) + ":";
        for (const QByteArray& field : reading.records[r])
            out += " [" + field.toPercentEncoding(" ") + "]";
        out += "\n";
    }
    if (reading.failed)
        out += "  error on line " + QByteArray::number(reading.errorLine) + ": " + reading.error.toUtf8() + "\n";
    return out;
}

void fail(const char* property, const QByteArray& text, const QByteArray& detail) {
    std::fprintf(stderr, "broken property: %s\ntext: %s\n%s", property, text.toPercentEncoding(" ").constData(),
                 detail.constData());
    std::abort();
}

void readsTheSameInAnyBlocks(const QByteArray& text, qint64 blockSize) {
    const Reading whole = readAll(text, CsvReader::DefaultBlockSize);
    const Reading small = readAll(text, blockSize);
    if (small != whole)
        fail("the reading does not depend on the block size", text,
             "in blocks of " + QByteArray::number(blockSize) + ":\n" + describe(small) + "in one block:\n" +
                 describe(whole));
    if (whole.failed)
        return;

    QByteArray written;
    for (const QList<QByteArray>& fields : whole.records)
        written += csvRecord(fields);
    const Reading again = readAll(written, blockSize);
    if (again.failed || again.records != whole.records)
        fail("records read, written with csvRecord and read again, are the same", text,
             "written: " + written.toPercentEncoding(" ") + "\nread first:\n" + describe(whole) + "read again:\n" +
                 describe(again));
}

void writtenRecordsReadBack(const QByteArray& bytes, qint64 blockSize, bool withBom) {
    QList<QStringList> records;
    for (const QString& record : QString::fromUtf8(bytes).split(QChar(0x1E)))
        records.append(record.split(QChar(0x1F)));

    QByteArray written = withBom ? Utf8Bom : QByteArray();
    for (const QStringList& texts : std::as_const(records))
        written += csvRecord(texts);
    const Reading reading = readAll(written, blockSize);
    bool same = !reading.failed && reading.records.size() == records.size();
    for (qsizetype r = 0; same && r < records.size(); ++r) {
        const QList<QByteArray>& fields = reading.records[r];
        same = fields.size() == records[r].size();
        for (qsizetype i = 0; same && i < fields.size(); ++i) {
            QString text;
            same = decodeUtf8(fields[i], text) && text == records[r][i];
        }
    }
    if (!same) {
        QByteArray wanted;
        for (const QStringList& texts : std::as_const(records))
            wanted += "  " + texts.join(u'|').toUtf8().toPercentEncoding(" |") + "\n";
        fail("records written with csvRecord read back the same", written,
             "written:\n" + wanted + "read:\n" + describe(reading));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // Blocks of 1 to 8 bytes put every boundary of a short text between two reads.
    const qint64 blockSize = 1 + (data[0] & 7);
    const bool withBom = data[0] & 8;
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    readsTheSameInAnyBlocks(rest, blockSize);
    writtenRecordsReadBack(rest, blockSize, withBom);
    return 0;
}
