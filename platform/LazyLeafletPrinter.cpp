#include "platform/LazyLeafletPrinter.h"

#include <QCoreApplication>
#include <QDir>

LazyLeafletPrinter::LazyLeafletPrinter(const QString& modulePath)
    : m_modulePath(modulePath) {}

// The module stays loaded: the printer's code must outlive the printer.
LazyLeafletPrinter::~LazyLeafletPrinter() = default;

bool LazyLeafletPrinter::load() {
    const QString path = m_modulePath.isEmpty()
                             ? QDir(QCoreApplication::applicationDirPath()).filePath(PrintingModuleName)
                             : m_modulePath;
    m_module.setFileName(path);
    using Factory = LeafletPrinter* (*)();
    const auto make = m_module.load() ? reinterpret_cast<Factory>(m_module.resolve(PrintingModuleFactory)) : nullptr;
    if (!make) {
        m_error =
            QStringLiteral("无法载入打印模块 %1：\n%2").arg(QDir::toNativeSeparators(path), m_module.errorString());
        return false;
    }
    m_printer.reset(make());
    return true;
}

bool LazyLeafletPrinter::printLine(int indent, const QString& text) {
    if (!m_printer && (m_loadFailed || !load())) {
        m_loadFailed = true;
        return false;
    }
    return m_printer->printLine(indent, text);
}

bool LazyLeafletPrinter::endDocument() {
    if (!m_printer) {
        // Nothing was begun; a module that would not load is tried again at the next print.
        const bool sent = !m_loadFailed;
        m_loadFailed = false;
        return sent;
    }
    return m_printer->endDocument();
}

QString LazyLeafletPrinter::errorText() const {
    return m_printer ? m_printer->errorText() : m_error;
}
