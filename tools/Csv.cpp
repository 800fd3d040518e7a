#include "tools/Csv.h"

#include <QIODevice>
#include <QStringDecoder>

namespace {

constexpr qint64 kBlockSize = 1 << 16;
constexpr int kEnd = -1;

} // namespace

CsvReader::CsvReader(QIODevice& device)
    : m_device(device) {}

bool CsvReader::fill() {
    if (m_pos < m_buffer.size())
        return true;
    m_buffer = m_device.read(kBlockSize);
    m_pos = 0;
    return !m_buffer.isEmpty();
}

int CsvReader::peek() {
    if (!fill())
        return kEnd;
    return static_cast<unsigned char>(m_buffer[m_pos]);
}

int CsvReader::take() {
    const int c = peek();
    if (c != kEnd)
        ++m_pos;
    return c;
}

bool CsvReader::next(QList<QByteArray>& fields) {
    fields.clear();
    if (m_atStart) {
        m_atStart = false;
        if (peek() == 0xEF) {
            const QByteArray bom("\xEF\xBB\xBF");
            QByteArray head;
            while (head.size() < 3 && peek() == static_cast<unsigned char>(bom[head.size()]))
                head.append(static_cast<char>(take()));
            if (head != bom) { // not a BOM after all: the bytes belong to the first field
                m_buffer.insert(m_pos, head);
            }
        }
    }

    // Pass over blank lines between records.
    for (;;) {
        const int c = peek();
        if (c == '\n') {
            take();
            ++m_line;
        } else if (c == '\r') {
            take();
            if (peek() == '\n')
                take();
            ++m_line;
        } else {
            break;
        }
    }
    if (peek() == kEnd)
        return false;

    m_recordLine = m_line;
    QByteArray field;
    for (;;) {
        int c = take();
        if (c == '"') {
            if (!field.isEmpty())
                throw CsvError(m_line, QStringLiteral("未加引号的字段中出现了引号"));
            // A quoted field: runs to the closing quote; a doubled quote stands for one.
            for (;;) {
                c = take();
                if (c == kEnd)
                    throw CsvError(m_recordLine, QStringLiteral("引号没有闭合"));
                if (c == '"') {
                    if (peek() == '"') {
                        field.append(static_cast<char>(take()));
                        continue;
                    }
                    break;
                }
                if (c == '\n' || (c == '\r' && peek() != '\n'))
                    ++m_line;
                field.append(static_cast<char>(c));
            }
            c = take();
            if (c != ',' && c != '\r' && c != '\n' && c != kEnd)
                throw CsvError(m_line, QStringLiteral("右引号后面出现了多余的字符"));
        } else {
            while (c != ',' && c != '\r' && c != '\n' && c != kEnd) {
                if (c == '"')
                    throw CsvError(m_line, QStringLiteral("未加引号的字段中出现了引号"));
                field.append(static_cast<char>(c));
                c = take();
            }
        }
        fields.append(field);
        field.clear();
        if (c == ',')
            continue;
        if (c == '\r' && peek() == '\n')
            take();
        if (c != kEnd)
            ++m_line;
        return true;
    }
}

QByteArray csvField(const QByteArray& utf8) {
    if (!utf8.contains(',') && !utf8.contains('"') && !utf8.contains('\r') && !utf8.contains('\n'))
        return utf8;
    QByteArray field = utf8;
    field.replace('"', "\"\"");
    return '"' + field + '"';
}

bool decodeUtf8(const QByteArray& bytes, QString& text) {
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    text = decoder.decode(bytes);
    return !decoder.hasError();
}
