#include "exchange/CsvTable.h"

#include <QIODevice>
#include <QSet>

#include <algorithm>

CsvTableReader::CsvTableReader(QIODevice& csv, CsvEncoding encoding, const CsvColumns& columns)
    : m_reader(csv)
    , m_encoding(encoding)
    , m_decoder(encoding) {
    readHeader(columns);
}

bool CsvTableReader::next(QStringList& texts) {
    do {
        if (!m_reader.next(m_fields))
            return false;
    } while (passedOverAsEmpty());
    checkFieldCount();
    texts.clear();
    for (qsizetype i = 0; i < m_names.size(); ++i)
        texts.append(decoded(m_fields[i], QString()));
    return true;
}

// Spreadsheet programs write a row of empty cells as a row of empty fields; it holds nothing.
bool CsvTableReader::passedOverAsEmpty() {
    if (!std::all_of(m_fields.cbegin(), m_fields.cend(), [](const QByteArray& field) { return field.isEmpty(); }))
        return false;
    ++m_emptyRows;
    return true;
}

// Fields under the header's empty end cells may be there, but only empty.
void CsvTableReader::checkFieldCount() const {
    const qsizetype count = m_fields.size();
    const qsizetype named = m_names.size();
    if (count < named || count > m_cellCount)
        throw CsvError(
            m_reader.recordLine(),
            QStringLiteral("有 %1 个字段，表头有 %2 个").arg(count).arg(count < named ? named : m_cellCount));
    for (qsizetype i = named; i < count; ++i) {
        if (!m_fields[i].isEmpty())
            throw CsvError(m_reader.recordLine(),
                           QStringLiteral("第 %1 个字段不是空的，但表头中这一列是空的").arg(i + 1));
    }
}

// what names the part of the text in the complaint ("表头"), or is empty for a row.
QString CsvTableReader::decoded(const QByteArray& field, const QString& what) {
    std::optional<QString> text = m_decoder.decode(field);
    if (text)
        return *std::move(text);
    const QString message = what + QStringLiteral("不是有效的 %1 文本").arg(encodingName(m_encoding));
    if (m_encoding == CsvEncoding::Utf8)
        throw NotUtf8Error(m_reader.recordLine(), message);
    throw CsvError(m_reader.recordLine(), message);
}

void CsvTableReader::readHeader(const CsvColumns& columns) {
    if (!m_reader.next(m_fields))
        throw CsvError(1, QStringLiteral("文件是空的，缺少表头"));
    m_cellCount = m_fields.size();
    for (const QByteArray& field : std::as_const(m_fields))
        m_names.append(decoded(field, QStringLiteral("表头")).trimmed());
    while (!m_names.isEmpty() && m_names.constLast().isEmpty())
        m_names.removeLast();
    const qint64 line = m_reader.recordLine();
    QSet<QString> seen;
    for (qsizetype i = 0; i < m_names.size(); ++i) {
        const QString& name = m_names[i];
        if (name.isEmpty())
            throw CsvError(line, QStringLiteral("表头的第 %1 列是空的").arg(i + 1));
        if (!columns.accepted.contains(name))
            throw CsvError(
                line,
                QStringLiteral("未知的列：“%1”；可用的列：%2").arg(name, columns.offered.join(QStringLiteral("、"))));
        if (seen.contains(name))
            throw CsvError(line, QStringLiteral("列“%1”出现了两次").arg(name));
        seen.insert(name);
    }
    for (const QString& name : columns.required) {
        if (!seen.contains(name))
            throw CsvError(line, QStringLiteral("表头中缺少“%1”列").arg(name));
    }
}

namespace {

// Whether every field of the text decodes as GB18030.
bool readsAsGb18030(QIODevice& csv) {
    CsvReader reader(csv);
    FieldDecoder decoder(CsvEncoding::Gb18030);
    QList<QByteArray> fields;
    try {
        while (reader.next(fields)) {
            for (const QByteArray& field : std::as_const(fields)) {
                if (!decoder.decode(field))
                    return false;
            }
        }
    } catch (const CsvError&) {
        return false;
    }
    return true;
}

} // namespace

void throwIfGb18030(QIODevice& text, qint64 start, const NotUtf8Error& error) {
    text.seek(start);
    if (!readsAsGb18030(text))
        return;
    throw Gb18030TextError(error.line(),
                           error.message() + QStringLiteral("；整个文件是有效的 GB18030（GBK）文本，中文 Windows "
                                                            "上的 Excel、WPS 保存的 CSV 就是这种编码"));
}
