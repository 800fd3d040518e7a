#include "platform/LeafletPages.h"

#include "leaflet/LeafletSections.h"
#include "platform/Fonts.h"
#include "platform/PdfText.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextLayout>

namespace {

// A paragraph is laid out this many characters at a time, the last line carried over to the
// next piece, so that a paragraph of megabytes never becomes one layout.
constexpr qsizetype PieceLength = 2000;

// Where the line end at from ends, or from when there is none.
qsizetype afterLineEnd(QStringView text, qsizetype from) {
    if (from < text.size() && text[from] == u'\r')
        ++from;
    else if (from < text.size() && text[from] == u'\n')
        return from + 1;
    else
        return from;
    return from < text.size() && text[from] == u'\n' ? from + 1 : from;
}

} // namespace

LeafletPages::LeafletPages(QPagedPaintDevice& device, QPainter& painter, QDate date, TextRecord* record)
    : m_device(device)
    , m_painter(painter)
    , m_date(date)
    , m_record(record)
    // The Song face by its own name: xiyao-db has no substitution for 宋体. Characters it lacks
    // (beyond the basic plane) come from whichever installed face has them.
    , m_titleFont(installedSongFont(16, true))
    , m_textFont(installedSongFont(11, false))
    , m_headingFont(installedSongFont(11, true))
    , m_footerFont(installedSongFont(9, false)) {
    // The painter's origin is the paintable area's corner; width() and height() its size.
    const double footer = QFontMetricsF(m_footerFont, &device).lineSpacing() * 2;
    m_area = QRectF(0, 0, device.width(), device.height() - footer);
}

bool LeafletPages::paint(const QList<PaperLeaflet>& drugs) {
    for (const PaperLeaflet& drug : drugs) {
        m_key = drug.key;
        if (m_page > 0 && !m_device.newPage())
            return false;
        startPage();
        paintDrug(drug);
        if (m_failed)
            return false;
    }
    return true;
}

void LeafletPages::paintDrug(const PaperLeaflet& drug) {
    const QString title =
        drug.englishName.isEmpty() ? drug.chineseName : drug.chineseName + QStringLiteral("　") + drug.englishName;
    paintLines(title, m_titleFont);
    advance(QFontMetricsF(m_textFont, &m_device).lineSpacing());
    const QStringView text(drug.leaflet);
    const LeafletSections sections(text);
    for (const LeafletPart& part : sections.parts()) {
        qsizetype bodyBegin = part.bodyBegin;
        if (part.kind != SectionKind::Opening) {
            if (part.begin > 0)
                advance(QFontMetricsF(m_textFont, &m_device).lineSpacing() / 2);
            paintLines(text.sliced(part.begin, part.bodyBegin - part.begin), m_headingFont);
            // The heading's line is its own: the text under it starts on the next.
            bodyBegin = afterLineEnd(text, bodyBegin);
        }
        if (bodyBegin < part.end)
            paintLines(text.sliced(bodyBegin, part.end - bodyBegin), m_textFont);
    }
}

void LeafletPages::paintLines(QStringView text, const QFont& font) {
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != u'\n' && text[end] != u'\r')
            ++end;
        paintParagraph(text.sliced(start, end - start), font);
        start = afterLineEnd(text, end);
    }
}

void LeafletPages::paintParagraph(QStringView text, const QFont& font) {
    if (m_failed)
        return;
    if (text.isEmpty()) {
        advance(QFontMetricsF(font, &m_device).lineSpacing());
        return;
    }
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = std::min(text.size(), start + PieceLength);
        if (end < text.size() && QChar::isHighSurrogate(text[end - 1].unicode()))
            --end; // never a character cut in two
        const QStringView piece = text.sliced(start, end - start);
        QTextLayout layout(piece.toString(), font, &m_device);
        layout.setTextOption(option);
        layout.setCacheEnabled(true);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine())
            line.setLineWidth(m_area.width());
        layout.endLayout();
        int shown = layout.lineCount();
        // Not the end of the paragraph: its last line may go on with the next piece's text.
        if (end < text.size() && shown > 1)
            --shown;
        for (int i = 0; i < shown; ++i) {
            const QTextLine line = layout.lineAt(i);
            if (m_y + line.height() > m_area.bottom() && m_y > 0) {
                if (!m_device.newPage()) {
                    m_failed = true;
                    return;
                }
                startPage();
            }
            drawLine(line, QPointF(0, m_y - line.y()));
            m_y += line.height();
        }
        if (m_record)
            m_record->addText(
                piece.first(shown < layout.lineCount() ? layout.lineAt(shown).textStart() : piece.size()));
        start += shown < layout.lineCount() ? layout.lineAt(shown).textStart() : end - start;
    }
}

// Glyph run by glyph run, as the record notes them.
void LeafletPages::drawLine(const QTextLine& line, QPointF at) {
    for (const QGlyphRun& run : line.glyphRuns()) {
        m_painter.drawGlyphRun(at, run);
        if (m_record)
            m_record->addRun(run);
    }
}

void LeafletPages::advance(double height) {
    m_y += height;
    if (m_y > m_area.bottom() && !m_failed) {
        // Space at a page's end is not carried over to the next.
        if (!m_device.newPage()) {
            m_failed = true;
            return;
        }
        startPage();
    }
}

void LeafletPages::startPage() {
    ++m_page;
    m_y = 0;
    paintFooter();
}

void LeafletPages::paintFooter() {
    const QString where = QStringLiteral("编号 %1　　%2").arg(m_key).arg(m_date.toString(Qt::ISODate));
    const QString page = QStringLiteral("第 %1 页").arg(m_page);
    const double top = m_area.bottom() + QFontMetricsF(m_footerFont, &m_device).lineSpacing();
    for (const QString& text : {where, page}) {
        QTextLayout layout(text, m_footerFont, &m_device);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        layout.endLayout();
        if (m_record)
            m_record->addText(text);
        drawLine(line, QPointF(text == page ? m_area.width() - line.naturalTextWidth() : 0, top));
    }
}

bool writeLeafletPdf(const QList<PaperLeaflet>& drugs, const QString& path, QString& error) {
    const QString shown = QDir::toNativeSeparators(path);
    if (QFileInfo(path).isDir()) {
        error = QStringLiteral("“%1”是一个文件夹，不能写成 PDF 文件。请换一个文件名。").arg(shown);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("无法写入“%1”：%2").arg(shown, file.errorString());
        return false;
    }
    bool painted = false;
    TextRecord record;
    PdfTee tee(file);
    {
        QPdfWriter writer(&tee);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(20, 18, 20, 12), QPageLayout::Millimeter);
        writer.setResolution(300);
        writer.setCreator(ApplicationTitle);
        if (drugs.size() == 1)
            writer.setTitle(drugs[0].chineseName);
        QPainter painter;
        if (painter.begin(&writer)) {
            painted = LeafletPages(writer, painter, QDate::currentDate(), &record).paint(drugs);
            painted = painter.end() && painted;
        }
    }
    painted = painted && tee.appendMaps(record);
    // A full disk shows here: what was written did not all reach the file.
    if (!painted || file.error() != QFileDevice::NoError) {
        const QString why = file.error() != QFileDevice::NoError ? file.errorString() : QStringLiteral("无法生成页面");
        file.cancelWriting();
        error = QStringLiteral("无法写入“%1”：%2。文件没有写成。").arg(shown, why);
        return false;
    }
    if (!file.commit()) {
        error = QStringLiteral("无法写入“%1”：%2。文件没有写成。").arg(shown, file.errorString());
        return false;
    }
    return true;
}
