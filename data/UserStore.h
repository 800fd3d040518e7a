#pragma once

#include "data/Cell.h"
#include "data/DrugConnection.h"

#include <QList>
#include <QString>

#include <functional>

// A drug as what the user keeps knows it: by its names, which a new edition of the drug file
// keeps, not by its 编号, which an import renumbers.
struct DrugNames {
    QString chineseName;
    QString englishName; // empty for none
    bool operator==(const DrugNames&) const = default;
};

struct UserNote {
    DrugNames drug;
    QString text;
    bool operator==(const UserNote&) const = default;
};

// What one user keeps of their own beside the drug file: favourites, the drugs viewed last and
// notes. One file per user, in the user's data folder (never the program folder, which may be
// read-only or shared), readable by its owner only, made on first use. Every change is on the
// disk when the call returns; two programs may use the file at once. Failures throw
// DatabaseError, in Chinese.
class UserStore {
public:
    // How many drugs 最近查看 keeps.
    static constexpr int RecentKept = 50;

    // Opens the store at path, making it (and its folder) when missing. A file that is no store
    // (damaged, or another file under its name) is set aside under a dated name, never
    // overwritten, and a new store is made; setAside() says so. A store that cannot be used (a
    // folder in its place, its folder not writable) throws and is left as it is; one that is
    // read-only or that another program holds locked opens, and only its writes throw.
    explicit UserStore(const QString& path);
    // The user's own: xiyao/user-store.db in the user's data folder (~/.local/share).
    static QString defaultPath();

    const QString& path() const { return m_path; }
    // In Chinese, what was set aside at the open, and where; empty when nothing was.
    const QString& setAside() const { return m_setAside; }
    // How long a write waits for another program's before it fails (2 s unless set).
    void setBusyTimeout(std::chrono::milliseconds timeout) { m_connection.setBusyTimeout(timeout); }

    bool isFavourite(const DrugNames& drug);
    void setFavourite(const DrugNames& drug, bool favourite);
    QList<DrugNames> favourites(); // the newest first

    // The drug comes first in the recent list, once; the list keeps RecentKept.
    void recordViewed(const DrugNames& drug);
    QList<DrugNames> recent(); // the newest first

    QString note(const DrugNames& drug);
    // An empty text takes the note away.
    void setNote(const DrugNames& drug, const QString& text);
    // The note of one drug attached to another (a drug renamed in a new edition); a note the
    // other drug has already is kept before the moved one.
    void moveNote(const DrugNames& from, const DrugNames& to);
    QList<UserNote> notes(); // in the order they were first written

    // work in one transaction, which another program's writes wait for: all of it is stored,
    // or, when it throws (anything), none. Inside another it is a part of that one, undone alone
    // when it throws; the calls above that write several rows nest the same way.
    void inTransaction(const std::function<void()>& work);

private:
    // A list's names, the last written first.
    QList<DrugNames> newestFirst(const QString& table);
    // Opens the file and makes it a store when it is empty. Returns, in Chinese, why the file holds
    // no store, or nothing; throws when it cannot be used now (locked, read-only, no folder).
    QString open();
    QString storeFault();
    void setAsideAndRenew(const QString& fault);
    void writeNote(const DrugNames& drug, const QString& text);
    // One statement, its values bound in order.
    void run(const QString& sql, const QList<Cell>& values = {});

    QString m_path;
    QString m_setAside;
    DrugConnection m_connection;
    int m_transactions = 0; // inTransaction()'s open now, the caller's outermost included
};
