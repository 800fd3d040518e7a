#pragma once

#include "app/Form19.h"
#include "data/DrugFile.h"
#include "data/UserFile.h"
#include "tests/support/DrugFileFixture.h"
#include "tests/support/FakePlatform.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A main window on a temporary drug file, with doubles for every platform service. The
// keypad globals are reset, as at program start.
class MainWindowFixture {
public:
    MainWindowFixture();

    DrugFileFixture file;
    FakePlatform fakes;
    // What the window works on: the file above, as the program hands it its own.
    DrugFile drugFile{file.folder()};
    // The user's store, in a temporary folder of its own: a test never reaches the user's, and
    // the program folder holds only what the drug file does.
    QTemporaryDir userFolder;
    UserFile userFile{userFolder.filePath(QStringLiteral("xiyao/user-store.db"))};

    // Opens the window on the file as it is now; the drugs must be in the file before.
    Form19& open();
    Form19& form() { return *m_form; }

    // The captions of the 23 rows.
    QStringList rowCaptions() const;
    // Another window of the program becomes active, then the main window again.
    void comeBackFromAnotherWindow();
    // Runs the road of one search: 查找, the letters, 返回, and waits for the list refill.
    void search(const QString& letters);

private:
    std::unique_ptr<Form19> m_form;
};

// What the window system delivers to a widget for a double-click with the left button:
// press, release, the second press, the double-click, release.
void doubleClick(QWidget* widget, QPoint at = QPoint(2, 2));

// Sets up fonts and artwork as the program does; call once per test program.
void prepareTestApplication();
