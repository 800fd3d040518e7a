#include "app/Application.h"
#include "app/Form19.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    PrepareApplication();
    RealPlatform platform;
    Form19 form(platform.platform);
    if (!form.isLoaded())
        return 1;
    platform.dialogs.setParent(&form);
    form.show();
    return QApplication::exec();
}
