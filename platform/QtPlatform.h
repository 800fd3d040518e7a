#pragma once

#include "platform/Seams.h"

class QWidget;

// The real services: Qt message boxes, the desktop's browser, the process itself.
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr)
        : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    bool askYesNo(const QString& prompt) override;
    void inform(const QString& message) override;

private:
    QWidget* m_parent;
};

// The desktop's own file dialog. It does not ask about a file that exists: the caller does,
// through Dialogs.
class QtFileChooser : public FileChooser {
public:
    explicit QtFileChooser(QWidget* parent = nullptr)
        : m_parent(parent) {}
    QString saveFileName(const QString& caption, const QString& proposedPath, const QString& filter) override;

private:
    QWidget* m_parent;
};

class QtUrlOpener : public UrlOpener {
public:
    void open(const QString& address) override;
};

class QtProcessEnder : public ProcessEnder {
public:
    void endProcess(int status) override;
};

class SteadyClock : public Clock {
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
    void after(std::chrono::milliseconds delay, QObject* context, std::function<void()> work) override;
};
