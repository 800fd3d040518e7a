#include "data/ServerQuery.h"

#include "data/DatabaseError.h"
#include "data/DrugConnection.h"
#include "data/DrugSchema.h"
#include "data/RowStore.h"
#include "data/ServerConnection.h"
#include "data/ServerSchema.h"
#include "data/SqlTexts.h"
#include "data/Statement.h"

#include <QHash>

#include <algorithm>
#include <optional>
#include <vector>

namespace {

// The file's engine matches LIKE with Latin letters in any case and nothing else folded; the
// server's LIKE folds nothing, and its ILIKE folds more than Latin letters.
QString latinFolded(const QString& expression) {
    return QStringLiteral("translate(%1, 'ABCDEFGHIJKLMNOPQRSTUVWXYZ', 'abcdefghijklmnopqrstuvwxyz')").arg(expression);
}

QString selectedColumns() {
    QStringList quoted;
    for (const QString& column : serverRowColumns())
        quoted.append(quotedIdentifier(column));
    return quoted.join(QStringLiteral(", "));
}

QString rowsWhere(const QString& condition) {
    const QString where = condition.isEmpty() ? QString() : QStringLiteral(" WHERE ") + condition;
    return QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4")
        .arg(selectedColumns(), quotedIdentifier(DrugTableName), where, quotedIdentifier(KeyColumn));
}

// A query the server answers by itself.
struct PlainQuery {
    QString sql;
    QList<Cell> parameters;
};

// A query whose rows the program chooses and orders with functions of its own: the drugs kept
// are those for which any condition holds, best first by the ordering function, then by key.
struct ProgramQuery {
    struct Condition {
        enum class Kind { RankBelowNone, Listed, LeafletMatches } kind;
        int parameter; // which of the query's parameters the function or the pattern takes
    };
    QString orderFunction;
    int orderParameter = 0;
    QList<Condition> conditions;
};

std::optional<QString> keypadLetters(const QString& sql) {
    const QString empty = keypadQuery(QString());
    const qsizetype open = empty.indexOf(u'%') + 1;
    const QStringView prefix = QStringView(empty).left(open);
    const QStringView suffix = QStringView(empty).mid(open);
    if (!sql.startsWith(prefix) || !sql.endsWith(suffix) || sql.size() < empty.size())
        return std::nullopt;
    const QString letters = sql.mid(open, sql.size() - empty.size());
    keypadQuery(letters); // refuses anything but a to z, as for the file
    return letters;
}

std::optional<qint64> chosenKey(const QString& sql) {
    const QString zero = keyQuery(0);
    const QStringView prefix = QStringView(zero).chopped(1);
    if (!sql.startsWith(prefix))
        return std::nullopt;
    bool number = false;
    const qint64 key = QStringView(sql).mid(prefix.size()).toLongLong(&number);
    if (!number || keyQuery(key) != sql)
        return std::nullopt;
    return key;
}

std::optional<PlainQuery> plainQuery(const QString& sql, const QList<Cell>& parameters) {
    if (sql == FullTableQuery)
        return PlainQuery{rowsWhere({}), {}};
    if (const std::optional<QString> letters = keypadLetters(sql))
        return PlainQuery{rowsWhere(latinFolded(quotedIdentifier(InitialsColumn)) + QStringLiteral(" LIKE $1")),
                          {Cell(u'%' + *letters + u'%')}};
    if (const std::optional<qint64> key = chosenKey(sql))
        return PlainQuery{rowsWhere(quotedIdentifier(KeyColumn) + QStringLiteral(" = $1")), {Cell(*key)}};
    if (sql == FindInNamesQuery) {
        const QString pattern = latinFolded(QStringLiteral("$1"));
        return PlainQuery{rowsWhere(QStringLiteral("%1 LIKE %3 OR %2 LIKE %3")
                                        .arg(latinFolded(quotedIdentifier(ChineseNameColumn)),
                                             latinFolded(quotedIdentifier(EnglishNameColumn)), pattern)),
                          parameters};
    }
    return std::nullopt;
}

std::optional<ProgramQuery> programQuery(const QString& sql) {
    using Kind = ProgramQuery::Condition::Kind;
    const ProgramQuery::Condition rank{Kind::RankBelowNone, 0};
    const ProgramQuery::Condition leaflet{Kind::LeafletMatches, 1};
    const ProgramQuery::Condition noted{Kind::Listed, 2};
    if (sql == RankedFindInNamesQuery)
        return ProgramQuery{FindRankFunction, 0, {rank}};
    if (sql == RankedFindInNamesAndLeafletsQuery)
        return ProgramQuery{FindRankFunction, 0, {rank, leaflet}};
    if (sql == RankedFindInNamesAndNotesQuery)
        return ProgramQuery{FindRankFunction, 0, {rank, noted}};
    if (sql == RankedFindInNamesLeafletsAndNotesQuery)
        return ProgramQuery{FindRankFunction, 0, {rank, leaflet, noted}};
    if (sql == ListedDrugsQuery)
        return ProgramQuery{ListedFunction, 0, {{Kind::Listed, 0}}};
    return std::nullopt;
}

const DrugConnection::TextFunction& functionOf(const DrugConnection& connection, const QString& name) {
    const DrugConnection::TextFunction* function = connection.programFunction(name);
    if (!function)
        throw DatabaseError(QStringLiteral("查询用到的函数“%1”没有定义").arg(name));
    return *function;
}

Cell parameterAt(const QList<Cell>& parameters, int index) {
    return index < parameters.size() ? parameters[index] : Cell();
}

void appendRows(const ServerResult& result, RowStore& rows) {
    for (int row = 0; row < result.rowCount(); ++row)
        rows.append(result, row);
}

// First the keys and names of every drug (and whether its leaflet holds the pattern), chosen and
// ordered here; then the chosen drugs' rows, placed in that order.
void readProgramRows(DrugConnection& connection, ServerConnection& server, const ProgramQuery& query,
                     const QList<Cell>& parameters, RowStore& rows) {
    using Kind = ProgramQuery::Condition::Kind;
    const auto leaflet = std::find_if(query.conditions.begin(), query.conditions.end(),
                                      [](const auto& condition) { return condition.kind == Kind::LeafletMatches; });
    QString names =
        QStringLiteral("SELECT %1, %2, %3")
            .arg(quotedIdentifier(KeyColumn), quotedIdentifier(ChineseNameColumn), quotedIdentifier(EnglishNameColumn));
    QList<Cell> bound;
    if (leaflet != query.conditions.end()) {
        names += QStringLiteral(", %1 LIKE %2")
                     .arg(latinFolded(quotedIdentifier(LeafletColumn)), latinFolded(QStringLiteral("$1")));
        bound.append(parameterAt(parameters, leaflet->parameter));
    }
    names += QStringLiteral(" FROM %1 ORDER BY %2").arg(quotedIdentifier(DrugTableName), quotedIdentifier(KeyColumn));

    const auto utf8Of = [&parameters](int index) {
        return parameterAt(parameters, index).toText().toUtf8();
    };
    const DrugConnection::TextFunction& order = functionOf(connection, query.orderFunction);
    const QByteArray orderArgument = utf8Of(query.orderParameter);
    struct Function {
        const DrugConnection::TextFunction* function = nullptr;
        QByteArray argument;
    };
    std::vector<Function> functions;
    for (const auto& condition : query.conditions) {
        if (condition.kind == Kind::LeafletMatches)
            functions.push_back({});
        else
            functions.push_back(
                {&functionOf(connection, condition.kind == Kind::Listed ? ListedFunction : FindRankFunction),
                 utf8Of(condition.parameter)});
    }

    struct Found {
        qint64 order;
        qint64 key;
    };
    std::vector<Found> found;
    {
        const ServerResult result = server.execute(names, std::span<const Cell>(bound.data(), bound.size()));
        for (int row = 0; row < result.rowCount(); ++row) {
            // As the file's engine hands a function its arguments: UTF-8, NULL as empty.
            QByteArrayView arguments[3] = {result.utf8(row, 1), result.utf8(row, 2), {}};
            const auto call = [&](const DrugConnection::TextFunction& function, const QByteArray& argument) {
                arguments[2] = argument;
                return function(std::span<const QByteArrayView>(arguments, 3));
            };
            bool kept = false;
            for (size_t i = 0; i < functions.size() && !kept; ++i) {
                const Kind kind = query.conditions[qsizetype(i)].kind;
                if (kind == Kind::LeafletMatches)
                    kept = result.value(row, 3).integer().value_or(0) != 0;
                else if (kind == Kind::Listed)
                    kept = call(*functions[i].function, functions[i].argument) >= 0;
                else
                    kept = call(*functions[i].function, functions[i].argument) < FindRankNone;
            }
            if (kept)
                found.push_back({call(order, orderArgument), result.value(row, 0).integer().value_or(0)});
        }
    }
    // The rows came in key order: a stable sort keeps it among drugs of one rank.
    std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.order < b.order; });
    if (found.empty())
        return;

    QString keys = QStringLiteral("{");
    for (const Found& drug : found)
        keys += QString::number(drug.key) + u',';
    keys.back() = u'}';
    const ServerResult chosen =
        server.execute(rowsWhere(quotedIdentifier(KeyColumn) + QStringLiteral(" = ANY($1::bigint[])")), {Cell(keys)});
    QHash<qint64, int> rowOfKey;
    rowOfKey.reserve(chosen.rowCount());
    for (int row = 0; row < chosen.rowCount(); ++row)
        rowOfKey.insert(chosen.value(row, 0).integer().value_or(0), row);
    for (const Found& drug : found) {
        // A drug deleted by another seat between the two reads is left out.
        if (const auto row = rowOfKey.constFind(drug.key); row != rowOfKey.constEnd())
            rows.append(chosen, *row);
    }
}

} // namespace

QStringList serverRowColumns() {
    return serverDrugColumns() << RevisionColumn;
}

void requireServerQuery(const QString& sql) {
    if (!plainQuery(sql, {}) && !programQuery(sql))
        throw DatabaseError(QStringLiteral("数据库服务器不支持这个查询：%1").arg(sql));
}

void readServerRows(DrugConnection& connection, const QString& sql, const QList<Cell>& parameters, RowStore& rows) {
    ServerConnection& server = connection.reachServer();
    if (const std::optional<PlainQuery> plain = plainQuery(sql, parameters)) {
        appendRows(
            server.execute(plain->sql, std::span<const Cell>(plain->parameters.data(), plain->parameters.size())),
            rows);
        return;
    }
    const std::optional<ProgramQuery> query = programQuery(sql);
    if (!query)
        requireServerQuery(sql);
    if (server.inTransaction()) {
        readProgramRows(connection, server, *query, parameters, rows);
        return;
    }
    // The two reads see one state of the list.
    server.execute(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
    try {
        readProgramRows(connection, server, *query, parameters, rows);
        server.commit();
    } catch (...) {
        server.rollback();
        throw;
    }
}
