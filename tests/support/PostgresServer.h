#pragma once

#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <memory>
#include <sys/types.h>

class QProcess;

// A PostgreSQL server of the tests' own: a new cluster in a temporary folder, listening on a free
// port of 127.0.0.1 and on a socket in that folder, stopped and removed with the object. The server
// refuses to run as root, and the tests run as root in CI: then it runs as the user `postgres`
// (made by Debian's package), else as the user who runs the tests. The socket takes the cluster's
// superuser without a password; TCP asks every user for one.
//
// The postmaster is this process's own child rather than pg_ctl's orphan, and is killed by the
// kernel when this process dies: a test program that crashes or is killed by its time-out leaves
// no server running behind it.
class PostgresServer {
public:
    static inline const QString Superuser = QStringLiteral("xiyao");
    static inline const QString Database = QStringLiteral("xiyao");

    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // Why no server can run here, in Chinese, beginning with "跳过：" and naming scripts/deps;
    // empty when one can.
    static QString unavailableReason();

    // Makes the cluster, starts it and creates Database. Returns what failed, empty on success.
    QString start();
    // Starts the server again after kill() or stop(); after a kill it recovers from its log first.
    QString restart();
    // Stops the server at once, as pg_ctl stop -m immediate does.
    void stop();
    // Kills the server and every process of it with SIGKILL at once, as a crash of its machine
    // would, and waits until they are gone. May be called from another thread.
    void kill();

    int port() const { return m_port; }
    // The folder of the server's programs (psql among them).
    const QString& binFolder() const { return m_binFolder; }
    // The superuser's URL through the socket, to database.
    QString url(const QString& database = Database) const;
    // A URL through TCP to Database, with user and password written in it.
    QString tcpUrl(const QString& user, const QString& password) const;

private:
    // The command line that runs program as the server's user.
    QStringList command(const QString& program, const QStringList& arguments) const;
    QString copyOfNewCluster();
    QString startServer();
    QString dataFolder() const;

    QTemporaryDir m_folder;
    QString m_binFolder;
    int m_port = 0;
    uid_t m_uid = 0; // whom the server runs as, when the tests run as root
    gid_t m_gid = 0;
    bool m_asOtherUser = false;
    std::unique_ptr<QProcess> m_postmaster;
    std::atomic<pid_t> m_postmasterPid = 0; // 0 once it is stopped or killed
};
