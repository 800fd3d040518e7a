#include "platform/QtPlatform.h"
#include "tests/support/MainWindowFixture.h"

#include <QTemporaryDir>
#include <QtTest>

// Runs on a real display (Xvfb): the desktop's own path from the program to the browser.
class TestHomePage : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { prepareTestApplication(); }
    void homePageThroughTheDesktop();
};

void TestHomePage::homePageThroughTheDesktop() {
    // A stand-in browser launcher first on the PATH records the address it is given.
    QTemporaryDir bin;
    const QString record = bin.filePath(QStringLiteral("opened.txt"));
    QFile launcher(bin.filePath(QStringLiteral("xdg-open")));
    QVERIFY(launcher.open(QIODevice::WriteOnly));
    launcher.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '%1'\n").arg(record).toUtf8());
    launcher.close();
    launcher.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toLocal8Bit() + ':' + path);

    MainWindowFixture fixture;
    QtUrlOpener desktop;
    Platform platform{fixture.fakes.dialogs, fixture.fakes.printer, desktop, fixture.fakes.process, fixture.fakes.clock,
                      fixture.fakes.paper,   fixture.fakes.files};
    Form19 form(platform, fixture.drugFile, fixture.userFile);
    QVERIFY(form.isLoaded());
    form.Image10_Click();
    const auto recorded = [&record] {
        QFile opened(record);
        return opened.open(QIODevice::ReadOnly) ? QString::fromUtf8(opened.readAll()) : QString();
    };
    QTRY_COMPARE_WITH_TIMEOUT(recorded(), HomePageAddress + u'\n', 10000);
    QVERIFY(HomePageAddress.startsWith(QStringLiteral("http://")));
    qputenv("PATH", path);
}

QTEST_MAIN(TestHomePage)
#include "tst_homepage.moc"
