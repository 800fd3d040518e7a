#include "platform/SingleInstance.h"
#include "platform/UniqueFd.h"
#include "tests/support/FakePlatform.h"

#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <csignal>
#include <cstddef>
#include <cstring>
#include <future>
#include <optional>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>

using namespace std::chrono_literals;
using Start = SingleInstance::Start;

namespace {

// The id another user's program runs under.
constexpr uid_t Nobody = 65534;

// Starts instance on a thread of its own, while this thread's event loop answers it.
Start startAside(SingleInstance& instance, std::chrono::milliseconds answerWithin = 2s) {
    auto started = std::async(std::launch::async, [&] { return instance.start(answerWithin); });
    while (started.wait_for(0s) != std::future_status::ready)
        QTest::qWait(5);
    return started.get();
}

// A socket connected to name, or an invalid one.
UniqueFd connectTo(const QByteArray& name) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.constData(), size_t(name.size()));
    UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address),
                  socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(name.size()))) != 0)
        socket.reset();
    return socket;
}

// How many bytes the other end writes until it closes the connection. Allocates nothing, so
// that a forked child can call it.
ssize_t bytesToEnd(int socket) {
    ssize_t all = 0;
    char buffer[64];
    ssize_t got;
    while ((got = ::recv(socket, buffer, sizeof buffer, 0)) > 0)
        all += got;
    return all;
}

// Another program on the socket's name, in a child process: one of ours that has stopped
// taking requests, reads them and says nothing or something else, or ends before answering;
// or another user's that says yes to everything.
enum class Impostor { NeverAccepts, NeverAnswers, AnswersOtherwise, EndsBeforeAnswering, OtherUser };

class ImpostorProcess {
public:
    ImpostorProcess(const QByteArray& name, Impostor behaviour) {
        int ready[2];
        if (::pipe(ready) != 0)
            qFatal("no pipe");
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            run(name, behaviour, ready[1]);
            ::_exit(0);
        }
        ::close(ready[1]);
        char byte = 0;
        if (::read(ready[0], &byte, 1) != 1)
            qFatal("the impostor did not take the name");
        ::close(ready[0]);
    }
    ~ImpostorProcess() {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    ImpostorProcess(const ImpostorProcess&) = delete;
    ImpostorProcess& operator=(const ImpostorProcess&) = delete;

private:
    // Only system calls: this runs in a fork of a threaded process.
    static void run(const QByteArray& name, Impostor behaviour, int ready) {
        if (behaviour == Impostor::OtherUser && ::setuid(Nobody) != 0)
            return;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + 1, name.constData(), size_t(name.size()));
        const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::bind(listening, reinterpret_cast<const sockaddr*>(&address),
                   socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(name.size()))) != 0 ||
            ::listen(listening, 8) != 0 || ::write(ready, "r", 1) != 1)
            return;
        for (;;) {
            if (behaviour == Impostor::NeverAccepts)
                ::pause();
            const int client = ::accept(listening, nullptr, nullptr);
            char request[64];
            if (::read(client, request, sizeof request) <= 0)
                return;
            switch (behaviour) {
            case Impostor::NeverAnswers:
                ::pause();
                break;
            case Impostor::AnswersOtherwise:
                (void)!::write(client, "no\n", 3);
                break;
            case Impostor::EndsBeforeAnswering:
                ::close(listening);
                return;
            case Impostor::OtherUser:
                (void)!::write(client, "ok\n", 3);
                break;
            case Impostor::NeverAccepts:
                break;
            }
            ::close(client);
        }
    }

    pid_t m_pid;
};

void skipUnlessRoot(Impostor behaviour) {
    if (behaviour == Impostor::OtherUser && ::getuid() != 0)
        QSKIP("only root can run a program as another user");
}

} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void secondStartBringsTheWindowToTheFront();
    void startWithoutAnAnswer_data();
    void startWithoutAnAnswer();
    void requestsNotOursChangeNothing_data();
    void requestsNotOursChangeNothing();

private:
    std::optional<QTemporaryDir> m_folder;
    QString m_drugFile;
    ManualClock m_clock;
};

void TestSingleInstance::init() {
    m_folder.emplace();
    m_drugFile = m_folder->filePath(QStringLiteral("qintabo.m"));
    QFile file(m_drugFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

void TestSingleInstance::secondStartBringsTheWindowToTheFront() {
    QWidget window;
    QWidget otherWindow;
    {
        SingleInstance first(m_drugFile);
        QCOMPARE(first.start(), Start::First);
        QVERIFY(first.isListening());
        first.bringToFrontOnRequest(window, m_clock);
        window.show();
        window.setWindowState(Qt::WindowMinimized);
        otherWindow.show();
        otherWindow.activateWindow();
        QTRY_VERIFY(otherWindow.isActiveWindow());

        // The same file through a link to its folder is the same file.
        const QString link = QDir(m_folder->path()).filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(m_folder->path(), link));
        SingleInstance second(QDir(link).filePath(QStringLiteral("qintabo.m")));
        QCOMPARE(second.name(), first.name());
        QCOMPARE(startAside(second), Start::Activated);
        QVERIFY(!second.isListening());
        QVERIFY(!window.isMinimized());
        QTRY_VERIFY(window.isActiveWindow());

        // A file in another folder runs beside it.
        QTemporaryDir otherFolder;
        SingleInstance beside(otherFolder.filePath(QStringLiteral("qintabo.m")));
        QCOMPARE(beside.start(), Start::First);
        QVERIFY(beside.isListening());

        // Later starts are answered too.
        otherWindow.activateWindow();
        QTRY_VERIFY(otherWindow.isActiveWindow());
        QCOMPARE(startAside(second), Start::Activated);
        QTRY_VERIFY(window.isActiveWindow());
    }
    // The name goes with the program that held it.
    SingleInstance next(m_drugFile);
    QCOMPARE(next.start(), Start::First);
    QVERIFY(next.isListening());
}

void TestSingleInstance::startWithoutAnAnswer_data() {
    QTest::addColumn<Impostor>("impostor");
    QTest::addColumn<Start>("start");
    QTest::addColumn<bool>("listening");
    // A program of ours that holds the file and does not answer: no second window on it.
    QTest::newRow("stopped taking requests") << Impostor::NeverAccepts << Start::NotAnswering << false;
    QTest::newRow("never answers") << Impostor::NeverAnswers << Start::NotAnswering << false;
    QTest::newRow("answers otherwise") << Impostor::AnswersOtherwise << Start::NotAnswering << false;
    // It failed to open the drug file and ended: this start takes its place.
    QTest::newRow("ends before answering") << Impostor::EndsBeforeAnswering << Start::First << true;
    // Another user's socket on our name is not believed and does not stop the start.
    QTest::newRow("another user's") << Impostor::OtherUser << Start::First << false;
}

void TestSingleInstance::startWithoutAnAnswer() {
    QFETCH(Impostor, impostor);
    QFETCH(Start, start);
    QFETCH(bool, listening);
    skipUnlessRoot(impostor);
    SingleInstance instance(m_drugFile);
    ImpostorProcess holder(instance.name(), impostor);
    QCOMPARE(instance.start(300ms), start);
    QCOMPARE(instance.isListening(), listening);
}

void TestSingleInstance::requestsNotOursChangeNothing_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("otherUser");
    QTest::newRow("another request") << QByteArrayLiteral("activatE\n") << false;
    QTest::newRow("a long line") << QByteArray(100000, 'a') << false;
    QTest::newRow("ended halfway") << QByteArrayLiteral("activ") << false;
    QTest::newRow("nothing") << QByteArray() << false;
    QTest::newRow("another user's") << QByteArrayLiteral("activate\n") << true;
}

void TestSingleInstance::requestsNotOursChangeNothing() {
    QFETCH(QByteArray, request);
    QFETCH(bool, otherUser);
    if (otherUser)
        skipUnlessRoot(Impostor::OtherUser);
    QWidget window;
    QWidget otherWindow;
    SingleInstance first(m_drugFile);
    QCOMPARE(first.start(), Start::First);
    first.bringToFrontOnRequest(window, m_clock);
    window.show();
    otherWindow.show();
    otherWindow.activateWindow();
    QTRY_VERIFY(otherWindow.isActiveWindow());

    // One that connects and says nothing keeps no one else waiting.
    const UniqueFd silent = connectTo(first.name());
    QVERIFY(silent.valid());

    // The request, sent from a child (as another user when the row says so), gets no answer:
    // the connection ends without one (after a while for one that says nothing).
    const pid_t child = ::fork();
    if (child == 0) {
        if (otherUser && ::setuid(Nobody) != 0)
            ::_exit(2);
        const UniqueFd socket = connectTo(first.name());
        if (!socket.valid())
            ::_exit(2);
        if (!request.isEmpty()) {
            if (::send(socket.get(), request.constData(), size_t(request.size()), MSG_NOSIGNAL) < 0)
                ::_exit(2);
            ::shutdown(socket.get(), SHUT_WR);
        }
        ::_exit(bytesToEnd(socket.get()) == 0 ? 0 : 1);
    }
    int status = -1;
    bool ended = false;
    // One that says nothing is dropped once the platform's clock has gone on long enough.
    const auto timePasses = [this] {
        m_clock.advance(500ms);
        return true;
    };
    QTRY_VERIFY(ended || (timePasses() && (ended = ::waitpid(child, &status, WNOHANG) == child)));
    QCOMPARE(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
    QTest::qWait(50); // an activation, were there one, would have come by now
    QVERIFY(otherWindow.isActiveWindow());

    SingleInstance second(m_drugFile);
    QCOMPARE(startAside(second), Start::Activated);
    QTRY_VERIFY(window.isActiveWindow());
}

QTEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
