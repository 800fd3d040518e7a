#include "platform/QtLeafletPaper.h"

#include "platform/LeafletPages.h"

#include <QPainter>

bool QtLeafletPaper::writePdf(const QList<PaperLeaflet>& drugs, const QString& path) {
    return writeLeafletPdf(drugs, path, m_error);
}

bool QtLeafletPaper::print(const QList<PaperLeaflet>& drugs) {
    const QDate today = QDate::currentDate();
    const bool sent = m_printer.printDocument([&](QPagedPaintDevice& device, QPainter& painter) {
        return LeafletPages(device, painter, today).paint(drugs);
    });
    m_error = sent ? QString() : m_printer.errorText();
    return sent;
}
