#include "keypad/Form2.h"

#include "platform/Fonts.h"
#include "platform/Twips.h"
#include "resources/Artwork.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

namespace {

constexpr double kClientWidth = 3495;
constexpr double kClientHeight = 2670;

} // namespace

Form2::Form2(KeypadState& state, Clock& clock)
    : SkinnedWindow()
    , m_state(state)
    , m_clock(clock) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("字母查询器"));
    setWindowIcon(QIcon(QStringLiteral(":/art/icon.png")));
    setFixedSize(toPixels(kClientWidth), toPixels(kClientHeight));
    setMouseTracking(true);
    buildControls();
    // Keys reach whichever control has the focus; the keypad sees them first.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
    Form_Load();
}

void Form2::buildControls() {
    // The background picture and the frame take no mouse input: presses reach the window.
    Image1 = new QLabel(this);
    Image1->setGeometry(twipsRect(0, 0, 3495, 2655));
    Image1->setPixmap(artworkPixmap(QStringLiteral("keypad_background")));
    Image1->setScaledContents(true);
    Image1->setAttribute(Qt::WA_TransparentForMouseEvents);

    Shape1 = new QLabel(this);
    Shape1->setGeometry(twipsRect(0, 0, 3495, 2535));
    Shape1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Shape1->setAttribute(Qt::WA_TransparentForMouseEvents);

    Text1 = ownMouse(new QLineEdit(this));
    Text1->setGeometry(twipsRect(120, 1560, 3255, 375));
    // The letters come from the buttons only; typing here would not reach the search.
    Text1->setReadOnly(true);

    Command3 = ownMouse(new QPushButton(QStringLiteral("清除"), this));
    Command3->setGeometry(twipsRect(2520, 1200, 855, 300));
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });

    for (int k = 0; k < 26; ++k) {
        const int row = k / 7;
        const int column = k % 7;
        auto* button = ownMouse(new QPushButton(QString(QChar(u'a' + k)), this));
        button->setGeometry(twipsRect(120 + 480 * column, 120 + 360 * row, 375, 300));
        button->setFont(latinLetterFont(12, true));
        connect(button, &QPushButton::clicked, this, [this, k] { Command2_Click(k); });
        Command2[k] = button;
    }

    Command1 =
        ownMouse(new PictureButton(QStringLiteral("返回"), artworkPixmap(QStringLiteral("keypad_background")), this));
    Command1->setGeometry(twipsRect(120, 2040, 3255, 420));
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });

    // Tab order: the text box, 清除, the letters from z back to a, 返回.
    QWidget* previous = Text1;
    setTabOrder(previous, Command3);
    previous = Command3;
    for (int k = 25; k >= 0; --k) {
        setTabOrder(previous, Command2[k]);
        previous = Command2[k];
    }
    setTabOrder(previous, Command1);
}

bool Form2::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && typeKey(static_cast<QKeyEvent*>(event)))
        return true;
    return SkinnedWindow::eventFilter(watched, event);
}

bool Form2::typeKey(const QKeyEvent* key) {
    // With Ctrl or Alt the key is a shortcut (copying from the box, say), not a letter.
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const int code = key->key();
    if (code >= Qt::Key_A && code <= Qt::Key_Z) {
        pressFromKeyboard(Command2[code - Qt::Key_A]);
    } else if (code == Qt::Key_Backspace) {
        m_state.KeypadLetters.chop(1);
        Text1->setText(m_state.KeypadLetters);
    } else if (code == Qt::Key_Delete) {
        pressFromKeyboard(Command3);
    } else if (code == Qt::Key_Return || code == Qt::Key_Enter || code == Qt::Key_Escape) {
        pressFromKeyboard(Command1);
    } else {
        return false;
    }
    return true;
}

// The button's own click, at once so that quick keys keep their order, and its pressed look
// for a moment after.
void Form2::pressFromKeyboard(QAbstractButton* button) {
    button->click();
    button->setDown(true);
    m_clock.after(std::chrono::milliseconds(100), button, [button] { button->setDown(false); });
}

void Form2::Form_Load() {
    // The place is on the screen, whatever the main window's place.
    Move(m_state.KeypadLeft, m_state.KeypadTop);
    m_state.KeypadLetters.clear();
}

void Form2::Command2_Click(int index) {
    m_state.KeypadLetters += Command2[index]->text().trimmed();
    Text1->setText(m_state.KeypadLetters);
}

void Form2::Command3_Click() {
    m_state.KeypadLetters.clear();
    Text1->setText(QString());
}

void Form2::Command1_Click() {
    close(); // unloads: the window deletes itself
    Q_EMIT returned();
}

void Form2::Form_MouseMove(Qt::MouseButton button, Qt::KeyboardModifiers shift, double x, double y) {
    SkinnedWindow::Form_MouseMove(button, shift, x, y);
    Q_EMIT pointerMovedOverBackground();
}

void Form2::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept(); // the second press of a double-click is no new press
}
