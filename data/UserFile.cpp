#include "data/UserFile.h"

#include <utility>

UserFile::UserFile(const QString& path)
    : m_path(path) {}

UserFile::~UserFile() = default;

UserStore& UserFile::store() {
    if (!m_store) {
        m_store = std::make_unique<UserStore>(m_path);
        m_notice = m_store->setAside();
    }
    return *m_store;
}

QString UserFile::takeNotice() {
    return std::exchange(m_notice, QString());
}
