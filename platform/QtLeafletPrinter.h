#pragma once

#include "platform/Seams.h"

#include <QFont>

#include <memory>

class QPainter;
class QPrinter;

// Prints leaflet lines on the default printer with its own page settings, in the Song face
// at 12 points (the printer's default face has no Chinese). One indent position is one
// blank of the font's average character width.
class QtLeafletPrinter : public LeafletPrinter {
public:
    QtLeafletPrinter();
    ~QtLeafletPrinter() override;

    bool printLine(int indent, const QString& text) override;
    bool endDocument() override;
    QString errorText() const override { return m_error; }

private:
    bool begin();
    void drawOneLine(int indent, const QString& line);
    void reset();

    std::unique_ptr<QPrinter> m_printer;
    std::unique_ptr<QPainter> m_painter;
    QFont m_font;
    double m_y = 0;
    bool m_failed = false;
    bool m_lastEndedWithCarriageReturn = false;
    QString m_error;
};
