#include "data/DrugFile.h"

#include "data/DatabaseError.h"
#include "data/DrugSchema.h"
#include "data/OfflineCopy.h"
#include "data/ServerConnection.h"

#include <QDir>
#include <QFileInfo>

DrugFile::DrugFile(const QString& programFolder)
    : m_programFolder(programFolder) {}

DrugFile::~DrugFile() {
    if (m_opening.valid())
        m_opening.wait();
    // A refresh cut short leaves the previous copy as it was.
    m_stopRefresh = true;
    if (m_refreshing.valid())
        m_refreshing.wait();
}

QString DrugFile::waitForOfflineCopy() {
    if (!m_refreshing.valid())
        return {};
    return m_refreshing.get();
}

QString DrugFile::path() const {
    return drugFilePath(m_programFolder);
}

void DrugFile::useServer(const QString& url, const QString& offlineCopy) {
    m_serverUrl = url;
    m_offlineCopy = offlineCopy;
}

QString DrugFile::describe() const {
    if (!isServerSeat())
        return QDir::toNativeSeparators(path());
    if (m_offline)
        return QStringLiteral("离线副本 %1").arg(QDir::toNativeSeparators(m_offlineCopy));
    return QStringLiteral("数据库服务器 %1").arg(m_serverTarget);
}

void DrugFile::beginOpening() {
    if (m_opening.valid() || m_connection.isOpen())
        return;
    m_opening = std::async(std::launch::async, [this] { open(); });
}

void DrugFile::OpenDrugDatabase() {
    if (m_opening.valid()) {
        std::future<void> opening = std::move(m_opening);
        opening.get();
        return;
    }
    open();
}

void DrugFile::open() {
    if (!isServerSeat()) {
        m_connection.openFile(path(), DrugPassword);
        return;
    }
    m_offline = false;
    m_offlineReason.clear();
    try {
        m_connection.openServer(m_serverUrl);
        m_serverTarget = m_connection.server()->target();
        // At each start the copy follows the server, on a connection of its own, while the seat works.
        m_refreshing = std::async(std::launch::async, [this, url = m_serverUrl, copy = m_offlineCopy]() -> QString {
            try {
                ServerConnection server;
                server.open(url);
                refreshOfflineCopy(server, copy, &m_stopRefresh);
                return {};
            } catch (const DatabaseError& error) {
                return error.message();
            }
        });
        return;
    } catch (const DatabaseError& error) {
        m_offlineReason = error.message();
    }
    if (!QFileInfo::exists(m_offlineCopy))
        throw DatabaseError(QStringLiteral("无法使用数据库服务器：%1\n本机还没有离线副本（连上服务器启动一次后才有）。")
                                .arg(m_offlineReason));
    try {
        m_connection.openFile(m_offlineCopy, DrugPassword, DrugConnection::Access::ReadOnly);
    } catch (const DatabaseError& error) {
        throw DatabaseError(
            QStringLiteral("无法使用数据库服务器：%1\n离线副本也无法打开：%2").arg(m_offlineReason, error.message()));
    }
    m_offline = true;
}
