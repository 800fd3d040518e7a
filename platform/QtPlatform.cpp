#include "platform/QtPlatform.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include <cstdlib>

bool QtDialogs::askYesNo(const QString& prompt) {
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitle, prompt, QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setDefaultButton(QMessageBox::Yes);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("是(&Y)"));
    box.button(QMessageBox::No)->setText(QStringLiteral("否(&N)"));
    return box.exec() == QMessageBox::Yes;
}

void QtDialogs::inform(const QString& message) {
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitle, message, QMessageBox::Ok, m_parent);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.exec();
}

QString QtFileChooser::saveFileName(const QString& caption, const QString& proposedPath, const QString& filter) {
    return QFileDialog::getSaveFileName(m_parent, caption, proposedPath, filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

void QtUrlOpener::open(const QString& address) {
    // Whether a browser came up is not reported back: nothing is shown either way.
    QDesktopServices::openUrl(QUrl(address));
}

void QtProcessEnder::endProcess(int status) {
    // At once: every change is already on the disk, and nothing else needs to run.
    std::_Exit(status);
}

void SteadyClock::after(std::chrono::milliseconds delay, QObject* context, std::function<void()> work) {
    QTimer::singleShot(delay, context, std::move(work));
}
