#pragma once

#include <QByteArray>
#include <QHash>
#include <QIODevice>
#include <QList>
#include <QRawFont>
#include <QStringView>

#include <vector>

class QGlyphRun;

// Qt's PDF writer tells a reader which character each glyph stands for (the fonts' ToUnicode
// maps) only for the basic plane: an ideograph beyond it (𠀀, 𬭩) is drawn, but a reader's text
// loses it. These two put the maps right: TextRecord notes the glyphs in the order the writer
// numbers them in each embedded font, and PdfTee, between the writer and the file, finds the
// fonts' maps and appends better ones as an incremental update, which every reader applies.

class TextRecord {
public:
    // Every character drawn is in text (the glyph runs below are made from it).
    void addText(QStringView text);
    // A run as it goes to the painter, in the order it goes.
    void addRun(const QGlyphRun& run);
    // The ToUnicode map for the font of that PostScript name, or nothing when no run was in it.
    QByteArray toUnicodeMap(const QByteArray& postscriptName) const;

private:
    struct Face {
        QRawFont font;
        QByteArray postscriptName;
        QList<quint32> glyphs{0}; // in the writer's numbering: the empty glyph, then by first use
        QHash<quint32, int> numbered{{0, 0}};
    };
    Face& faceOf(const QRawFont& font);

    QList<Face> m_faces;                      // the writer keeps one set of glyphs for a face in any size or weight
    QList<QPair<QRawFont, qsizetype>> m_seen; // each font a run came in, and its face
    std::vector<bool> m_characters = std::vector<bool>(0x110000);
};

class PdfTee : public QIODevice {
public:
    explicit PdfTee(QIODevice& target);
    // After the writer has ended: appends the maps of record for the fonts found. False when
    // the file would not take them, or the writer's ending was not seen.
    bool appendMaps(const TextRecord& record);

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    struct FontMap {
        QByteArray postscriptName;
        QByteArray object; // the number of its ToUnicode stream
    };

    QIODevice& m_target;
    qint64 m_written = 0;
    QByteArray m_tail;    // the last bytes written, where the trailer will be
    qint64 m_scanned = 0; // how far the fonts were looked for
    QList<FontMap> m_fonts;
};
