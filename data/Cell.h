#pragma once

#include <QMetaType>
#include <QString>
#include <QtGlobal>

#include <optional>
#include <variant>

// An untyped value as read from a database column or held in a window variable:
// Empty (never written), Null, Text or Number. As text, Empty and Null read as "";
// in arithmetic, Empty and Null read as 0.
class Cell {
public:
    enum class Kind { Empty, Null, Text, Number };

    Cell() = default;
    Cell(QString text) // NOLINT(google-explicit-constructor): cells take text as freely as variants do
        : m_value(std::move(text)) {}
    Cell(const char16_t* text)
        : m_value(QString::fromUtf16(text)) {}
    Cell(qint64 number)
        : m_value(number) {}
    Cell(int number)
        : m_value(static_cast<qint64>(number)) {}
    Cell(double number)
        : m_value(number) {}
    static Cell null();

    Kind kind() const;
    bool isEmpty() const { return kind() == Kind::Empty; }
    bool isNull() const { return kind() == Kind::Null; }

    QString toText() const;
    double toNumber() const;
    // The whole number the cell holds, exactly (keys go above 2^53, where a double loses
    // digits); nothing for text, Null, Empty and fractions.
    std::optional<qint64> integer() const;

    bool operator==(const Cell& other) const = default;

private:
    struct NullValue {
        bool operator==(const NullValue&) const = default;
    };
    std::variant<std::monostate, NullValue, QString, qint64, double> m_value;
};

QDebug operator<<(QDebug debug, const Cell& cell);
Q_DECLARE_METATYPE(Cell)
