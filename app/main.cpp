#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/Form19.h"
#include "data/DrugFile.h"
#include "data/OfflineCopy.h"
#include "data/UserFile.h"
#include "pinyin/Cp936.h"
#include "platform/SingleInstance.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    // The options that need no display are answered before any window system is reached.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CommandLine line = readCommandLine(arguments);
    switch (line.action) {
    case CommandLine::Action::Help:
        std::fputs(helpText().toUtf8().constData(), stdout);
        return 0;
    case CommandLine::Action::Version:
        std::fputs(versionText().toUtf8().constData(), stdout);
        return 0;
    case CommandLine::Action::Refused:
        std::fprintf(stderr, "xiyao：%s。用 xiyao --help 查看可用的选项。\n", line.problem.toUtf8().constData());
        return 2;
    case CommandLine::Action::InstallDesktopEntry: {
        QCoreApplication core(argc, argv);
        return installDesktopEntryCommand(line.arguments);
    }
    case CommandLine::Action::Run:
        break;
    }
    DrugFile drugFile(programFolderBeforeApplication());
    if (const std::optional<QString> server = seatServer(line, drugFile.programFolder()))
        drugFile.useServer(*server, offlineCopyPath());
    // One window per drug file: a second start brings the first one's window to the front.
    // Asked before the key is derived, so that the second start ends at once.
    SingleInstance instance(drugFile.path());
    switch (instance.start()) {
    case SingleInstance::Start::Activated:
        std::fputs("西药手册已在运行，已将它的窗口调到最前面。\n", stdout);
        return 0;
    case SingleInstance::Start::NotAnswering:
        std::fputs("西药手册已在运行（同一药品文件），但它没有回应。请切换到它的窗口，或结束它后再启动。\n", stderr);
        return 1;
    case SingleInstance::Start::First:
        break;
    }
    // The drug file's key takes longer to derive than anything before the window: it starts
    // first, and the window's load waits for it.
    drugFile.beginOpening();
    prepareForDisplay();
    QApplication application(argc, argv);
    prepareApplication();
    RealPlatform platform;
    // Without the converter every drug added or changed would be stored with wrong initials.
    if (!pinyin::cp936Available()) {
        const QString message = QStringLiteral("西药手册无法启动：") + pinyin::ConverterMissingMessage;
        std::fprintf(stderr, "%s\n", message.toUtf8().constData());
        platform.dialogs.inform(message);
        return 1;
    }
    // The user's favourites and notes: in the user's own folder, opened at their first use.
    UserFile userFile(UserStore::defaultPath());
    Form19 form(platform.platform, drugFile, userFile);
    if (!form.isLoaded())
        return 1;
    platform.dialogs.setParent(&form);
    instance.bringToFrontOnRequest(form, platform.clock);
    form.show();
    return QApplication::exec();
}
