#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>

#include <optional>
#include <stdexcept>

class QIODevice;

// A CSV text that breaks the rules, with the line on which the fault stands.
class CsvError : public std::runtime_error {
public:
    CsvError(qint64 line, const QString& message)
        : std::runtime_error(message.toStdString())
        , m_line(line)
        , m_message(message) {}
    qint64 line() const { return m_line; }
    const QString& message() const { return m_message; }

private:
    qint64 m_line;
    QString m_message;
};

// The UTF-8 byte order mark, by which spreadsheet programs tell UTF-8 from the local code page.
inline const QByteArray Utf8Bom = QByteArrayLiteral("\xEF\xBB\xBF");

// Reads RFC 4180 records from a device, a block at a time: quoted fields may hold commas,
// doubled quotes and line breaks, which are kept byte for byte. A leading UTF-8 BOM is
// skipped, records end with CR LF, LF or CR, and blank lines are passed over. Fields stay
// bytes; decoding them is the caller's business.
class CsvReader {
public:
    static constexpr qint64 DefaultBlockSize = 1 << 16;

    explicit CsvReader(QIODevice& device, qint64 blockSize = DefaultBlockSize);

    // The next record's fields; false at the end of the text. Throws CsvError.
    bool next(QList<QByteArray>& fields);
    // The line on which the record last returned by next() begins, counting from 1.
    qint64 recordLine() const { return m_recordLine; }
    // The blank lines passed over so far.
    qint64 blankLines() const { return m_blankLines; }

private:
    bool fill();
    int peek();
    int take();
    void skipBom();
    void skipBlankLines();
    QByteArray quotedField();
    QByteArray plainField();

    QIODevice& m_device;
    const qint64 m_blockSize;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_atStart = true;
    qint64 m_line = 1;
    qint64 m_recordLine = 0;
    qint64 m_blankLines = 0;
};

// One CSV field, quoted when it holds a comma, a quote or a line break, or begins with the
// bytes of a byte order mark (which a reader takes for the mark at the start of a text).
QByteArray csvField(const QByteArray& utf8);

// One record of fields, ended by CR LF. A record of one empty field is written as "" so that
// it is not a blank line, which a reader passes over.
QByteArray csvRecord(const QList<QByteArray>& utf8Fields);
QByteArray csvRecord(const QStringList& texts); // the texts as UTF-8

// Strict UTF-8 decoding; false when the bytes are not valid UTF-8.
bool decodeUtf8(const QByteArray& bytes, QString& text);

// The encodings of a CSV text: UTF-8, and GB18030, the superset of GBK (code page 936) in which
// spreadsheet programs on Chinese Windows save CSV. GB18030 gives every Unicode character a
// form, and its multi-byte forms never hold a comma, a quote, CR or LF, so records split on
// bytes as they do in UTF-8.
enum class CsvEncoding { Utf8, Gb18030 };

QString encodingName(CsvEncoding encoding);

// False when Qt cannot convert the encoding: its GB18030 comes from ICU, which a Qt may lack.
bool encodingAvailable(CsvEncoding encoding);

// Decodes one field after another, strictly: a U+FEFF at the start of a field is kept, and
// bytes that decode to nothing fail the field.
class FieldDecoder {
public:
    explicit FieldDecoder(CsvEncoding encoding);
    bool isValid() const { return m_decoder.isValid(); }
    // Nothing when the bytes are not text in the encoding.
    std::optional<QString> decode(const QByteArray& field);

private:
    CsvEncoding m_encoding;
    QStringDecoder m_decoder;
};

// Encodes one text after another. Texts read from the drug file are valid UTF-16 (its text is
// decoded from UTF-8), and every such text has a form in either encoding.
class FieldEncoder {
public:
    explicit FieldEncoder(CsvEncoding encoding);
    bool isValid() const { return m_encoder.isValid(); }
    QByteArray encode(const QString& text) { return m_encoder.encode(text); }

private:
    QStringEncoder m_encoder;
};
