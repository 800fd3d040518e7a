#pragma once

#include <QString>

// What a carriage return without a line feed after it does. Labels and printed pages break
// the line there; a multi-line text box keeps it as a character of the text, as it was typed.
enum class LoneCarriageReturn { BreaksLine, KeptAsCharacter };

// The text with its line ends as the single LF at which Qt's widgets and painter break a
// line: CR LF is one line end, a lone LF is one, a lone CR as loneCr says.
inline QString toLineFeeds(const QString& text, LoneCarriageReturn loneCr) {
    QString result = text;
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (loneCr == LoneCarriageReturn::BreaksLine)
        result.replace(u'\r', u'\n');
    return result;
}
