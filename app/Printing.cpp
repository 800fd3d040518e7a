// Printing the chosen drug's leaflet: the text as it stood at the last row click, cut into
// pieces of 32 and then 30 characters, one printed line each.

#include "app/Form19.h"
#include "app/Text.h"

#include <vector>

namespace {

constexpr qsizetype kPieceWidth = 30;
constexpr qsizetype kFirstPieceWidth = kPieceWidth + 2;
constexpr int kFirstIndent = 6;
constexpr int kLaterIndent = 9;

} // namespace

std::vector<LeafletLine> leafletLines(const QString& leaflet) {
    // Counted in characters, so a character outside the basic plane is never cut in two.
    const QList<uint> characters = trimSpaces(leaflet).toUcs4();
    const auto piece = [&characters](qsizetype from, qsizetype length) {
        const qsizetype count = std::min(length, characters.size() - from);
        return QString::fromUcs4(reinterpret_cast<const char32_t*>(characters.constData() + from), count);
    };
    std::vector<LeafletLine> lines;
    const qsizetype length = characters.size();
    if (length <= kPieceWidth) {
        lines.push_back({kFirstIndent, piece(0, length)});
        return lines;
    }
    qsizetype at = 0;
    for (qsizetype i = 1; i <= length / kPieceWidth; ++i) {
        const qsizetype width = i == 1 ? kFirstPieceWidth : kPieceWidth;
        const QString text = piece(at, width);
        lines.push_back({i == 1 ? kFirstIndent : kLaterIndent, text});
        at += std::min(width, length - at);
    }
    lines.push_back({kLaterIndent, piece(at, length - at)}); // also when nothing is left
    return lines;
}

void Form19::Image5_Click() {
    LeafletPrinter& printer = m_platform.printer;
    if (m_platform.dialogs.askYesNo(QStringLiteral("您真的要打印说明书吗？"))) {
        for (const LeafletLine& line : leafletLines(m_view.LeafletText)) {
            if (!printer.printLine(line.indent, line.text)) {
                const QString why = printer.errorText();
                printer.endDocument();
                m_platform.dialogs.inform(QStringLiteral("无法打印说明书：\n%1").arg(why));
                return;
            }
        }
    }
    // Whatever the answer: a document with no line makes no page.
    if (!printer.endDocument())
        m_platform.dialogs.inform(QStringLiteral("无法打印说明书：\n%1").arg(printer.errorText()));
}
