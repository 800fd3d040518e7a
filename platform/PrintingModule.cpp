// The printing module (xiyao-printing.so), loaded by LazyLeafletPrinter at the first print.

#include "platform/LazyLeafletPrinter.h"
#include "platform/QtLeafletPrinter.h"

extern "C" Q_DECL_EXPORT LeafletPrinter* xiyao_make_leaflet_printer() {
    return new QtLeafletPrinter;
}
