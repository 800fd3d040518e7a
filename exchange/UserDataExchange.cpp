#include "exchange/UserDataExchange.h"

#include <QBuffer>
#include <QIODevice>

namespace {

enum Column { KindColumn, ChineseColumn, EnglishColumn, TextColumn };

bool writeAll(QIODevice& out, const QByteArray& bytes) {
    return out.write(bytes) == bytes.size();
}

// The row's fields in the order of userDataColumns(), whatever the header's order.
QStringList inColumnOrder(const QStringList& texts, const QStringList& names) {
    QStringList ordered;
    for (const QString& column : userDataColumns())
        ordered.append(texts[names.indexOf(column)]);
    return ordered;
}

UserDataRow rowOf(const QStringList& fields, qint64 line) {
    const QString kind = fields[KindColumn].trimmed();
    if (kind != FavouriteKind && kind != NoteKind)
        throw CsvError(line, QStringLiteral("未知的类型“%1”：应当是“%2”或“%3”").arg(kind, FavouriteKind, NoteKind));
    if (fields[ChineseColumn].trimmed().isEmpty())
        throw CsvError(line, QStringLiteral("缺少中文名"));
    // A favourite carries no text; one that has some was meant as a note, and would be lost.
    if (kind == FavouriteKind && !fields[TextColumn].isEmpty())
        throw CsvError(line, QStringLiteral("收藏的内容应当是空的；笔记的类型应当是“%1”").arg(NoteKind));
    return {kind == FavouriteKind ? UserDataRow::Kind::Favourite : UserDataRow::Kind::Note,
            {fields[ChineseColumn], fields[EnglishColumn]},
            fields[TextColumn]};
}

QList<UserDataRow> readRows(QIODevice& text) {
    const QStringList columns = userDataColumns();
    CsvTableReader table(text, CsvEncoding::Utf8, {columns, columns, columns});
    QList<UserDataRow> rows;
    QStringList texts;
    while (table.next(texts))
        rows.append(rowOf(inColumnOrder(texts, table.names()), table.recordLine()));
    return rows;
}

} // namespace

QStringList userDataColumns() {
    return {QStringLiteral("类型"), QStringLiteral("中文名"), QStringLiteral("英文名"), QStringLiteral("内容")};
}

bool writeUserData(QIODevice& out, const QList<DrugNames>& favourites, const QList<UserNote>& notes, bool withBom) {
    if (!writeAll(out, (withBom ? Utf8Bom : QByteArray()) + csvRecord(userDataColumns())))
        return false;
    for (const DrugNames& drug : favourites) {
        if (!writeAll(out, csvRecord(QStringList{FavouriteKind, drug.chineseName, drug.englishName, QString()})))
            return false;
    }
    for (const UserNote& note : notes) {
        if (!writeAll(out, csvRecord(QStringList{NoteKind, note.drug.chineseName, note.drug.englishName, note.text})))
            return false;
    }
    return true;
}

QList<UserDataRow> readUserData(QIODevice& csv) {
    // A list of notes is small: kept whole, it can be read again for the GB18030 check.
    QBuffer text;
    text.setData(csv.readAll());
    text.open(QIODevice::ReadOnly);
    try {
        return readRows(text);
    } catch (const NotUtf8Error& error) {
        throwIfGb18030(text, 0, error);
        throw;
    }
}

std::optional<QString> mergedNote(const QString& there, const QString& imported) {
    if (there.contains(imported))
        return std::nullopt;
    return there.isEmpty() ? imported : there + QStringLiteral("\n\n") + imported;
}

UserDataMerge mergeUserData(UserStore& store, const QList<UserDataRow>& rows) {
    UserDataMerge merge;
    // One transaction: an import the engine stops half-way leaves the store as it was.
    store.inTransaction([&] {
        merge = {};
        for (auto row = rows.crbegin(); row != rows.crend(); ++row) {
            if (row->kind != UserDataRow::Kind::Favourite)
                continue;
            if (store.isFavourite(row->drug)) {
                ++merge.favouritesPresent;
            } else {
                store.setFavourite(row->drug, true);
                ++merge.favouritesAdded;
            }
        }
        for (const UserDataRow& row : rows) {
            if (row.kind != UserDataRow::Kind::Note)
                continue;
            if (row.text.isEmpty()) {
                ++merge.notesEmpty;
                continue;
            }
            const QString there = store.note(row.drug);
            const std::optional<QString> merged = mergedNote(there, row.text);
            if (!merged) {
                ++merge.notesPresent;
                continue;
            }
            store.setNote(row.drug, *merged);
            ++(there.isEmpty() ? merge.notesAdded : merge.notesAppended);
        }
    });
    return merge;
}
