#pragma once

#include "data/UserStore.h"

#include <QString>

#include <memory>

// The user's own store as the program holds it: opened at its first use, not at start-up, so
// that a store that cannot be opened never stops the handbook. Made once (by main, a test or
// the bench) and handed to the windows, as the drug file is.
class UserFile {
public:
    explicit UserFile(const QString& path);
    ~UserFile();
    UserFile(const UserFile&) = delete;
    UserFile& operator=(const UserFile&) = delete;

    const QString& path() const { return m_path; }

    // The store, opened now when it is not yet. Throws DatabaseError, in Chinese; the next call
    // tries again (a lock may have gone, a folder been made writable).
    UserStore& store();
    bool isOpen() const { return m_store != nullptr; }

    // What the open set aside, in Chinese, once; empty after that and when nothing was.
    QString takeNotice();

private:
    QString m_path;
    std::unique_ptr<UserStore> m_store;
    QString m_notice;
};
