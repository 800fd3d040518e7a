// The printing module (xiyao-printing.so), loaded by LazyLeafletPrinter at the first print and
// by LazyLeafletPaper at the first export or print of a leaflet's pages.

#include "platform/LazyLeafletPaper.h"
#include "platform/LazyLeafletPrinter.h"
#include "platform/QtLeafletPaper.h"
#include "platform/QtLeafletPrinter.h"

extern "C" Q_DECL_EXPORT LeafletPrinter* xiyao_make_leaflet_printer() {
    return new QtLeafletPrinter;
}

extern "C" Q_DECL_EXPORT LeafletPaper* xiyao_make_leaflet_paper() {
    return new QtLeafletPaper;
}
