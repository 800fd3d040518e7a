// The skinned window: dragged by its background (SkinnedWindow), minimised by a double-click,
// the home page and the exit button.

#include "app/Form19.h"

#include "app/AboutWindow.h"
#include "data/UserFile.h"
#include "platform/Twips.h"

#include <QMouseEvent>

void Form19::Form_MouseMove(Qt::MouseButton button, Qt::KeyboardModifiers shift, double x, double y) {
    // Takes back the highlight of the row the pointer has left.
    for (ListRow* row : Label4)
        row->setForeColor(ButtonTextColor);
    SkinnedWindow::Form_MouseMove(button, shift, x, y);
}

void Form19::Form_DblClick() {
    setWindowState((windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen)) | Qt::WindowMinimized);
}

void Form19::Image10_Click() {
    m_platform.urls.open(HomePageAddress);
}

void Form19::Image6_Click() {
    // The process ends at once: no window's note may be left unsaved.
    if (!notesSavedBeforeLeaving())
        return;
    m_platform.process.endProcess(0);
}

void Form19::mouseDoubleClickEvent(QMouseEvent*) {
    Form_DblClick();
}

void Form19::openAboutWindow() {
    if (!m_aboutWindow) {
        m_aboutWindow = new AboutWindow(m_drugFile, m_userFile.path());
        m_aboutWindow->setAttribute(Qt::WA_DeleteOnClose);
    } else {
        m_aboutWindow->refresh();
    }
    m_aboutWindow->show();
    m_aboutWindow->raise();
    m_aboutWindow->activateWindow();
}

AboutWindow* Form19::aboutWindow() const {
    return m_aboutWindow;
}
