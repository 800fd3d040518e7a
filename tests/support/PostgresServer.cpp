#include "tests/support/PostgresServer.h"

#include "data/ServerConnection.h"
#include "tests/support/ProgramRun.h"

#include <QCollator>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

const QStringList ServerPrograms = {QStringLiteral("initdb"), QStringLiteral("postgres")};

bool holdsServerPrograms(const QString& folder) {
    return std::all_of(ServerPrograms.begin(), ServerPrograms.end(),
                       [&folder](const QString& program) { return QFileInfo(folder + u'/' + program).isExecutable(); });
}

// Debian keeps the server's programs out of PATH, in a folder per major version; elsewhere they
// are on PATH.
QString serverBinFolder() {
    QStringList versions = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCollator numeric;
    numeric.setNumericMode(true);
    std::sort(versions.begin(), versions.end(),
              [&numeric](const QString& a, const QString& b) { return numeric.compare(a, b) > 0; });
    for (const QString& version : versions) {
        const QString folder = QStringLiteral("/usr/lib/postgresql/%1/bin").arg(version);
        if (holdsServerPrograms(folder))
            return folder;
    }
    const QString initdb = QStandardPaths::findExecutable(QStringLiteral("initdb"));
    const QString folder = QFileInfo(initdb).absolutePath();
    return !initdb.isEmpty() && holdsServerPrograms(folder) ? folder : QString();
}

// The user the server runs as when the tests run as root.
const passwd* serverUser() {
    return ::getpwnam("postgres");
}

// A port of 127.0.0.1 that nothing listens on now.
int freePort() {
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (socket >= 0 && ::bind(socket, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (socket >= 0)
        ::close(socket);
    return port;
}

// The second and fourth fields of /proc/PID/stat: the state and the parent.
struct ProcessStat {
    char state = 0; // 0 when the process is gone
    pid_t parent = 0;
};

ProcessStat processStat(const QString& pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    // pid (name) state ppid …: the name may hold spaces and parentheses, so read after the last ')'.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 2 || fields[0].isEmpty())
        return {};
    return {fields[0][0], pid_t(fields[1].toInt())};
}

QList<pid_t> childrenOf(pid_t parent) {
    QList<pid_t> children;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const pid_t pid = entry.toInt(&number);
        if (number && processStat(entry).parent == parent)
            children.append(pid);
    }
    return children;
}

// Waits until the process has ended: gone, or a zombie that only its parent can still reap.
void waitUntilEnded(pid_t pid) {
    for (int i = 0; i < 1000; ++i) {
        const char state = processStat(QString::number(pid)).state;
        if (state == 0 || state == 'Z' || state == 'X')
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace

PostgresServer::PostgresServer()
    : m_folder(QDir::tempPath() + QStringLiteral("/xiyao-postgres-XXXXXX"))
    , m_binFolder(serverBinFolder()) {
    if (::geteuid() == 0) {
        if (const passwd* user = serverUser()) {
            m_uid = user->pw_uid;
            m_gid = user->pw_gid;
            m_asOtherUser = true;
        }
    }
}

PostgresServer::~PostgresServer() {
    stop();
}

QString PostgresServer::unavailableReason() {
    if (serverBinFolder().isEmpty())
        return QStringLiteral("跳过：本机缺少 PostgreSQL 服务器程序 %1（scripts/deps 会安装 postgresql）")
            .arg(ServerPrograms.join(QStringLiteral("、")));
    if (::geteuid() == 0 && !serverUser())
        return QStringLiteral("跳过：以 root 运行测试时，PostgreSQL 服务器要以用户 postgres 运行，本机没有这个用户"
                              "（scripts/deps 安装 postgresql 时会建立）");
    return {};
}

QString PostgresServer::dataFolder() const {
    return m_folder.filePath(QStringLiteral("data"));
}

QString PostgresServer::url(const QString& database) const {
    return QStringLiteral("postgresql:///%1?host=%2&port=%3&user=%4")
        .arg(database, QString::fromUtf8(QUrl::toPercentEncoding(m_folder.path())), QString::number(m_port), Superuser);
}

QString PostgresServer::tcpUrl(const QString& user, const QString& password) const {
    return QStringLiteral("postgresql://%1:%2@127.0.0.1:%3/%4")
        .arg(QString::fromUtf8(QUrl::toPercentEncoding(user)), QString::fromUtf8(QUrl::toPercentEncoding(password)),
             QString::number(m_port), Database);
}

QStringList PostgresServer::command(const QString& program, const QStringList& arguments) const {
    // setpriv sets the parent-death signal after it changes the user, which would clear it.
    QStringList line = {QStringLiteral("setpriv"), QStringLiteral("--pdeathsig=KILL")};
    if (m_asOtherUser)
        line << QStringLiteral("--reuid=%1").arg(m_uid) << QStringLiteral("--regid=%1").arg(m_gid)
             << QStringLiteral("--clear-groups");
    return line << m_binFolder + u'/' + program << arguments;
}

QString PostgresServer::start() {
    if (!m_folder.isValid())
        return QStringLiteral("无法建立临时文件夹：%1").arg(m_folder.errorString());
    if (m_asOtherUser && ::chown(QFile::encodeName(m_folder.path()).constData(), m_uid, m_gid) != 0)
        return QStringLiteral("无法把临时文件夹交给用户 postgres");
    if (const QString made = copyOfNewCluster(); !made.isEmpty())
        return made;
    QString failure;
    // A port is free when asked and may be taken before the server binds it.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = freePort();
        QFile settings(m_folder.filePath(QStringLiteral("data/postgresql.auto.conf")));
        if (!settings.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QStringLiteral("无法写入服务器的设置：%1").arg(settings.errorString());
        // Nothing but this machine reaches it; nothing is flushed to the disk, as nothing outlives the test.
        settings.write(QStringLiteral("listen_addresses = '127.0.0.1'\n"
                                      "port = %1\n"
                                      "unix_socket_directories = '%2'\n"
                                      "fsync = off\n"
                                      "full_page_writes = off\n"
                                      "shared_buffers = 16MB\n"
                                      "max_connections = 20\n")
                           .arg(QString::number(m_port), m_folder.path())
                           .toUtf8());
        settings.close();
        failure = startServer();
        if (failure.isEmpty())
            break;
    }
    if (!failure.isEmpty())
        return failure;
    try {
        ServerConnection admin;
        admin.open(url(QStringLiteral("postgres")));
        admin.execute(QStringLiteral("CREATE DATABASE %1").arg(Database));
    } catch (const DatabaseError& error) {
        return error.message();
    }
    return {};
}

// A new cluster is the same every time: made once by initdb into a folder shared by the test programs
// of this user and these server programs, then copied, which takes a third of initdb's time.
QString PostgresServer::copyOfNewCluster() {
    // C.UTF-8: every character upper- and lower-cased, text ordered by its code points.
    const QStringList arguments{QStringLiteral("--username=") + Superuser,   QStringLiteral("--auth-local=trust"),
                                QStringLiteral("--auth-host=scram-sha-256"), QStringLiteral("--encoding=UTF8"),
                                QStringLiteral("--locale=C.UTF-8"),          QStringLiteral("--no-sync"),
                                QStringLiteral("--no-instructions")};
    const QByteArray made =
        QCryptographicHash::hash((m_binFolder + arguments.join(u' ')).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(12);
    const QString cluster = QDir::temp().filePath(
        QStringLiteral("xiyao-postgres-cluster-%1-%2").arg(QString::number(::geteuid()), QString::fromLatin1(made)));
    if (!QFileInfo::exists(cluster + QStringLiteral("/PG_VERSION"))) {
        // Made beside it and renamed: a program that finds it finds it whole. Of two programs making
        // it at once, the second's rename fails and its own is removed.
        QTemporaryDir making(cluster + QStringLiteral(".新-XXXXXX"));
        if (!making.isValid() ||
            (m_asOtherUser && ::chown(QFile::encodeName(making.path()).constData(), m_uid, m_gid) != 0))
            return QStringLiteral("无法建立临时文件夹：%1").arg(making.errorString());
        const QString data = making.filePath(QStringLiteral("data"));
        // The server's user may not reach the tests' working folder, so its programs run in the cluster's.
        const QStringList initdb =
            command(QStringLiteral("initdb"), QStringList{QStringLiteral("--pgdata=") + data} + arguments);
        const ProgramRun run =
            runProgram(initdb.first(), initdb.mid(1), {}, QProcessEnvironment::systemEnvironment(), making.path());
        if (run.status != 0)
            return QStringLiteral("initdb 失败（%1）：%2%3")
                .arg(QString::number(run.status), QString::fromUtf8(run.out), run.err);
        ::rename(QFile::encodeName(data).constData(), QFile::encodeName(cluster).constData());
    }
    // cp keeps the owner (the server's user, when the tests run as root) and the folder's mode 0700.
    const ProgramRun copied = runProgram(QStringLiteral("cp"), {QStringLiteral("-a"), cluster, dataFolder()}, {},
                                         QProcessEnvironment::systemEnvironment(), m_folder.path());
    if (copied.status != 0)
        return QStringLiteral("无法复制新建的数据库集群 %1：%2").arg(cluster, copied.err);
    return {};
}

QString PostgresServer::startServer() {
    const QString log = m_folder.filePath(QStringLiteral("server.log"));
    const QStringList postgres = command(QStringLiteral("postgres"), {QStringLiteral("-D"), dataFolder()});
    m_postmaster = std::make_unique<QProcess>();
    m_postmaster->setWorkingDirectory(m_folder.path());
    m_postmaster->setStandardOutputFile(log, QIODevice::Append);
    m_postmaster->setStandardErrorFile(log, QIODevice::Append);
    m_postmaster->start(postgres.first(), postgres.mid(1));
    if (!m_postmaster->waitForStarted())
        return QStringLiteral("无法运行 %1：%2").arg(postgres.join(u' '), m_postmaster->errorString());
    m_postmasterPid = pid_t(m_postmaster->processId());
    // Ready when its lock file says so, as pg_ctl --wait finds out.
    const QString lockFile = dataFolder() + QStringLiteral("/postmaster.pid");
    for (int waited = 0; waited < 60000; waited += 20) {
        QFile lock(lockFile);
        if (lock.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> lines = lock.readAll().split('\n');
            // A killed server's lock file is still there, and said "ready" for that one.
            if (lines.size() > 7 && lines[0].toInt() == m_postmasterPid && lines[7].trimmed() == "ready")
                return {};
        }
        if (m_postmaster->waitForFinished(20))
            break;
    }
    stop();
    QFile text(log);
    return QStringLiteral("服务器没有启动：") +
           (text.open(QIODevice::ReadOnly) ? QString::fromUtf8(text.readAll()) : QString());
}

QString PostgresServer::restart() {
    if (m_postmasterPid)
        return QStringLiteral("服务器还在运行");
    stop(); // reaps the killed postmaster
    return startServer();
}

void PostgresServer::stop() {
    if (!m_postmaster)
        return;
    // SIGQUIT is the immediate shutdown: the server ends its own processes, then itself.
    if (const pid_t postmaster = m_postmasterPid.exchange(0))
        ::kill(postmaster, SIGQUIT);
    if (!m_postmaster->waitForFinished(30000))
        m_postmaster->kill();
    m_postmaster->waitForFinished();
    m_postmaster.reset();
}

void PostgresServer::kill() {
    const pid_t postmaster = m_postmasterPid.exchange(0);
    if (!postmaster)
        return;
    // Stopped, the server starts no process while its own are found.
    ::kill(postmaster, SIGSTOP);
    const QList<pid_t> children = childrenOf(postmaster);
    for (const pid_t child : children)
        ::kill(child, SIGKILL);
    ::kill(postmaster, SIGKILL);
    // A process still dying may hold the server's shared memory, which the next start refuses to share.
    waitUntilEnded(postmaster);
    for (const pid_t child : children)
        waitUntilEnded(child);
}
