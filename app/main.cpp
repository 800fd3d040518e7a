#include "app/Application.h"
#include "app/Form19.h"
#include "data/DrugFile.h"
#include "pinyin/Cp936.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    // Writing the desktop entry needs no display: it runs before any window system is reached.
    if (argc >= 2 && QString::fromLocal8Bit(argv[1]) == InstallDesktopEntryOption) {
        QCoreApplication core(argc, argv);
        return installDesktopEntryCommand(QCoreApplication::arguments().mid(2));
    }
    // The drug file's key takes longer to derive than anything before the window: it starts
    // first, and the window's load waits for it.
    DrugFile drugFile(programFolderBeforeApplication());
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
    Form19 form(platform.platform, drugFile);
    if (!form.isLoaded())
        return 1;
    platform.dialogs.setParent(&form);
    form.show();
    return QApplication::exec();
}
