#pragma once

#include "exchange/Csv.h"

#include <QStringList>

class QIODevice;

// A text that is not UTF-8 but is GB18030 throughout; its message says so, and the caller
// names its way of reading GB18030.
class Gb18030TextError : public CsvError {
public:
    using CsvError::CsvError;
};

// A field that is not UTF-8: the text may be GB18030 throughout (throwIfGb18030).
class NotUtf8Error : public CsvError {
public:
    using CsvError::CsvError;
};

// The columns a CSV table may have. The header names them in any order, each once.
struct CsvColumns {
    QStringList accepted; // what a header may name
    QStringList required; // what it must name
    QStringList offered;  // what the complaint about an unknown column lists
};

// The rows of a CSV text with a header, decoded. Spreadsheet programs leave empty cells after
// the header's last name, empty fields under them, and rows of empty cells; all are passed over.
class CsvTableReader {
public:
    // Reads the header; throws CsvError (NotUtf8Error for a UTF-8 text that is not).
    CsvTableReader(QIODevice& csv, CsvEncoding encoding, const CsvColumns& columns);

    // The header's names up to its last named one; a row's texts stand in this order.
    const QStringList& names() const { return m_names; }
    // The line on which the row last returned by next() begins.
    qint64 recordLine() const { return m_reader.recordLine(); }
    // The rows without any text passed over so far, blank lines included.
    qint64 emptyRows() const { return m_emptyRows + m_reader.blankLines(); }

    // The next row's fields as text, one under each of names(); false after the last. Throws
    // CsvError for a row that does not fit the header or is not text in the encoding.
    bool next(QStringList& texts);

private:
    bool passedOverAsEmpty();
    void checkFieldCount() const;
    QString decoded(const QByteArray& field, const QString& what);
    void readHeader(const CsvColumns& columns);

    CsvReader m_reader;
    const CsvEncoding m_encoding;
    FieldDecoder m_decoder;
    QList<QByteArray> m_fields;
    qint64 m_emptyRows = 0;
    QStringList m_names;
    // The header's cells, the empty ones at its end included.
    qsizetype m_cellCount = 0;
};

// Called with the NotUtf8Error that reading text from start threw: when the whole text reads as
// GB18030, what spreadsheet programs on Chinese Windows save, throws Gb18030TextError, whose
// message says so; otherwise returns, and the caller throws the error on.
void throwIfGb18030(QIODevice& text, qint64 start, const NotUtf8Error& error);
