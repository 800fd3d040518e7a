// scripts/bench --quick: the program's paths on 100,000 drugs, each measured against its floor
// in the same run (absolute times drift on a shared machine), printed last as key=value lines
// in a fixed order. Progress and the absolute figures go to stderr. Exits non-zero only when
// it cannot run.

#include "app/Application.h"
#include "app/Form19.h"
#include "app/NoteEditor.h"
#include "app/ReadingWindow.h"
#include "bench/BenchFile.h"
#include "bench/Floor.h"
#include "data/DatabaseError.h"
#include "data/DrugConnection.h"
#include "data/DrugFile.h"
#include "data/DrugSchema.h"
#include "data/Engine.h"
#include "data/NamesList.h"
#include "data/ServerConnection.h"
#include "data/ServerQuery.h"
#include "data/SqlTexts.h"
#include "data/Statement.h"
#include "data/UserFile.h"
#include "exchange/DrugPublish.h"
#include "leaflet/LeafletSections.h"
#include "pinyin/PinyinInitials.h"
#include "pinyin/PinyinReadings.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/PostgresServer.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextDocument>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

using BenchClock = std::chrono::steady_clock;

struct CannotRun : std::runtime_error {
    using std::runtime_error::runtime_error;
};

double millisecondsSince(BenchClock::time_point start) {
    return std::chrono::duration<double, std::milli>(BenchClock::now() - start).count();
}

template <typename Work> double timeMs(Work&& work) {
    const BenchClock::time_point start = BenchClock::now();
    work();
    return millisecondsSince(start);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void note(const char* format, auto... values) {
    std::fprintf(stderr, format, values...);
    std::fflush(stderr);
}

// A child process whose write end of a pipe is its file descriptor childFd.
struct Child {
    pid_t pid = -1;
    int output = -1;
    BenchClock::time_point started;
};

Child spawnChild(const QString& program, const QStringList& arguments, const QList<QByteArray>& environment,
                 int childFd) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw CannotRun("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], childFd);

    std::vector<QByteArray> storage;
    const QByteArray path = QFile::encodeName(program);
    storage.push_back(path);
    for (const QString& argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    std::vector<QByteArray> environmentStorage;
    for (char** entry = environ; *entry; ++entry) {
        const QByteArray variable(*entry);
        const QByteArray name = variable.left(variable.indexOf('=') + 1);
        if (name.isEmpty() || std::none_of(environment.begin(), environment.end(),
                                           [&](const QByteArray& given) { return given.startsWith(name); }))
            environmentStorage.push_back(variable);
    }
    for (const QByteArray& variable : environment)
        environmentStorage.push_back(variable);
    std::vector<char*> envp;
    for (QByteArray& variable : environmentStorage)
        envp.push_back(variable.data());
    envp.push_back(nullptr);

    Child child;
    child.started = BenchClock::now();
    const int rc = posix_spawn(&child.pid, path.constData(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        throw CannotRun("cannot start " + program.toStdString());
    }
    child.output = fds[0];
    return child;
}

// Everything the child writes until it ends (or one minute passes: then it is killed).
QByteArray finish(Child& child) {
    QByteArray output;
    const BenchClock::time_point deadline = BenchClock::now() + std::chrono::minutes(1);
    char buffer[4096];
    for (;;) {
        pollfd wait{child.output, POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - BenchClock::now()).count();
        if (left <= 0 || poll(&wait, 1, static_cast<int>(left)) <= 0) {
            kill(child.pid, SIGKILL);
            break;
        }
        const ssize_t got = read(child.output, buffer, sizeof buffer);
        if (got <= 0)
            break;
        output.append(buffer, got);
    }
    close(child.output);
    int status = 0;
    waitpid(child.pid, &status, 0);
    return output;
}

struct Paths {
    QString runFolder;     // a copy of the bench file and of the program, changed by the run
    QString defaultLayout; // the same drugs in the engine's default layout
    QString self;
};

// Milliseconds from starting the program until its event loop is idle with its window shown.
double startupMs(const QString& program, const QStringList& arguments = {}, const QList<QByteArray>& environment = {}) {
    Child child = spawnChild(program, arguments,
                             QList<QByteArray>{QByteArrayLiteral("QT_QPA_PLATFORM=offscreen"),
                                               QByteArrayLiteral("LD_PRELOAD=" XIYAO_IDLE_PROBE),
                                               QByteArrayLiteral("XIYAO_IDLE_FD=3")} +
                                 environment,
                             3);
    const QByteArray output = finish(child);
    if (output.size() != sizeof(std::int64_t))
        throw CannotRun("no idle report from " + program.toStdString());
    std::int64_t idle = 0;
    std::memcpy(&idle, output.constData(), sizeof idle);
    const auto startedNs = std::chrono::duration_cast<std::chrono::nanoseconds>(child.started.time_since_epoch());
    return double(idle - startedNs.count()) / 1e6;
}

double childNumber(const Paths& paths, const QStringList& arguments) {
    Child child = spawnChild(paths.self, arguments, {QByteArrayLiteral("QT_QPA_PLATFORM=offscreen")}, 1);
    bool ok = false;
    const double value = QString::fromLatin1(finish(child)).trimmed().toDouble(&ok);
    if (!ok)
        throw CannotRun("no answer from " + arguments.join(u' ').toStdString());
    return value;
}

// Three letters of pinyin as a user types them: the complete initials of a generated name's
// first three characters.
QString pinyinSearchText(const QString& name) {
    return pinyin::completeInitials(name).left(3);
}

// One leaflet of about megabytes of UTF-8 as the reading window could be handed it: the generated
// leaflets' CR LF lines, with a known section's heading every five lines (a few hundred characters),
// the sections in their order, over and over. Also gives how many headings it holds.
QString generatedLongLeaflet(int megabytes, qsizetype& headings) {
    const QStringList& sections = knownSections();
    const qsizetype bytes = qsizetype(megabytes) * 1000 * 1000;
    QString text;
    qsizetype utf8 = 0;
    headings = 0;
    int line = 0;
    bench::generateDrugs(
        [&](const bench::GeneratedDrug& drug) {
            for (const QStringView body : QStringView(drug.leaflet).split(QStringLiteral("\r\n"))) {
                if (utf8 >= bytes)
                    return;
                if (line++ % 5 == 0) {
                    const QString heading = u'【' + sections[headings++ % sections.size()] + u'】';
                    text += heading;
                    utf8 += 3 * heading.size();
                }
                text += body;
                text += QStringLiteral("\r\n");
                utf8 += 3 * body.size() + 2;
            }
        },
        static_cast<int>(std::min<qsizetype>(bytes / 1000, bench::Drugs))); // a leaflet holds over 1,200 bytes
    return text;
}

// The child modes.

int deriveKeyChild(const QString& path) {
    DrugConnection connection;
    const double ms = timeMs([&] { connection.openFile(path, DrugPassword); });
    std::printf("%.3f\n", ms);
    return 0;
}

int peakMemoryChild(int argc, char* argv[], const QString& folder, const QString& pinyinText) {
    QApplication application(argc, argv);
    prepareApplication();
    DrugFile drugFile(folder);
    const QTemporaryDir userFolder;
    UserFile userFile(userFolder.filePath(QStringLiteral("user-store.db")));
    FakePlatform fakes;
    Form19 form(fakes.platform, drugFile, userFile);
    if (!form.isLoaded())
        return 1;
    form.show();
    QApplication::processEvents();
    form.FillDrugList(FullTableQuery);
    QApplication::processEvents();
    form.findDrugs(pinyinText, false); // the reading table in use
    QApplication::processEvents();
    std::printf("%.1f\n", bench::peakResidentMiB());
    return 0;
}

// A seat on a PostgreSQL server of the bench's own that holds the bench file's drugs: made at the
// first key that needs it, since publishing 100,000 drugs takes seconds.
struct BenchSeat {
    explicit BenchSeat(DrugConnection& benchFile) {
        if (const QString why = PostgresServer::unavailableReason(); !why.isEmpty())
            throw CannotRun(why.toStdString());
        if (const QString failed = server.start(); !failed.isEmpty())
            throw CannotRun(failed.toStdString());
        ServerConnection publishing;
        publishing.open(server.url());
        publishDrugs(benchFile, publishing, PublishMode::IntoEmpty);
        drugFile.useServer(server.url(), copy());
        form = std::make_unique<Form19>(fakes.platform, drugFile, userFile);
        if (!form->isLoaded())
            throw CannotRun("the seat could not open the server: " + fakes.dialogs.messages.join(u'\n').toStdString());
        form->show();
        QApplication::processEvents();
    }
    QString copy() const { return folder.filePath(QStringLiteral("xiyao/server-copy/qintabo.m")); }

    PostgresServer server;
    QTemporaryDir folder;
    FakePlatform fakes;
    DrugFile drugFile{folder.path()};
    UserFile userFile{folder.filePath(QStringLiteral("user-store.db"))};
    std::unique_ptr<Form19> form;
};

// The bench proper.

class QuickBench {
public:
    QuickBench(const Paths& paths, const QString& bench100k)
        : m_paths(paths)
        , m_names(bench::generatedNames())
        , m_drugFile(paths.runFolder)
        , m_userFile(m_userFolder.filePath(QStringLiteral("user-store.db")))
        , m_form(m_fakes.platform, m_drugFile, m_userFile) {
        if (!m_form.isLoaded())
            throw CannotRun("the main window could not open " + bench100k.toStdString());
        m_form.show();
        QApplication::processEvents();
        m_ours.openFile(QDir(paths.runFolder).filePath(DrugFileName), DrugPassword);
        m_defaultLayout = bench::openRaw(paths.defaultLayout, 1024);
    }
    ~QuickBench() { bench::closeRaw(m_defaultLayout); }

    struct Key {
        const char* name;
        int decimals;
        double (QuickBench::*measure)();
    };

    double refillRatio() {
        return listRatio([this] { keypadRefill(); }, keypadQuery(QStringLiteral("a")));
    }
    double reloadRatio() {
        return listRatio([this] { m_form.FillDrugList(FullTableQuery); }, FullTableQuery);
    }
    // A name search of the find window: one character of a generated name, found in about one
    // name in a thousand. A leaflet search is compared with a full reload on stderr.
    double findRatio() {
        const QString text = m_names.front().left(1);
        const QStringList parameters{likePattern(text)};
        const double ratio = listRatio([this, text] { m_form.findDrugs(text, false); }, FindInNamesQuery, parameters);
        std::vector<double> leafletMs, reloadMs;
        for (int pair = 0; pair < 3; ++pair) {
            leafletMs.push_back(timeMs([&] { m_form.findDrugs(text, true); }));
            reloadMs.push_back(timeMs([&] { m_form.FillDrugList(FullTableQuery); }));
            QApplication::processEvents();
        }
        requireNoMessage();
        note("  leaflet search for \"%s\": %.1f ms, full reload %.1f ms\n", qPrintable(text), median(leafletMs),
             median(reloadMs));
        return ratio;
    }
    // The keypad's "a" at a seat, against the same query through psql into /dev/null (a new psql
    // each run, as the seat's own connection is open already: the floor includes psql's start).
    double serverRefillRatio() {
        BenchSeat& seat = benchSeat();
        const auto refill = [&seat] {
            seat.form->keypadState().KeypadLetters = QStringLiteral("a");
            seat.form->keypadState().KeypadActive = 1;
            seat.form->Form_Activate();
        };
        const QString psql = QDir(seat.server.binFolder()).filePath(QStringLiteral("psql"));
        const auto runPsql = [&](const QString& sql) {
            QProcess process;
            process.setStandardOutputFile(QProcess::nullDevice());
            process.start(psql, {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-d"), seat.server.url(),
                                 QStringLiteral("-c"), sql});
            if (!process.waitForFinished(60000) || process.exitCode() != 0)
                throw CannotRun("psql failed: " + process.readAllStandardError().toStdString());
        };
        // The text the seat sends for the keypad's "a", its parameter written in.
        QStringList columns;
        for (const QString& column : serverRowColumns())
            columns.append(quotedIdentifier(column));
        const QString sql = QStringLiteral("SELECT %1 FROM \"西药\" WHERE translate(\"拼音\", "
                                           "'ABCDEFGHIJKLMNOPQRSTUVWXYZ', 'abcdefghijklmnopqrstuvwxyz') LIKE '%a%' "
                                           "ORDER BY \"编号\"")
                                .arg(columns.join(QStringLiteral(", ")));
        refill();
        if (!seat.fakes.dialogs.messages.isEmpty())
            throw CannotRun("the seat said: " + seat.fakes.dialogs.messages.join(u'\n').toStdString());
        keypadRefill(); // the file's list, for the count
        if (seat.form->resultList().resultSize() != m_form.resultList().resultSize())
            throw CannotRun("the seat and the file list different drugs");
        std::vector<double> seatMs, psqlMs, ratios;
        for (int pair = 0; pair < 6; ++pair) {
            const double a = timeMs(refill);
            const double b = timeMs([&] { runPsql(sql); });
            seatMs.push_back(a);
            psqlMs.push_back(b);
            ratios.push_back(a / b);
            QApplication::processEvents();
        }
        note("  seat %.1f ms, psql %.1f ms (%lld drugs)\n", median(seatMs), median(psqlMs),
             static_cast<long long>(seat.form->resultList().resultSize()));
        return median(ratios);
    }

    // A row click at a seat: the leaflet shown from the refilled list (median of 230).
    double serverClickMs() {
        BenchSeat& seat = benchSeat();
        seat.form->FillDrugList(FullTableQuery);
        std::vector<double> times;
        for (int round = 0; round < 10; ++round) {
            for (int row = 0; row < ResultList::VisibleRows; ++row)
                times.push_back(timeMs([&] { seat.form->Label4_Click(row); }));
            QApplication::processEvents();
        }
        if (!seat.form->chosenDrug())
            throw CannotRun("the click chose nothing");
        return median(times);
    }

    // The program's start-up as a seat of the bench server over its start-up on the file (median of
    // 7 each, in turn). The first seat start writes the offline copy; the ones measured find it current.
    double serverStartupRatio() {
        BenchSeat& seat = benchSeat();
        const QString program = QDir(m_paths.runFolder).filePath(QStringLiteral("xiyao"));
        const QStringList server{QStringLiteral("--server"), seat.server.url()};
        const QList<QByteArray> home{QByteArrayLiteral("XDG_DATA_HOME=") + QFile::encodeName(seat.folder.path())};
        startupMs(program, server, home);
        std::vector<double> seatMs, fileMs;
        for (int run = 0; run < 7; ++run) {
            seatMs.push_back(startupMs(program, server, home));
            fileMs.push_back(startupMs(program, {}, home));
        }
        note("  seat %.1f ms, file %.1f ms\n", median(seatMs), median(fileMs));
        return median(seatMs) / median(fileMs);
    }

    double modifyExtraMs() { return changeExtraMs(&Form19::Image7_Click, true); }
    double deleteExtraMs() { return changeExtraMs(&Form19::Image11_Click, false); }
    // The pinyin text is handed over: the generated names would weigh on the child's peak.
    double peakMemoryMb() {
        return childNumber(m_paths,
                           {QStringLiteral("--peak-memory"), m_paths.runFolder, pinyinSearchText(m_names.front())});
    }

    qint64 listed() const { return m_form.resultList().ListCount.integer().value_or(-1); }

    BenchSeat& benchSeat() {
        if (!m_seat)
            m_seat = std::make_unique<BenchSeat>(m_ours);
        return *m_seat;
    }

    void keypadRefill() {
        m_form.keypadState().KeypadLetters = QStringLiteral("a");
        m_form.keypadState().KeypadActive = 1;
        m_form.Form_Activate();
    }

    void requireNoMessage() {
        if (!m_fakes.dialogs.messages.isEmpty())
            throw CannotRun("the program said: " + m_fakes.dialogs.messages.join(u'\n').toStdString());
    }

    // The program's refill over the floor, paired run by run (in turn first and second),
    // median of the pairs; both must list the same rows.
    // A pinyin search of the find window against the floor of today's name search for the same
    // letters: the search the letters made before they were also read as pinyin.
    double pinyinFindRatio() {
        const QString text = pinyinSearchText(m_names.front());
        const QStringList parameters{likePattern(text)};
        note("  pinyin \"%s\"\n", qPrintable(text));
        return listRatio([this, text] { m_form.findDrugs(text, false); }, FindInNamesQuery, parameters,
                         RowCheck::ProgramFindsMore);
    }

    enum class RowCheck { Same, ProgramFindsMore };
    double listRatio(const std::function<void()>& refill, const QString& sql, const QStringList& parameters = {},
                     RowCheck check = RowCheck::Same) {
        bench::FloorLoop floor(engineHandle(m_ours));
        refill();
        requireNoMessage();
        const qint64 floorRows = floor.run(sql, parameters);
        if (check == RowCheck::ProgramFindsMore ? listed() < floorRows || listed() == 0 : listed() != floorRows)
            throw CannotRun(QStringLiteral("the list holds %1 rows, the engine gives %2")
                                .arg(listed())
                                .arg(floorRows)
                                .toStdString());
        std::vector<double> programMs, floorMs, ratios;
        for (int pair = 0; pair < 6; ++pair) {
            double program = 0, engine = 0;
            if (pair % 2 == 0) {
                program = timeMs(refill);
                engine = timeMs([&] { floor.run(sql, parameters); });
            } else {
                engine = timeMs([&] { floor.run(sql, parameters); });
                program = timeMs(refill);
            }
            QApplication::processEvents();
            programMs.push_back(program);
            floorMs.push_back(engine);
            ratios.push_back(program / engine);
        }
        requireNoMessage();
        note("  %lld rows (floor %lld): program %.1f ms, floor %.1f ms\n", static_cast<long long>(listed()),
             static_cast<long long>(floorRows), median(programMs), median(floorMs));
        return median(ratios);
    }

    double layoutRatio() {
        const QString sql = keypadQuery(QStringLiteral("a"));
        bench::FloorLoop ours(engineHandle(m_ours));
        bench::FloorLoop other(m_defaultLayout);
        ours.run(sql);
        other.run(sql);
        std::vector<double> oursMs, otherMs, ratios;
        for (int pair = 0; pair < 6; ++pair) {
            const double a = timeMs([&] { ours.run(sql); });
            const double b = timeMs([&] { other.run(sql); });
            oursMs.push_back(a);
            otherMs.push_back(b);
            ratios.push_back(a / b);
        }
        note("  our layout %.1f ms, default layout %.1f ms\n", median(oursMs), median(otherMs));
        return median(ratios);
    }

    void fillBoxes(int drug) {
        const bench::GeneratedDrug generated = sampleDrug(drug);
        m_form.Text11->setText(generated.chineseName);
        m_form.Text6->setText(generated.englishName);
        m_form.Text1->setText(generated.leaflet);
    }

    bench::GeneratedDrug sampleDrug(int index) {
        // A drug as the generator makes them: a leaflet of 8-15 lines, 600 characters on average.
        static const bench::GeneratedDrug first = [] {
            bench::GeneratedDrug found;
            bench::generateDrugs([&](const bench::GeneratedDrug& drug) { found = drug; }, 1);
            return found;
        }();
        bench::GeneratedDrug drug = first;
        drug.chineseName = m_names[index % m_names.size()];
        return drug;
    }

    void requireStored() {
        if (m_fakes.dialogs.messages.size() != 1 || m_fakes.dialogs.messages.front() != QStringLiteral("ok ！"))
            throw CannotRun("not stored: " + m_fakes.dialogs.messages.join(u'\n').toStdString());
        m_fakes.dialogs.messages.clear();
    }

    static constexpr int EditRuns = 7;

    double addMs() {
        std::vector<double> times;
        for (int run = 0; run <= EditRuns; ++run) {
            fillBoxes(run);
            const double ms = timeMs([this] { m_form.Image13_Click(); });
            requireStored();
            if (run > 0) // the first add also builds the initials' table
                times.push_back(ms);
        }
        note("  adds: %.1f to %.1f ms\n", *std::min_element(times.begin(), times.end()),
             *std::max_element(times.begin(), times.end()));
        return median(times);
    }

    // A change of the drug chosen in the list, minus the list reload inside it, which the
    // window's refill signals bracket.
    double changeExtraMs(void (Form19::*handler)(), bool editBoxes) {
        m_form.FillDrugList(FullTableQuery);
        std::vector<double> extras, reloads;
        int refills = 0;
        double refillMs = 0;
        BenchClock::time_point refillStart;
        const QMetaObject::Connection started =
            QObject::connect(&m_form, &Form19::listRefillStarted, [&] { refillStart = BenchClock::now(); });
        const QMetaObject::Connection ended = QObject::connect(&m_form, &Form19::listRefilled, [&] {
            refillMs += millisecondsSince(refillStart);
            ++refills;
        });
        for (int run = 0; run <= EditRuns; ++run) {
            m_form.Label4_Click(0);
            if (editBoxes)
                m_form.Text6->setText(m_form.Text6->text() + QStringLiteral(" N"));
            refills = 0;
            refillMs = 0;
            const double ms = timeMs([&] { (m_form.*handler)(); });
            requireStored();
            if (refills != 1)
                throw CannotRun("the handler did not reload the list once");
            QApplication::processEvents();
            if (run > 0) {
                extras.push_back(ms - refillMs);
                reloads.push_back(refillMs);
            }
        }
        QObject::disconnect(started);
        QObject::disconnect(ended);
        note("  reload inside the handler: %.1f ms\n", median(reloads));
        return median(extras);
    }

    double clickUs() {
        m_form.FillDrugList(FullTableQuery);
        QApplication::processEvents();
        if (listed() < bench::Drugs)
            throw CannotRun("the list is not full");
        // Each handler 101 times in a row, the pending repaints only afterwards.
        const auto medianUs = [](const std::function<void(int)>& click) {
            std::vector<double> times;
            for (int i = 0; i < 101; ++i)
                times.push_back(timeMs([&] { click(i); }) * 1000);
            QApplication::processEvents();
            return median(times);
        };
        const double arrow = medianUs([this](int) { m_form.Label12_Click(); });
        m_form.Picture1_MouseDown(Qt::LeftButton, Qt::NoModifier, 0, 90);
        // Each move takes the thumb one pixel further down.
        const double thumb =
            medianUs([this](int) { m_form.Picture1_MouseMove(Qt::LeftButton, Qt::NoModifier, 0, 105); });
        m_form.Picture1_MouseUp(Qt::LeftButton, Qt::NoModifier, 0, 105);
        const double row = medianUs([this](int i) { m_form.Label4_Click(i % Form19::VisibleRows); });
        note("  arrow %.0f us, thumb %.0f us, row %.0f us\n", arrow, thumb, row);
        return std::max({arrow, thumb, row});
    }

    double pinyinMcharsPerSecond() {
        m_form.FillDrugList(FullTableQuery);
        qint64 characters = 0;
        for (const QString& name : std::as_const(m_names))
            characters += name.size();
        std::vector<double> seconds;
        qint64 letters = 0;
        for (int pass = 0; pass < 11; ++pass) {
            seconds.push_back(timeMs([&] {
                                  for (const QString& name : std::as_const(m_names))
                                      letters += PinyinInitials(name).size();
                              }) /
                              1000);
        }
        if (letters == 0)
            throw CannotRun("no initials");
        return double(characters) / median(seconds) / 1e6;
    }

    double startupRatio() {
        const QString program = QDir(m_paths.runFolder).filePath(QStringLiteral("xiyao"));
        const QString file = QDir(m_paths.runFolder).filePath(DrugFileName);
        std::vector<double> programMs, bareMs, keyMs;
        startupMs(program); // loads the libraries into the page cache
        startupMs(QStringLiteral(XIYAO_BARE_WINDOW));
        for (int run = 0; run < 9; ++run) {
            programMs.push_back(startupMs(program));
            bareMs.push_back(startupMs(QStringLiteral(XIYAO_BARE_WINDOW)));
            keyMs.push_back(childNumber(m_paths, {QStringLiteral("--derive-key"), file}));
        }
        note("  program %.1f ms, bare window %.1f ms, key derivation %.1f ms\n", median(programMs), median(bareMs),
             median(keyMs));
        return median(programMs) / (median(bareMs) + median(keyMs));
    }

    // The reading window's split of a 10 MB leaflet into its sections (median of 5).
    double readerSectionsMs() {
        qsizetype headings = 0;
        const QString leaflet = generatedLongLeaflet(10, headings);
        std::vector<double> times;
        qsizetype parts = 0;
        for (int run = 0; run < 5; ++run)
            times.push_back(timeMs([&] { parts = LeafletSections(leaflet).parts().size(); }));
        if (parts != headings)
            throw CannotRun(QStringLiteral("the leaflet has %1 headings, the split found %2 parts")
                                .arg(headings)
                                .arg(parts)
                                .toStdString());
        note("  %.1f MB of UTF-8, %lld parts: %.1f to %.1f ms\n", leaflet.toUtf8().size() / 1e6,
             static_cast<long long>(parts), *std::min_element(times.begin(), times.end()),
             *std::max_element(times.begin(), times.end()));
        return median(times);
    }

    // The reading window on a 1 MB leaflet, opened and painted, over the floor of a bare
    // QTextDocument laid out with the same text at the window's width.
    double readerOpenRatio() {
        const QString leaflet = megabyteLeaflet();
        return readerRatio([&] {
            ReadingWindow window({1, QStringLiteral("药"), QString(), leaflet}, m_fakes.platform);
            window.show();
            QApplication::processEvents();
        });
    }
    // Every match of a two-letter text in that leaflet highlighted, over the same floor.
    double readerHighlightRatio() {
        const QString leaflet = megabyteLeaflet();
        ReadingWindow window({1, QStringLiteral("药"), QString(), leaflet}, m_fakes.platform);
        window.show();
        QApplication::processEvents();
        const QString text = commonestPair(leaflet);
        const double ratio = readerRatio([&] {
            window.findInLeaflet(QString());
            window.findInLeaflet(text);
            QApplication::processEvents();
        });
        if (window.matchCount() < 100)
            throw CannotRun("too few matches of " + text.toStdString());
        note("  \"%s\": %d matches\n", qPrintable(text), window.matchCount());
        return ratio;
    }

    // What the user keeps, against the same statements run bare on the engine, on a store of
    // the same shape, with the same pragmas (write-ahead log, a sync at each commit).
    // 收藏 (Ctrl+D) on the chosen drug, marked and unmarked in turn: the store's look-up and write.
    double favouriteRatio() {
        m_form.FillDrugList(FullTableQuery);
        m_form.Label4_Click(0);
        const std::optional<DrugNames> drug = m_form.chosenNames();
        BareStore bare(m_userFolder.filePath(QStringLiteral("bare-favourites.db")));
        const auto floor = [&](bool mark) {
            bare.run(QStringLiteral("SELECT 1 FROM \"收藏\" WHERE 中文名 = ?1 AND 英文名 = ?2"), *drug);
            bare.run(mark ? QStringLiteral("INSERT OR IGNORE INTO \"收藏\" (中文名, 英文名, 顺序) "
                                           "SELECT ?1, ?2, coalesce(max(顺序), 0) + 1 FROM \"收藏\"")
                          : QStringLiteral("DELETE FROM \"收藏\" WHERE 中文名 = ?1 AND 英文名 = ?2"),
                     *drug);
        };
        int turn = 0;
        const double ratio = storeRatio([&] { m_form.toggleFavourite(); }, [&] { floor(turn++ % 2 == 0); });
        requireNoMessage();
        return ratio;
    }
    // A 10 KB note saved from the reading window.
    double noteSaveRatio() {
        m_form.FillDrugList(FullTableQuery);
        m_form.Label4_Click(0);
        const DrugNames drug = *m_form.chosenNames();
        m_form.openReadingWindow();
        ReadingWindow* window = m_form.readingWindows().value(0);
        if (!window)
            throw CannotRun("no reading window");
        // 10 KB of UTF-8, in lines as the box keeps them (LF).
        const QString note = sampleDrug(0).leaflet.repeated(10).remove(u'\r').left(10 * 1024 / 3);
        BareStore bare(m_userFolder.filePath(QStringLiteral("bare-notes.db")));
        int version = 0;
        QString saved;
        const double ratio = storeRatio(
            [&] { window->noteEditor->saveNow(); },
            [&] {
                const QString text = note + QString::number(version++);
                bare.run(QStringLiteral("BEGIN IMMEDIATE"));
                bare.run(QStringLiteral("INSERT OR IGNORE INTO \"笔记\" (中文名, 英文名, 内容, 顺序) "
                                        "SELECT ?1, ?2, ?3, coalesce(max(顺序), 0) + 1 FROM \"笔记\""),
                         drug, text);
                bare.run(QStringLiteral("UPDATE \"笔记\" SET 内容 = ?3 WHERE 中文名 = ?1 AND 英文名 = ?2"), drug, text);
                bare.run(QStringLiteral("COMMIT"));
            },
            [&] { // the typing, which is not the save
                saved = note + QString::number(version++);
                window->noteEditor->textBox->setPlainText(saved);
            });
        const QString stored = UserStore(m_userFile.path()).note(drug);
        if (stored != saved)
            throw CannotRun(QStringLiteral("the note was not saved: %1 characters stored, %2 typed; %3")
                                .arg(stored.size())
                                .arg(saved.size())
                                .arg(window->noteEditor->statusLabel->text())
                                .toStdString());
        window->close();
        requireNoMessage();
        return ratio;
    }
    // 最近查看 with 50 drugs viewed: the store read, then the list filled from the drug file.
    double recentFillRatio() {
        m_form.FillDrugList(FullTableQuery);
        const ResultList& list = m_form.resultList();
        for (qint64 entry = 0; entry < 50; ++entry) // drugs from all over the file
            m_userFile.store().recordViewed(
                {list.RowChineseName[entry * 1999].toText(), list.RowEnglishName[entry * 1999].toText()});
        const QList<DrugNames> recent = m_userFile.store().recent();
        if (recent.size() != 50)
            throw CannotRun("50 drugs were not recorded as viewed");
        defineListedFunction(m_ours);
        return listRatio([this] { m_form.showRecent(); }, ListedDrugsQuery, {namesListText(recent)});
    }

private:
    // A store made by the program's own code, then written through the bare engine.
    class BareStore {
    public:
        explicit BareStore(const QString& path) {
            UserStore{path}; // the tables
            if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) !=
                SQLITE_OK)
                throw CannotRun("cannot open " + path.toStdString());
            run(QStringLiteral("PRAGMA journal_mode = WAL"));
            run(QStringLiteral("PRAGMA synchronous = FULL"));
        }
        ~BareStore() { sqlite3_close_v2(m_db); }
        void run(const QString& sql, const std::optional<DrugNames>& drug = {}, const QString& text = {}) {
            sqlite3_stmt* statement = nullptr;
            const QByteArray sqlText = sql.toUtf8();
            if (sqlite3_prepare_v2(m_db, sqlText.constData(), int(sqlText.size()), &statement, nullptr) != SQLITE_OK)
                throw CannotRun(std::string("cannot prepare: ") + sqlite3_errmsg(m_db));
            QByteArray values[3];
            if (drug) {
                values[0] = drug->chineseName.toUtf8();
                values[1] = drug->englishName.toUtf8();
                values[2] = text.toUtf8();
                for (int i = 0; i < sqlite3_bind_parameter_count(statement); ++i)
                    sqlite3_bind_text(statement, i + 1, values[i].constData(), int(values[i].size()), SQLITE_STATIC);
            }
            while (sqlite3_step(statement) == SQLITE_ROW) {
            }
            sqlite3_finalize(statement);
        }

    private:
        sqlite3* m_db = nullptr;
    };

    // The program's work over its floor, paired run by run (in turn first and second), median
    // of 10 pairs; beforeProgram readies each run of the program, untimed.
    double storeRatio(
        const std::function<void()>& program, const std::function<void()>& floor,
        const std::function<void()>& beforeProgram = [] {}) {
        beforeProgram();
        program();
        floor();
        std::vector<double> programMs, floorMs, ratios;
        for (int pair = 0; pair < 10; ++pair) {
            double ours = 0, bare = 0;
            beforeProgram();
            if (pair % 2 == 0) {
                ours = timeMs(program);
                bare = timeMs(floor);
            } else {
                bare = timeMs(floor);
                ours = timeMs(program);
            }
            QApplication::processEvents();
            programMs.push_back(ours);
            floorMs.push_back(bare);
            ratios.push_back(ours / bare);
        }
        note("  program %.2f ms, floor %.2f ms\n", median(programMs), median(floorMs));
        return median(ratios);
    }

private:
    // The two letters that come together most often in text: a search with many matches.
    static QString commonestPair(const QString& text) {
        QHash<QString, int> counts;
        for (qsizetype i = 0; i + 1 < text.size(); ++i) {
            if (text[i].isLetter() && text[i + 1].isLetter())
                ++counts[text.mid(i, 2)];
        }
        QString best;
        int most = 0;
        for (auto pair = counts.cbegin(); pair != counts.cend(); ++pair) {
            if (pair.value() > most || (pair.value() == most && pair.key() < best)) {
                best = pair.key();
                most = pair.value();
            }
        }
        return best;
    }

    QString megabyteLeaflet() {
        qsizetype headings = 0;
        return generatedLongLeaflet(1, headings);
    }

    double readerRatio(const std::function<void()>& work) {
        const QString leaflet = megabyteLeaflet();
        const auto floor = [&leaflet] {
            QTextDocument document;
            document.setPlainText(leaflet);
            document.setTextWidth(550);
            return document.size().height();
        };
        std::vector<double> ratios, programMs, floorMs;
        for (int pair = 0; pair < 5; ++pair) {
            const double program = timeMs(work);
            const double bare = timeMs(floor);
            programMs.push_back(program);
            floorMs.push_back(bare);
            ratios.push_back(program / bare);
        }
        note("  program %.1f ms, floor %.1f ms\n", median(programMs), median(floorMs));
        return median(ratios);
    }

    Paths m_paths;
    QStringList m_names;
    FakePlatform m_fakes;
    DrugFile m_drugFile;
    QTemporaryDir m_userFolder;
    UserFile m_userFile;
    Form19 m_form;
    DrugConnection m_ours;
    sqlite3* m_defaultLayout = nullptr;
    std::unique_ptr<BenchSeat> m_seat; // before m_ours goes
};

// One row per printed key, in the printed order. A list refill against its floor is
// one listRatio() call: the program's refill, its SQL and its parameters.
constexpr QuickBench::Key Keys[] = {
    {"refill_ratio", 3, &QuickBench::refillRatio},
    {"reload_ratio", 3, &QuickBench::reloadRatio},
    {"layout_ratio", 3, &QuickBench::layoutRatio},
    {"add_ms", 1, &QuickBench::addMs},
    {"modify_extra_ms", 1, &QuickBench::modifyExtraMs},
    {"delete_extra_ms", 1, &QuickBench::deleteExtraMs},
    {"click_us", 0, &QuickBench::clickUs},
    {"pinyin_mchars_per_s", 1, &QuickBench::pinyinMcharsPerSecond},
    {"startup_ratio", 3, &QuickBench::startupRatio},
    {"rss_mb", 1, &QuickBench::peakMemoryMb},
    {"find_ratio", 3, &QuickBench::findRatio},
    {"pinyin_find_ratio", 3, &QuickBench::pinyinFindRatio},
    {"reader_sections_ms", 1, &QuickBench::readerSectionsMs},
    {"reader_open_ratio", 3, &QuickBench::readerOpenRatio},
    {"reader_highlight_ratio", 3, &QuickBench::readerHighlightRatio},
    {"favourite_ratio", 3, &QuickBench::favouriteRatio},
    {"note_save_ratio", 3, &QuickBench::noteSaveRatio},
    {"recent_fill_ratio", 3, &QuickBench::recentFillRatio},
    {"server_refill_ratio", 3, &QuickBench::serverRefillRatio},
    {"server_click_ms", 3, &QuickBench::serverClickMs},
    {"server_startup_ratio", 3, &QuickBench::serverStartupRatio},
};

Paths prepareRun(const QString& self) {
    const bench::BenchFiles files = bench::ensureBenchFiles();
    const QDir run(QDir(bench::benchFolder()).filePath(QStringLiteral("run")));
    run.mkpath(QStringLiteral("."));
    // The run changes its own copy; the generated file stays as made.
    for (const auto& [from, to] : {std::pair{files.ours, run.filePath(DrugFileName)},
                                   std::pair{QStringLiteral(XIYAO_PROGRAM), run.filePath(QStringLiteral("xiyao"))}}) {
        QFile::remove(to);
        if (!QFile::copy(from, to))
            throw CannotRun("cannot copy " + from.toStdString());
    }
    return {run.path(), files.defaultLayout, self};
}

} // namespace

int main(int argc, char* argv[]) {
    const QString self = QFile::decodeName(argv[0]);
    if (argc == 3 && qstrcmp(argv[1], "--derive-key") == 0)
        return deriveKeyChild(QFile::decodeName(argv[2]));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        // Qt warns on every start without one; the children inherit it.
        const QString runtime = QDir::temp().filePath(QStringLiteral("xiyao-bench-runtime"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    }
    if (argc == 4 && qstrcmp(argv[1], "--peak-memory") == 0)
        return peakMemoryChild(argc, argv, QFile::decodeName(argv[2]), QString::fromUtf8(argv[3]));
    try {
        const Paths paths = prepareRun(QFileInfo(self).absoluteFilePath());
        QApplication application(argc, argv);
        // Keys named on the command line are measured alone (for profiling one of them).
        const QStringList only = QApplication::arguments().mid(1);
        prepareApplication();
        QuickBench bench(paths, paths.runFolder);
        std::vector<std::pair<const char*, QString>> results;
        for (const QuickBench::Key& key : Keys) {
            if (!only.isEmpty() && !only.contains(QLatin1String(key.name)))
                continue;
            note("%s ...\n", key.name);
            const double value = (bench.*key.measure)();
            results.emplace_back(key.name, QString::number(value, 'f', key.decimals));
        }
        for (const auto& [name, value] : results)
            std::printf("%s=%s\n", name, qPrintable(value));
        return 0;
    } catch (const CannotRun& error) {
        note("the quick bench cannot run: %s\n", error.what());
    } catch (const DatabaseError& error) {
        note("the quick bench cannot run: %s\n", qPrintable(error.message()));
    }
    return 1;
}
