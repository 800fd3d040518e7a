#pragma once

#include "platform/QtLeafletPrinter.h"
#include "platform/Seams.h"

// The leaflets' pages (LeafletPages) in a PDF file, or on the default printer through CUPS as
// QtLeafletPrinter sends its jobs.
class QtLeafletPaper : public LeafletPaper {
public:
    bool writePdf(const QList<PaperLeaflet>& drugs, const QString& path) override;
    bool print(const QList<PaperLeaflet>& drugs) override;
    QString errorText() const override { return m_error; }

private:
    QtLeafletPrinter m_printer;
    QString m_error;
};
