#pragma once

#include <QString>

// The SQL texts the windows send, exactly as the drug file's users have always sent them
// (the missing blank in "*from" and the double blank before "where" included).

inline const QString FullTableQuery = QStringLiteral("select *from 西药");

// Drugs whose initials hold the letters as one run, in any case. Letters other than a to z
// are refused with DatabaseError before any text is built.
QString keypadQuery(const QString& letters);

// The one drug with the given key.
QString keyQuery(qint64 key);

// The find window's searches: drugs whose Chinese or English name, or also whose leaflet, holds
// the text bound as parameter 1 (made by likePattern). Latin letters match in any case.
inline const QString FindInNamesQuery =
    QStringLiteral("SELECT * FROM 西药 WHERE 中文名 LIKE ?1 ESCAPE '\\' OR 英文名 LIKE ?1 ESCAPE '\\'");
inline const QString FindInNamesAndLeafletsQuery =
    FindInNamesQuery + QStringLiteral(" OR 药物说明书 LIKE ?1 ESCAPE '\\'");

// The LIKE pattern that matches text anywhere, its %, _ and \ standing for themselves.
QString likePattern(const QString& text);
