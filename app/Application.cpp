#include "app/Application.h"

#include "desktop/DesktopEntry.h"
#include "platform/Fonts.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace {

QtMessageHandler qtMessageHandler = nullptr;

// Qt ends a program that cannot reach a display with an English message and an abort.
void sayNoDisplayInChinese(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg && message.contains(QLatin1String("no Qt platform plugin could be initialized"))) {
        const QByteArray display = qgetenv("DISPLAY");
        std::fprintf(stderr, "%s\n",
                     QStringLiteral("西药手册需要图形界面，但无法连接到显示器（DISPLAY=%1）。请在桌面上启动它。")
                         .arg(display.isEmpty() ? QStringLiteral("未设置") : QString::fromLocal8Bit(display))
                         .toUtf8()
                         .constData());
        std::_Exit(1);
    }
    if (qtMessageHandler)
        qtMessageHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, message).toLocal8Bit().constData());
}

} // namespace

void prepareForDisplay() {
    qtMessageHandler = qInstallMessageHandler(sayNoDisplayInChinese);
}

QString programFolderBeforeApplication() {
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
}

int installDesktopEntryCommand(const QStringList& arguments) {
    const QString target = arguments.value(0, userApplicationsFolder());
    const QString program = arguments.value(1, QCoreApplication::applicationDirPath());
    try {
        // A packaging install stages the program under DESTDIR (desktop/InstallPortableFolder.cmake).
        const QString written = writeDesktopEntry(program, target, qEnvironmentVariable("DESTDIR"));
        std::fprintf(
            stdout, "%s\n",
            QStringLiteral("已写入桌面启动项：%1").arg(QDir::toNativeSeparators(written)).toUtf8().constData());
        return 0;
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "%s\n",
                     (QStringLiteral("西药手册：") + QString::fromStdString(error.what())).toUtf8().constData());
        return 1;
    }
}

void prepareApplication() {
    // Qt's own texts (the boxes' context menus, standard dialogs) in Chinese like the rest.
    auto* qtTexts = new QTranslator(qApp);
    if (qtTexts->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtTexts);
    installSongSubstitution();
    QApplication::setApplicationName(QStringLiteral("xiyao"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/art/icon.png")));
}
