#pragma once

#include "platform/Seams.h"

#include <QDate>
#include <QFont>
#include <QRectF>
#include <QStringView>

class QPagedPaintDevice;
class QPainter;
class QTextLine;
class TextRecord;

// Lays leaflets out on the pages of a PDF writer or a printer, for the reading window's export
// and print and for xiyao-db's pdf alike. The text is the stored leaflet, every character but the
// line ends, which break the lines: the opening first, then each section's heading as written,
// in bold, on a line of its own and its text under it.
//
// Each paragraph is laid out on its own, a long one a piece at a time, and pages are broken
// line by line, so that a leaflet of megabytes takes memory for a page, not for the whole text.
class LeafletPages {
public:
    // painter is active on device; date goes into every page's footer. record, when given, is
    // told every glyph drawn.
    LeafletPages(QPagedPaintDevice& device, QPainter& painter, QDate date, TextRecord* record = nullptr);

    // Each drug from a new page. False when the device would not take a new page.
    bool paint(const QList<PaperLeaflet>& drugs);

private:
    void paintDrug(const PaperLeaflet& drug);
    // text's lines, each a paragraph; its line ends (CR LF, LF, a lone CR) break them.
    void paintLines(QStringView text, const QFont& font);
    void paintParagraph(QStringView text, const QFont& font);
    void drawLine(const QTextLine& line, QPointF at);
    void advance(double height);
    void startPage();
    void paintFooter();

    QPagedPaintDevice& m_device;
    QPainter& m_painter;
    QDate m_date;
    TextRecord* m_record;
    QFont m_titleFont;
    QFont m_textFont;
    QFont m_headingFont;
    QFont m_footerFont;
    QRectF m_area;    // where text goes on a page, above the footer
    double m_y = 0;   // where the next line goes on this page
    int m_page = 0;   // the pages begun so far
    qint64 m_key = 0; // the drug of the page
    bool m_failed = false;
};

// Writes the drugs' pages, dated today, into a PDF at path through a file beside it, so that
// path is then whole or as it was. False with the reason, in Chinese, in error.
bool writeLeafletPdf(const QList<PaperLeaflet>& drugs, const QString& path, QString& error);
