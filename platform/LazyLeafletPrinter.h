#pragma once

#include "platform/Seams.h"

#include <QLibrary>

#include <memory>

// The printing module beside the program: the real printer (Qt Print Support and CUPS, with
// the libraries CUPS loads) is built into it, so that a start-up does not load them.
inline const QString PrintingModuleName = QStringLiteral("xiyao-printing.so");
// What the module exports: a new printer, owned by the caller.
inline constexpr char PrintingModuleFactory[] = "xiyao_make_leaflet_printer";

// Loads the printing module at modulePath (by default the one in the program's folder) into
// module and finds symbol in it; null with the reason, in Chinese, in error.
QFunctionPointer resolveInPrintingModule(QLibrary& module, const QString& modulePath, const char* symbol,
                                         QString& error);

// The default printer, loaded from the printing module at the first line printed. A document
// with no line loads nothing.
class LazyLeafletPrinter : public LeafletPrinter {
public:
    // modulePath: the printing module; by default the one in the program's folder.
    explicit LazyLeafletPrinter(const QString& modulePath = QString());
    ~LazyLeafletPrinter() override;

    bool printLine(int indent, const QString& text) override;
    bool endDocument() override;
    QString errorText() const override;

private:
    bool load();

    QString m_modulePath;
    QLibrary m_module;
    std::unique_ptr<LeafletPrinter> m_printer;
    bool m_loadFailed = false;
    QString m_error;
};
