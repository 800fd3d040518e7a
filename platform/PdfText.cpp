#include "platform/PdfText.h"

#include <QGlyphRun>
#include <QRegularExpression>
#include <QtEndian>

#include <algorithm>

namespace {

// What the writer writes of each font: its dictionary, and last its trailer, in fewer bytes.
constexpr qsizetype TailLength = 4096;

// The font's PostScript name (its name record 6), by which the writer names it in the file.
QByteArray postscriptNameOf(const QRawFont& font) {
    const QByteArray table = font.fontTable("name");
    const auto u16 = [&table](qsizetype at) {
        return at + 2 <= table.size() ? qFromBigEndian<quint16>(table.constData() + at) : quint16(0);
    };
    const int count = u16(2);
    const int strings = u16(4);
    for (int i = 0; i < count; ++i) {
        const qsizetype record = 6 + qsizetype(i) * 12;
        const int platform = u16(record);
        if (u16(record + 6) != 6)
            continue;
        const QByteArray bytes = table.mid(strings + u16(record + 10), u16(record + 8));
        if (platform == 1)
            return bytes;
        if (platform == 3 || platform == 0) {
            QByteArray name;
            for (qsizetype at = 1; at < bytes.size(); at += 2)
                name += bytes[at];
            return name;
        }
    }
    return {};
}

QByteArray hex16(char16_t unit) {
    return QByteArray::number(unit, 16).rightJustified(4, '0').toUpper();
}

} // namespace

void TextRecord::addText(QStringView text) {
    for (const char32_t c : text.toUcs4())
        m_characters[c < 0x110000 ? c : 0] = true;
}

TextRecord::Face& TextRecord::faceOf(const QRawFont& font) {
    for (const auto& [seen, face] : std::as_const(m_seen)) {
        if (seen == font)
            return m_faces[face];
    }
    const QByteArray name = postscriptNameOf(font);
    qsizetype face = 0;
    while (face < m_faces.size() && m_faces[face].postscriptName != name)
        ++face;
    if (face == m_faces.size())
        m_faces.append(Face{font, name});
    m_seen.append({font, face});
    return m_faces[face];
}

void TextRecord::addRun(const QGlyphRun& run) {
    Face& face = faceOf(run.rawFont());
    for (const quint32 glyph : run.glyphIndexes()) {
        if (!face.numbered.contains(glyph)) {
            face.numbered.insert(glyph, int(face.glyphs.size()));
            face.glyphs.append(glyph);
        }
    }
}

QByteArray TextRecord::toUnicodeMap(const QByteArray& postscriptName) const {
    const Face* face = nullptr;
    for (const Face& candidate : m_faces) {
        if (candidate.postscriptName == postscriptName)
            face = &candidate;
    }
    if (!face)
        return {};
    // Each glyph's character: the first drawn character the font gives that glyph.
    QHash<quint32, char32_t> characterOf;
    for (char32_t c = 1; c < m_characters.size(); ++c) {
        if (!m_characters[c])
            continue;
        const QList<quint32> glyphs = face->font.glyphIndexesForString(QString::fromUcs4(&c, 1));
        if (glyphs.size() == 1 && glyphs[0] != 0 && !characterOf.contains(glyphs[0]))
            characterOf.insert(glyphs[0], c);
    }
    QList<QByteArray> entries;
    for (qsizetype cid = 1; cid < face->glyphs.size(); ++cid) {
        const auto found = characterOf.constFind(face->glyphs[cid]);
        if (found == characterOf.constEnd())
            continue;
        QByteArray units;
        for (const QChar unit : QString::fromUcs4(&*found, 1))
            units += hex16(unit.unicode());
        entries.append('<' + hex16(char16_t(cid)) + "> <" + units + '>');
    }
    QByteArray map = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                     "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                     "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                     "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    for (qsizetype at = 0; at < entries.size(); at += 100) {
        const QList<QByteArray> block = entries.mid(at, 100);
        map += QByteArray::number(block.size()) + " beginbfchar\n" + block.join('\n') + "\nendbfchar\n";
    }
    map += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    return map;
}

PdfTee::PdfTee(QIODevice& target)
    : m_target(target) {
    open(QIODevice::WriteOnly);
}

qint64 PdfTee::writeData(const char* data, qint64 size) {
    if (m_target.write(data, size) != size)
        return -1;
    m_written += size;
    const qint64 kept = std::min<qint64>(size, TailLength);
    m_tail.append(data + size - kept, kept);
    // A font's dictionary is looked for once it is whole: the bytes after the last one found.
    if (m_tail.contains("/ToUnicode")) {
        static const QRegularExpression font(
            QStringLiteral(R"(/Subtype /Type0\s*/BaseFont /([^\s/]+)[^>]*?/ToUnicode (\d+) 0 R)"));
        const QString tail = QString::fromLatin1(m_tail);
        const qint64 tailStart = m_written - m_tail.size();
        for (const QRegularExpressionMatch& match : font.globalMatch(tail)) {
            if (tailStart + match.capturedEnd() <= m_scanned)
                continue;
            m_fonts.append({match.captured(1).toLatin1(), match.captured(2).toLatin1()});
            m_scanned = tailStart + match.capturedEnd();
        }
    }
    if (m_tail.size() > TailLength)
        m_tail.remove(0, m_tail.size() - TailLength);
    return size;
}

bool PdfTee::appendMaps(const TextRecord& record) {
    static const QRegularExpression trailer(QStringLiteral(R"(trailer\s*<<(.*?)>>\s*startxref\s*(\d+))"),
                                            QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch found = trailer.match(QString::fromLatin1(m_tail));
    if (!found.hasMatch())
        return false;
    QByteArray update;
    QByteArray entries;
    for (const FontMap& font : m_fonts) {
        const QByteArray map = record.toUnicodeMap(font.postscriptName);
        if (map.isEmpty())
            continue;
        entries += font.object + " 1\n" + QByteArray::number(m_written + update.size()).rightJustified(10, '0') +
                   " 00000 n \n";
        update += font.object + " 0 obj\n<< /Length " + QByteArray::number(map.size()) + " >>\nstream\n" + map +
                  "endstream\nendobj\n";
    }
    if (entries.isEmpty())
        return true;
    if (!isOpen())
        open(QIODevice::WriteOnly); // the writer closes the device it ends on
    // The old trailer's entries (its size, root and information), and where its table is.
    const qint64 table = m_written + update.size();
    update += "xref\n" + entries + "trailer\n<<" + found.captured(1).toLatin1() + "/Prev " +
              found.captured(2).toLatin1() + "\n>>\nstartxref\n" + QByteArray::number(table) + "\n%%EOF\n";
    return write(update) == update.size();
}
