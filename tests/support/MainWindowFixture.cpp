#include "tests/support/MainWindowFixture.h"

#include "app/Application.h"
#include "keypad/Form2.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>

MainWindowFixture::MainWindowFixture() {
    // Another program's lock fails a statement at once instead of after a second.
    drugFile.connection().setBusyTimeout(ShortBusyTimeout);
    if (drugsOnServer())
        drugFile.useServer(testServerUrl(), userFolder.filePath(QStringLiteral("xiyao/server-copy/qintabo.m")));
}

Form19& MainWindowFixture::open() {
    m_form = std::make_unique<Form19>(fakes.platform, drugFile, userFile);
    if (m_form->isLoaded()) {
        m_form->show();
        m_form->activateWindow();
        QApplication::processEvents();
    }
    return *m_form;
}

QStringList MainWindowFixture::rowCaptions() const {
    QStringList captions;
    for (const ListRow* row : m_form->Label4)
        captions.append(row->caption());
    return captions;
}

void MainWindowFixture::comeBackFromAnotherWindow() {
    QWidget other;
    other.show();
    other.activateWindow();
    QTRY_VERIFY(QApplication::focusWindow() == other.windowHandle());
    m_form->activateWindow();
    QTRY_VERIFY(QApplication::focusWindow() == m_form->windowHandle());
}

void MainWindowFixture::search(const QString& letters) {
    m_form->Image4_Click();
    QApplication::processEvents();
    Form2* keypad = m_form->keypad();
    for (const QChar letter : letters)
        keypad->Command2_Click(letter.unicode() - u'a');
    keypad->Command1_Click();
    QTRY_VERIFY(QApplication::focusWindow() == m_form->windowHandle());
    QApplication::processEvents();
}

void prepareTestApplication() {
    prepareApplication();
}

void doubleClick(QWidget* widget, QPoint at) {
    const QPointF local(at);
    const QPointF global = widget->mapToGlobal(local);
    const auto send = [&](QEvent::Type type, Qt::MouseButtons held) {
        QMouseEvent event(type, local, global, Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    };
    send(QEvent::MouseButtonPress, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, Qt::NoButton);
    send(QEvent::MouseButtonPress, Qt::LeftButton);
    send(QEvent::MouseButtonDblClick, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, Qt::NoButton);
}
