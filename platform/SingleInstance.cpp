#include "platform/SingleInstance.h"

#include "platform/Seams.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace {

const QByteArray Request = QByteArrayLiteral("activate\n");
const QByteArray Reply = QByteArrayLiteral("ok\n");
// How long a program that connected may take to say what it wants.
constexpr std::chrono::milliseconds RequestWithin{2000};

struct AbstractAddress {
    sockaddr_un address{};
    socklen_t length = 0;

    explicit AbstractAddress(const QByteArray& name) {
        // sun_path[0] stays NUL: the abstract namespace. The name is the bytes after it, unterminated.
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + 1, name.constData(), size_t(name.size()));
        length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(name.size()));
    }
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&address); }
};

bool peerIsOurUser(int socket) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    return getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 && credentials.uid == getuid();
}

void bringToFront(QWidget& window) {
    if (window.isMinimized())
        window.showNormal();
    window.raise();
    window.activateWindow();
}

// One later start that connected. Answered once its request is complete; dropped when it sends
// anything else, ends or stays silent. Reads only what is there, so the event loop never waits.
class PendingRequest : public QObject {
public:
    PendingRequest(UniqueFd socket, QWidget& window, Clock& clock, QObject* parent)
        : QObject(parent)
        , m_socket(std::move(socket))
        , m_notifier(m_socket.get(), QSocketNotifier::Read)
        , m_window(window) {
        connect(&m_notifier, &QSocketNotifier::activated, this, [this] { read(); });
        clock.after(RequestWithin, this, [this] { drop(); });
    }

private:
    void read() {
        char buffer[16];
        ssize_t got;
        do
            got = ::read(m_socket.get(), buffer, sizeof buffer);
        while (got < 0 && errno == EINTR);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (got <= 0)
            return drop();
        m_received.append(buffer, got);
        if (m_received == Request) {
            bringToFront(m_window);
            ::send(m_socket.get(), Reply.constData(), size_t(Reply.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
            return drop();
        }
        if (!Request.startsWith(m_received))
            drop();
    }

    void drop() {
        m_notifier.setEnabled(false);
        m_socket.reset();
        deleteLater();
    }

    UniqueFd m_socket;
    QSocketNotifier m_notifier; // declared after the socket: goes before it is closed
    QWidget& m_window;
    QByteArray m_received;
};

} // namespace

SingleInstance::SingleInstance(const QString& drugFilePath) {
    const QFileInfo file(drugFilePath);
    const QString path = file.exists() ? file.canonicalFilePath() : QDir::cleanPath(file.absoluteFilePath());
    m_name = "xiyao/" + QByteArray::number(getuid()) + '/' +
             QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).toHex();
}

SingleInstance::~SingleInstance() {
    delete m_notifier;
}

SingleInstance::Start SingleInstance::start(std::chrono::milliseconds answerWithin) {
    const auto deadline = std::chrono::steady_clock::now() + answerWithin;
    // A round ends unless the name changed hands between asking and claiming: another start
    // took it, or the program that held it ended before answering. Three rounds are plenty.
    for (int round = 0; round < 3; ++round) {
        switch (askRunningProgram(deadline)) {
        case Answer::Activated:
            return Start::Activated;
        case Answer::Silent:
            return Start::NotAnswering;
        case Answer::NotOurs:
            return Start::First;
        case Answer::Gone:
            break;
        }
        if (claimName())
            return Start::First;
    }
    return Start::First;
}

SingleInstance::Answer SingleInstance::askRunningProgram(std::chrono::steady_clock::time_point deadline) const {
    using namespace std::chrono;
    const UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket.valid())
        return Answer::NotOurs;
    const AbstractAddress address(m_name);
    if (::connect(socket.get(), address.get(), address.length) != 0)
        // A full queue: the program takes no requests. Otherwise (refused) nobody listens.
        return errno == EAGAIN ? Answer::Silent : Answer::Gone;
    if (!peerIsOurUser(socket.get()))
        return Answer::NotOurs;
    if (::send(socket.get(), Request.constData(), size_t(Request.size()), MSG_NOSIGNAL) != Request.size())
        return Answer::Gone;
    QByteArray answer;
    for (;;) {
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        pollfd readable{socket.get(), POLLIN, 0};
        const int ready = left > 0 ? ::poll(&readable, 1, int(left)) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return Answer::Silent;
        char buffer[16];
        const ssize_t got = ::recv(socket.get(), buffer, sizeof buffer, 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0) // it ended (its drug file could not be opened, say) before answering
            return Answer::Gone;
        answer.append(buffer, got);
        if (answer == Reply)
            return Answer::Activated;
        if (!Reply.startsWith(answer))
            return Answer::Silent;
    }
}

// False only when another start holds the name since we asked: that one is asked next.
// Listening or not (no socket could be made), the start goes on otherwise.
bool SingleInstance::claimName() {
    UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket.valid())
        return true;
    const AbstractAddress address(m_name);
    if (::bind(socket.get(), address.get(), address.length) != 0)
        return errno != EADDRINUSE;
    if (::listen(socket.get(), 8) == 0)
        m_listening = std::move(socket);
    return true;
}

void SingleInstance::bringToFrontOnRequest(QWidget& window, Clock& clock) {
    if (!m_listening.valid() || m_notifier)
        return;
    m_notifier = new QSocketNotifier(m_listening.get(), QSocketNotifier::Read, &window);
    QObject::connect(m_notifier, &QSocketNotifier::activated, m_notifier,
                     [this, &window, &clock] { acceptRequests(window, clock); });
}

void SingleInstance::acceptRequests(QWidget& window, Clock& clock) {
    for (;;) {
        UniqueFd client(::accept4(m_listening.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!client.valid()) {
            if (errno == EINTR)
                continue;
            return;
        }
        // Another user's program is closed unanswered.
        if (peerIsOurUser(client.get()))
            new PendingRequest(std::move(client), window, clock, m_notifier);
    }
}
