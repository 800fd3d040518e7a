#include "platform/QtLeafletPrinter.h"

#include "platform/Fonts.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

QtLeafletPrinter::QtLeafletPrinter()
    : m_font(SongFont(12)) {}

QtLeafletPrinter::~QtLeafletPrinter() {
    reset();
}

void QtLeafletPrinter::reset() {
    if (m_painter && m_painter->isActive())
        m_painter->end();
    m_painter.reset();
    m_printer.reset();
    m_y = 0;
    m_failed = false;
    m_lastEndedWithCarriageReturn = false;
}

bool QtLeafletPrinter::begin() {
    if (m_painter)
        return true;
    const QPrinterInfo defaultPrinter = QPrinterInfo::defaultPrinter();
    if (defaultPrinter.isNull()) {
        m_error = QStringLiteral("没有可用的打印机，请先在系统中添加并设置默认打印机。");
        m_failed = true;
        return false;
    }
    m_printer = std::make_unique<QPrinter>(defaultPrinter, QPrinter::HighResolution);
    m_printer->setDocName(QStringLiteral("药物说明书"));
    m_painter = std::make_unique<QPainter>();
    if (!m_painter->begin(m_printer.get())) {
        m_error = QStringLiteral("打印机“%1”无法开始打印。").arg(defaultPrinter.printerName());
        m_failed = true;
        return false;
    }
    m_painter->setFont(m_font);
    m_y = 0;
    return true;
}

void QtLeafletPrinter::drawOneLine(int indent, const QString& line) {
    const QFontMetricsF metrics(m_painter->font(), m_printer.get());
    const QRectF page = m_printer->pageLayout().paintRectPixels(m_printer->resolution());
    if (m_y + metrics.height() > page.height() && m_y > 0) {
        m_printer->newPage();
        m_y = 0;
    }
    const double x = indent * metrics.averageCharWidth();
    m_painter->drawText(QPointF(x, m_y + metrics.ascent()), line);
    m_y += metrics.lineSpacing();
}

bool QtLeafletPrinter::printLine(int indent, const QString& text) {
    if (m_failed || !begin())
        return false;
    QString piece = text;
    // A piece that starts with the LF of a CR LF cut between two pieces: the CR already broke the line.
    if (m_lastEndedWithCarriageReturn && piece.startsWith(u'\n'))
        piece.remove(0, 1);
    m_lastEndedWithCarriageReturn = piece.endsWith(u'\r');
    if (m_lastEndedWithCarriageReturn)
        piece.chop(1);
    piece.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    piece.replace(u'\r', u'\n');
    const QStringList lines = piece.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i)
        drawOneLine(i == 0 ? indent : 0, lines[i]);
    return true;
}

bool QtLeafletPrinter::endDocument() {
    const bool failed = m_failed;
    bool sent = true;
    if (m_painter && m_painter->isActive())
        sent = m_painter->end();
    if (!sent)
        m_error = QStringLiteral("打印失败：打印机没有接受这份文档。");
    reset();
    return !failed && sent;
}
