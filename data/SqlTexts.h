#pragma once

#include <QString>

// The SQL texts the windows send, exactly as the drug file's users have always sent them
// (the missing blank in "*from" and the double blank before "where" included).

inline const QString FullTableQuery = QStringLiteral("select *from 西药");

// Drugs whose initials hold the letters as one run, in any case. Letters other than a to z
// are refused with DatabaseError before any text is built.
QString keypadQuery(const QString& letters);

// The one drug with the given key. A key that is not a decimal 64-bit integer is refused with
// DatabaseError before any text is built.
QString keyQuery(const QString& key);
