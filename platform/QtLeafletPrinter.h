#pragma once

#include "platform/Seams.h"

#include <QFont>

#include <functional>
#include <memory>

class QPagedPaintDevice;
class QPainter;
class QPrinter;
class QTemporaryFile;
struct cups_dest_s;

// Prints leaflet lines on the default printer with its own page settings, in the Song face
// at 12 points (the printer's default face has no Chinese). One indent position is one
// blank of the font's average character width.
//
// The lines are drawn into a PDF that is then handed to CUPS as one job, so that a queue
// that refuses the job, or holds it because the printer is paused, is told to the user.
class QtLeafletPrinter : public LeafletPrinter {
public:
    QtLeafletPrinter();
    ~QtLeafletPrinter() override;

    bool printLine(int indent, const QString& text) override;
    bool endDocument() override;
    QString errorText() const override { return m_error; }

    // A whole document of pages that paint draws (false when it could not), as one job.
    bool printDocument(const std::function<bool(QPagedPaintDevice&, QPainter&)>& paint);

private:
    struct DestinationDeleter {
        void operator()(cups_dest_s* destination) const;
    };

    bool begin();
    bool fail(const QString& why);
    void drawOneLine(int indent, const QString& line);
    bool submit();
    void reset();

    std::unique_ptr<cups_dest_s, DestinationDeleter> m_destination;
    QString m_printerName;
    std::unique_ptr<QTemporaryFile> m_file;
    std::unique_ptr<QPrinter> m_printer;
    std::unique_ptr<QPainter> m_painter;
    QFont m_font;
    double m_y = 0;
    bool m_failed = false;
    bool m_lastEndedWithCarriageReturn = false;
    QString m_error;
};
