#include "platform/QtLeafletPrinter.h"

#include "platform/Fonts.h"
#include "platform/LineBreaks.h"

#include <QDir>
#include <QFile>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryFile>

#include <cups/cups.h>

#include <iterator>

namespace {

const char* const JobTitle = "药物说明书";

// Why a printer that took a job will not print it now, as CUPS says it: the printer's own
// message, else its state reasons (paused alone says nothing the sentence does not).
struct PrinterState {
    int state = 0;
    QString why;
};

PrinterState queryPrinterState(const cups_dest_t& destination) {
    PrinterState result;
    const char* uri = cupsGetOption("printer-uri-supported", destination.num_options, destination.options);
    if (!uri)
        return result;
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    static const char* const wanted[] = {"printer-state", "printer-state-message", "printer-state-reasons"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(std::size(wanted)), nullptr,
                  wanted);
    const std::unique_ptr<ipp_t, decltype(&ippDelete)> response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/"),
                                                                &ippDelete);
    if (!response)
        return result;
    if (ipp_attribute_t* state = ippFindAttribute(response.get(), "printer-state", IPP_TAG_ENUM))
        result.state = ippGetInteger(state, 0);
    if (ipp_attribute_t* message = ippFindAttribute(response.get(), "printer-state-message", IPP_TAG_TEXT))
        result.why = QString::fromUtf8(ippGetString(message, 0, nullptr)).trimmed();
    if (result.why.isEmpty()) {
        QStringList reasons;
        if (ipp_attribute_t* keywords = ippFindAttribute(response.get(), "printer-state-reasons", IPP_TAG_KEYWORD)) {
            for (int i = 0; i < ippGetCount(keywords); ++i) {
                const QString reason = QString::fromUtf8(ippGetString(keywords, i, nullptr));
                if (reason != QStringLiteral("none") && reason != QStringLiteral("paused"))
                    reasons.append(reason);
            }
        }
        result.why = reasons.join(QStringLiteral(", "));
    }
    return result;
}

} // namespace

void QtLeafletPrinter::DestinationDeleter::operator()(cups_dest_s* destination) const {
    cupsFreeDests(1, destination);
}

QtLeafletPrinter::QtLeafletPrinter()
    : m_font(songFont(12)) {}

QtLeafletPrinter::~QtLeafletPrinter() {
    reset();
}

void QtLeafletPrinter::reset() {
    if (m_painter && m_painter->isActive())
        m_painter->end();
    m_painter.reset();
    m_printer.reset();
    m_file.reset(); // removes the file
    m_destination.reset();
    m_printerName.clear();
    m_y = 0;
    m_failed = false;
    m_lastEndedWithCarriageReturn = false;
}

bool QtLeafletPrinter::fail(const QString& why) {
    m_error = why;
    m_failed = true;
    return false;
}

bool QtLeafletPrinter::begin() {
    if (m_painter)
        return true;
    // CUPS's own choice of default: LPDEST, the user's lpoptions, then the server's default.
    m_destination.reset(cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr));
    if (!m_destination)
        return fail(QStringLiteral("没有可用的打印机，请先在系统中添加并设置默认打印机。"));
    m_printerName = QString::fromUtf8(m_destination->name);

    m_file = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/xiyao-leaflet-XXXXXX.pdf"));
    if (!m_file->open())
        return fail(QStringLiteral("无法建立打印用的临时文件：%1").arg(m_file->errorString()));

    // The printer's own paper and margins, so the page looks as the printer would lay it out.
    QPageLayout layout;
    const QPrinterInfo info = QPrinterInfo::printerInfo(m_printerName);
    if (!info.isNull())
        layout = QPrinter(info, QPrinter::HighResolution).pageLayout();
    m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    m_printer->setOutputFormat(QPrinter::PdfFormat);
    m_printer->setOutputFileName(m_file->fileName());
    if (layout.isValid())
        m_printer->setPageLayout(layout);
    m_printer->setDocName(QString::fromUtf8(JobTitle));
    m_painter = std::make_unique<QPainter>();
    if (!m_painter->begin(m_printer.get()))
        return fail(QStringLiteral("打印机“%1”无法开始打印。").arg(m_printerName));
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
    const QStringList lines = toLineFeeds(piece, LoneCarriageReturn::BreaksLine).split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i)
        drawOneLine(i == 0 ? indent : 0, lines[i]);
    return true;
}

bool QtLeafletPrinter::submit() {
    // The user's own settings for this queue, as lp applies them, and the format we made.
    cups_option_t* options = nullptr;
    int count = 0;
    for (int i = 0; i < m_destination->num_options; ++i)
        count = cupsAddOption(m_destination->options[i].name, m_destination->options[i].value, count, &options);
    count = cupsAddOption("document-format", CUPS_FORMAT_PDF, count, &options);
    const int job =
        cupsPrintFile(m_destination->name, QFile::encodeName(m_file->fileName()).constData(), JobTitle, count, options);
    cupsFreeOptions(count, options);
    if (job == 0) {
        return fail(QStringLiteral("打印机“%1”没有接受这份说明书：%2")
                        .arg(m_printerName, QString::fromUtf8(cupsLastErrorString())));
    }
    // A paused printer takes the job and keeps it: nothing is lost, but nothing comes out either.
    const PrinterState state = queryPrinterState(*m_destination);
    if (state.state == IPP_PSTATE_STOPPED) {
        QString why =
            QStringLiteral("打印机“%1”已暂停，说明书已在它的队列中等候，打印机恢复后才会打印。").arg(m_printerName);
        if (!state.why.isEmpty())
            why += QStringLiteral("\n打印机的状态：%1").arg(state.why);
        return fail(why);
    }
    return true;
}

bool QtLeafletPrinter::endDocument() {
    bool sent = !m_failed;
    if (m_painter && m_painter->isActive()) {
        const bool written = m_painter->end();
        if (sent && !written)
            sent = fail(QStringLiteral("无法生成打印文件，说明书没有送到打印机“%1”。").arg(m_printerName));
        else if (sent)
            sent = submit();
    }
    reset(); // also removes the file
    return sent;
}

bool QtLeafletPrinter::printDocument(const std::function<bool(QPagedPaintDevice&, QPainter&)>& paint) {
    if (!m_failed && begin() && !paint(*m_printer, *m_painter))
        fail(QStringLiteral("无法排好打印的页面，说明书没有送到打印机“%1”。").arg(m_printerName));
    return endDocument();
}
