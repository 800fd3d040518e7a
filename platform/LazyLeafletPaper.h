#pragma once

#include "platform/Seams.h"

#include <QLibrary>

#include <memory>

// What the printing module exports for the leaflets' pages: a new LeafletPaper, owned by the caller.
inline constexpr char LeafletPaperFactory[] = "xiyao_make_leaflet_paper";

// The leaflets' pages from the printing module, loaded at the first export or print, as
// LazyLeafletPrinter loads it: the program's start-up loads nothing for them.
class LazyLeafletPaper : public LeafletPaper {
public:
    // modulePath: the printing module; by default the one in the program's folder.
    explicit LazyLeafletPaper(const QString& modulePath = QString());
    ~LazyLeafletPaper() override;

    bool writePdf(const QList<PaperLeaflet>& drugs, const QString& path) override;
    bool print(const QList<PaperLeaflet>& drugs) override;
    QString errorText() const override;

private:
    bool load();

    QString m_modulePath;
    QLibrary m_module;
    std::unique_ptr<LeafletPaper> m_paper;
    QString m_error;
};
