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

// Drugs whose Chinese or English name holds the text bound as parameter 1 (made by likePattern),
// Latin letters in any case: the name search as the engine alone runs it, the benchmarks' floor
// for the find window.
inline const QString FindInNamesQuery =
    QStringLiteral("SELECT * FROM 西药 WHERE 中文名 LIKE ?1 ESCAPE '\\' OR 英文名 LIKE ?1 ESCAPE '\\'");

// The find window's searches. The function FindRankFunction (defined on the connection by
// the window) rates 中文名 and 英文名 against the text bound as parameter 1, from 0, the best, to
// FindRankNone for no match; the drugs are listed best first, then in the file's order. With the
// leaflets, a drug whose leaflet holds the text bound as parameter 2 (made by likePattern) comes last.
inline const QString FindRankFunction = QStringLiteral("xiyao_find_rank");
constexpr int FindRankNone = 6;
inline const QString RankedFindInNamesQuery =
    QStringLiteral("SELECT * FROM 西药 WHERE %1(中文名, 英文名, ?1) < %2 ORDER BY %1(中文名, 英文名, ?1), 编号")
        .arg(FindRankFunction)
        .arg(FindRankNone);
inline const QString RankedFindInNamesAndLeafletsQuery =
    QStringLiteral("SELECT * FROM 西药 WHERE %1(中文名, 英文名, ?1) < %2 OR 药物说明书 LIKE ?2 ESCAPE '\\'"
                   " ORDER BY %1(中文名, 英文名, ?1), 编号")
        .arg(FindRankFunction)
        .arg(FindRankNone);

// Drugs named in the list bound as parameter 1 (namesListText, NamesList.h), in the list's order:
// the function ListedFunction gives a row's place in the list, -1 for none.
inline const QString ListedFunction = QStringLiteral("xiyao_listed");
inline const QString ListedDrugsQuery =
    QStringLiteral("SELECT * FROM 西药 WHERE %1(中文名, 英文名, ?1) >= 0 ORDER BY %1(中文名, 英文名, ?1), 编号")
        .arg(ListedFunction);
// The find window's searches that also take the drugs whose notes hold the text: their names are
// the list bound as parameter 3. They come after the drugs found by name, as leaflets do.
inline const QString RankedFindInNamesAndNotesQuery =
    QStringLiteral("SELECT * FROM 西药 WHERE %1(中文名, 英文名, ?1) < %2 OR %3(中文名, 英文名, ?3) >= 0"
                   " ORDER BY %1(中文名, 英文名, ?1), 编号")
        .arg(FindRankFunction)
        .arg(FindRankNone)
        .arg(ListedFunction);
inline const QString RankedFindInNamesLeafletsAndNotesQuery =
    QStringLiteral("SELECT * FROM 西药 WHERE %1(中文名, 英文名, ?1) < %2 OR 药物说明书 LIKE ?2 ESCAPE '\\'"
                   " OR %3(中文名, 英文名, ?3) >= 0 ORDER BY %1(中文名, 英文名, ?1), 编号")
        .arg(FindRankFunction)
        .arg(FindRankNone)
        .arg(ListedFunction);

// The LIKE pattern that matches text anywhere, its %, _ and \ standing for themselves.
QString likePattern(const QString& text);
