#pragma once

#include "data/UserStore.h"
#include "exchange/CsvTable.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QIODevice;

// The user's favourites and notes as CSV, so that nothing a user keeps is bound to one machine:
// a header 类型,中文名,英文名,内容, then a row a favourite (类型 收藏, 内容 empty) and a row a note
// (类型 笔记). The drugs viewed last are not written: they are of the moment, not kept.

inline const QString FavouriteKind = QStringLiteral("收藏");
inline const QString NoteKind = QStringLiteral("笔记");

QStringList userDataColumns();

// One row of such a text.
struct UserDataRow {
    enum class Kind { Favourite, Note };
    Kind kind = Kind::Favourite;
    DrugNames drug;
    QString text; // a note's; empty for a favourite
};

// What an import did.
struct UserDataMerge {
    qint64 favouritesAdded = 0;
    qint64 favouritesPresent = 0; // already favourites
    qint64 notesAdded = 0;        // drugs that had no note
    qint64 notesAppended = 0;     // after the note there, a blank line between
    qint64 notesPresent = 0;      // the note there holds the text already
    qint64 notesEmpty = 0;        // rows without text: nothing to merge
    bool changed() const { return favouritesAdded + notesAdded + notesAppended > 0; }
};

// Writes the favourites (newest first, as the program lists them) and then the notes as UTF-8
// CSV, records ended by CR LF as in the drugs' export; withBom as there. Returns false when out
// refuses the text (out's errorString() says why).
[[nodiscard]] bool writeUserData(QIODevice& out, const QList<DrugNames>& favourites, const QList<UserNote>& notes,
                                 bool withBom = false);

// Reads and checks every row of a UTF-8 text; writes nothing. The header names the four columns
// in any order. Throws CsvError with the line of the first bad row, Gb18030TextError when the
// text is GB18030.
QList<UserDataRow> readUserData(QIODevice& csv);

// The note that holds both the note there and the imported text, nothing twice: the imported
// text after a blank line. Nothing when the note there holds the text already.
std::optional<QString> mergedNote(const QString& there, const QString& imported);

// Adds what the rows hold and the store lacks; takes nothing away and changes no text but by
// appending. Favourites are added from the last row up, so that they are listed in the rows'
// order, above those already there; all of them in one transaction, each note in one of its
// own. Throws DatabaseError.
UserDataMerge mergeUserData(UserStore& store, const QList<UserDataRow>& rows);
