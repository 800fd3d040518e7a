#include "exchange/Csv.h"

#include <QIODevice>

namespace {

constexpr int End = -1;

// A field is decoded on its own: nothing is carried from one field into the next, a U+FEFF
// at its start is a character like any other.
constexpr QStringConverter::Flags FieldFlags =
    QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;

QStringDecoder fieldDecoder(CsvEncoding encoding) {
    return encoding == CsvEncoding::Utf8 ? QStringDecoder(QStringConverter::Utf8, FieldFlags)
                                         : QStringDecoder("GB18030", FieldFlags);
}

bool endsField(int c) {
    return c == ',' || c == '\r' || c == '\n' || c == End;
}

} // namespace

CsvReader::CsvReader(QIODevice& device, qint64 blockSize)
    : m_device(device)
    , m_blockSize(qMax<qint64>(1, blockSize)) {}

bool CsvReader::fill() {
    if (m_pos < m_buffer.size())
        return true;
    m_buffer = m_device.read(m_blockSize);
    m_pos = 0;
    return !m_buffer.isEmpty();
}

int CsvReader::peek() {
    if (!fill())
        return End;
    return static_cast<unsigned char>(m_buffer[m_pos]);
}

int CsvReader::take() {
    const int c = peek();
    if (c != End)
        ++m_pos;
    return c;
}

void CsvReader::skipBom() {
    QByteArray head;
    while (head.size() < Utf8Bom.size() && peek() == static_cast<unsigned char>(Utf8Bom[head.size()]))
        head.append(static_cast<char>(take()));
    // Not a BOM after all: the bytes belong to the first field.
    if (head != Utf8Bom)
        m_buffer.insert(m_pos, head);
}

void CsvReader::skipBlankLines() {
    for (;;) {
        const int c = peek();
        if (c != '\n' && c != '\r')
            return;
        take();
        if (c == '\r' && peek() == '\n')
            take();
        ++m_line;
        ++m_blankLines;
    }
}

// Runs to the closing quote; a doubled quote stands for one.
QByteArray CsvReader::quotedField() {
    take();
    QByteArray field;
    for (;;) {
        const int c = take();
        if (c == End)
            throw CsvError(m_recordLine, QStringLiteral("引号没有闭合"));
        if (c == '"') {
            if (peek() != '"')
                break;
            take();
        } else if (c == '\n' || (c == '\r' && peek() != '\n')) {
            ++m_line;
        }
        field.append(static_cast<char>(c));
    }
    if (!endsField(peek()))
        throw CsvError(m_line, QStringLiteral("右引号后面出现了多余的字符"));
    return field;
}

QByteArray CsvReader::plainField() {
    QByteArray field;
    for (int c = peek(); !endsField(c); c = peek()) {
        if (c == '"')
            throw CsvError(m_line, QStringLiteral("未加引号的字段中出现了引号"));
        field.append(static_cast<char>(take()));
    }
    return field;
}

bool CsvReader::next(QList<QByteArray>& fields) {
    fields.clear();
    if (m_atStart) {
        m_atStart = false;
        skipBom();
    }
    skipBlankLines();
    if (peek() == End)
        return false;

    m_recordLine = m_line;
    for (;;) {
        fields.append(peek() == '"' ? quotedField() : plainField());
        const int end = take();
        if (end == ',')
            continue;
        if (end == '\r' && peek() == '\n')
            take();
        if (end != End)
            ++m_line;
        return true;
    }
}

QByteArray csvField(const QByteArray& utf8) {
    if (!utf8.contains(',') && !utf8.contains('"') && !utf8.contains('\r') && !utf8.contains('\n') &&
        !utf8.startsWith(Utf8Bom))
        return utf8;
    QByteArray field = utf8;
    field.replace('"', "\"\"");
    return '"' + field + '"';
}

QByteArray csvRecord(const QList<QByteArray>& utf8Fields) {
    if (utf8Fields.size() == 1 && utf8Fields.front().isEmpty())
        return QByteArrayLiteral("\"\"\r\n");
    QByteArray record;
    for (qsizetype i = 0; i < utf8Fields.size(); ++i) {
        if (i > 0)
            record.append(',');
        record.append(csvField(utf8Fields[i]));
    }
    return record + "\r\n";
}

QByteArray csvRecord(const QStringList& texts) {
    QList<QByteArray> fields;
    fields.reserve(texts.size());
    for (const QString& text : texts)
        fields.append(text.toUtf8());
    return csvRecord(fields);
}

bool decodeUtf8(const QByteArray& bytes, QString& text) {
    std::optional<QString> decoded = FieldDecoder(CsvEncoding::Utf8).decode(bytes);
    text = decoded.value_or(QString());
    return decoded.has_value();
}

QString encodingName(CsvEncoding encoding) {
    return encoding == CsvEncoding::Utf8 ? QStringLiteral("UTF-8") : QStringLiteral("GB18030");
}

bool encodingAvailable(CsvEncoding encoding) {
    return FieldDecoder(encoding).isValid() && FieldEncoder(encoding).isValid();
}

FieldDecoder::FieldDecoder(CsvEncoding encoding)
    : m_encoding(encoding)
    , m_decoder(fieldDecoder(encoding)) {}

std::optional<QString> FieldDecoder::decode(const QByteArray& field) {
    QString text = m_decoder.decode(field);
    if (!m_decoder.hasError())
        return text;
    // The converter keeps its error for good; a new one serves the next field.
    m_decoder = fieldDecoder(m_encoding);
    return std::nullopt;
}

FieldEncoder::FieldEncoder(CsvEncoding encoding)
    : m_encoder(encoding == CsvEncoding::Utf8 ? QStringEncoder(QStringConverter::Utf8, FieldFlags)
                                              : QStringEncoder("GB18030", FieldFlags)) {}
