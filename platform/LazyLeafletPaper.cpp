#include "platform/LazyLeafletPaper.h"

#include "platform/LazyLeafletPrinter.h"

LazyLeafletPaper::LazyLeafletPaper(const QString& modulePath)
    : m_modulePath(modulePath) {}

// The module stays loaded: the paper's code must outlive it.
LazyLeafletPaper::~LazyLeafletPaper() = default;

bool LazyLeafletPaper::load() {
    if (m_paper)
        return true;
    using Factory = LeafletPaper* (*)();
    const auto make =
        reinterpret_cast<Factory>(resolveInPrintingModule(m_module, m_modulePath, LeafletPaperFactory, m_error));
    if (!make)
        return false; // tried again at the next call
    m_paper.reset(make());
    return true;
}

bool LazyLeafletPaper::writePdf(const QList<PaperLeaflet>& drugs, const QString& path) {
    return load() && m_paper->writePdf(drugs, path);
}

bool LazyLeafletPaper::print(const QList<PaperLeaflet>& drugs) {
    return load() && m_paper->print(drugs);
}

QString LazyLeafletPaper::errorText() const {
    return m_paper ? m_paper->errorText() : m_error;
}
