#pragma once

#include <QString>

#include <exception>

// A failed database step. The message is the engine's own text where the engine failed,
// or a Chinese sentence where this layer refused the request before reaching the engine.
class DatabaseError : public std::exception {
public:
    explicit DatabaseError(QString message)
        : m_message(std::move(message))
        , m_utf8(m_message.toUtf8()) {}
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};
