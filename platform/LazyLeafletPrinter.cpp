#include "platform/LazyLeafletPrinter.h"

#include <QCoreApplication>
#include <QDir>

LazyLeafletPrinter::LazyLeafletPrinter(const QString& modulePath)
    : m_modulePath(modulePath) {}

// The module stays loaded: the printer's code must outlive the printer.
LazyLeafletPrinter::~LazyLeafletPrinter() = default;

QFunctionPointer resolveInPrintingModule(QLibrary& module, const QString& modulePath, const char* symbol,
                                         QString& error) {
    const QString path =
        modulePath.isEmpty() ? QDir(QCoreApplication::applicationDirPath()).filePath(PrintingModuleName) : modulePath;
    module.setFileName(path);
    const QFunctionPointer found = module.load() ? module.resolve(symbol) : nullptr;
    if (!found)
        error = QStringLiteral("无法载入打印模块 %1：\n%2").arg(QDir::toNativeSeparators(path), module.errorString());
    return found;
}

bool LazyLeafletPrinter::load() {
    using Factory = LeafletPrinter* (*)();
    const auto make =
        reinterpret_cast<Factory>(resolveInPrintingModule(m_module, m_modulePath, PrintingModuleFactory, m_error));
    if (!make)
        return false;
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
