#include "data/Cell.h"

#include <QDebug>

#include <cmath>

Cell Cell::null() {
    Cell cell;
    cell.m_value = NullValue{};
    return cell;
}

Cell::Kind Cell::kind() const {
    switch (m_value.index()) {
    case 0:
        return Kind::Empty;
    case 1:
        return Kind::Null;
    case 2:
        return Kind::Text;
    default:
        return Kind::Number;
    }
}

QString Cell::toText() const {
    if (const auto* text = std::get_if<QString>(&m_value))
        return *text;
    if (const auto* integer = std::get_if<qint64>(&m_value))
        return QString::number(*integer);
    if (const auto* real = std::get_if<double>(&m_value))
        return QString::number(*real, 'g', 15);
    return QString();
}

double Cell::toNumber() const {
    if (const auto* integer = std::get_if<qint64>(&m_value))
        return static_cast<double>(*integer);
    if (const auto* real = std::get_if<double>(&m_value))
        return *real;
    if (const auto* text = std::get_if<QString>(&m_value))
        return text->trimmed().toDouble();
    return 0.0;
}

std::optional<qint64> Cell::integer() const {
    if (const auto* integer = std::get_if<qint64>(&m_value))
        return *integer;
    if (const auto* real = std::get_if<double>(&m_value)) {
        // Only within the range where every double is a distinct whole number.
        constexpr double exactLimit = 9007199254740992.0; // 2^53
        if (std::trunc(*real) == *real && std::fabs(*real) <= exactLimit)
            return static_cast<qint64>(*real);
    }
    return std::nullopt;
}

QDebug operator<<(QDebug debug, const Cell& cell) {
    QDebugStateSaver saver(debug);
    switch (cell.kind()) {
    case Cell::Kind::Empty:
        debug.nospace() << "Cell(Empty)";
        break;
    case Cell::Kind::Null:
        debug.nospace() << "Cell(Null)";
        break;
    case Cell::Kind::Text:
        debug.nospace() << "Cell(" << cell.toText() << ")";
        break;
    case Cell::Kind::Number:
        debug.nospace() << "Cell(" << cell.toText() << ")";
        break;
    }
    return debug;
}
