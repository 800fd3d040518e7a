// Preloaded into a Qt program (LD_PRELOAD) by the quick bench: when the program's event loop
// first waits with every shown top-level window exposed and painted, the probe writes the
// monotonic clock (nanoseconds, 8 bytes) to the file descriptor named by XIYAO_IDLE_FD and
// ends the process at once. The program itself is not changed.

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QWidget>
#include <QWindow>

#include <dlfcn.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace {

class PaintWatch : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            painted = true;
        return QObject::eventFilter(watched, event);
    }
};

bool shownAndPainted(const PaintWatch& watch) {
    bool shown = false;
    const auto windows = QApplication::topLevelWidgets();
    for (const QWidget* window : windows) {
        if (!window->isVisible())
            continue;
        if (!window->windowHandle() || !window->windowHandle()->isExposed())
            return false;
        shown = true;
    }
    return shown && watch.painted;
}

void reportAndEnd() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::int64_t nanoseconds = std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
    const char* fd = std::getenv("XIYAO_IDLE_FD");
    if (fd && write(std::atoi(fd), &nanoseconds, sizeof nanoseconds) != sizeof nanoseconds)
        _exit(2);
    _exit(0);
}

} // namespace

// Takes the place of Qt's own QApplication::exec, which it then runs.
int QApplication::exec() {
    auto* watch = new PaintWatch;
    qApp->installEventFilter(watch);
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, watch, [watch] {
        if (shownAndPainted(*watch))
            reportAndEnd();
    });
    using Exec = int (*)();
    static const auto real = reinterpret_cast<Exec>(dlsym(RTLD_NEXT, "_ZN12QApplication4execEv"));
    if (!real)
        _exit(3);
    return real();
}
