#include "app/FindWindow.h"

#include "keypad/PictureButton.h"
#include "platform/Twips.h"
#include "resources/Artwork.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

namespace {

constexpr double kClientWidth = 4800;
constexpr double kClientHeight = 2160;
constexpr int kGap = 4; // pixels between the main window and this one

} // namespace

FindWindow::FindWindow()
    : SkinnedWindow() {
    setWindowTitle(QStringLiteral("查找药品"));
    setWindowIcon(QIcon(QStringLiteral(":/art/icon.png")));
    setFixedSize(toPixels(kClientWidth), toPixels(kClientHeight));
    buildControls();
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
    installEventFilter(this);
}

void FindWindow::buildControls() {
    auto* background = new QLabel(this);
    background->setGeometry(twipsRect(0, 0, kClientWidth, kClientHeight));
    background->setPixmap(artworkPixmap(QStringLiteral("keypad_background")));
    background->setScaledContents(true);
    background->setFrameStyle(QFrame::Box | QFrame::Plain);
    background->setAttribute(Qt::WA_TransparentForMouseEvents);

    auto* caption = new QLabel(QStringLiteral("查找药品"), this);
    caption->setGeometry(twipsRect(120, 90, 2400, 300));
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    caption->setAttribute(Qt::WA_TransparentForMouseEvents);

    textBox = ownMouse(new QLineEdit(this));
    textBox->setGeometry(twipsRect(120, 420, 4560, 375));
    textBox->setPlaceholderText(QStringLiteral("中文名、英文名的任意部分"));
    textBox->setToolTip(QStringLiteral("找到的药品列在主窗口左边；双击其中一种，或点选后按 Ctrl+R，打开说明书阅读"));

    leafletsBox = ownMouse(new QCheckBox(QStringLiteral("同时查找说明书"), this));
    leafletsBox->setGeometry(twipsRect(120, 870, 2280, 300));
    notesBox = ownMouse(new QCheckBox(QStringLiteral("同时查找我的笔记"), this));
    notesBox->setGeometry(twipsRect(2400, 870, 2280, 300));

    resultLabel = new QLabel(this);
    resultLabel->setGeometry(twipsRect(120, 1230, 3480, 300));
    resultLabel->setAttribute(Qt::WA_TransparentForMouseEvents);

    const QPixmap face = artworkPixmap(QStringLiteral("keypad_background"));
    closeButton = ownMouse(new PictureButton(QStringLiteral("关闭"), face, this));
    closeButton->setGeometry(twipsRect(3720, 1170, 960, 390));
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);

    favouritesButton = ownMouse(new PictureButton(QStringLiteral("我的收藏"), face, this));
    favouritesButton->setGeometry(twipsRect(120, 1650, 1440, 390));
    favouritesButton->setToolTip(
        QStringLiteral("在主窗口的列表中列出收藏的药品（Ctrl+Shift+D）；点选药品后按 Ctrl+D 收藏"));
    recentButton = ownMouse(new PictureButton(QStringLiteral("最近查看"), face, this));
    recentButton->setGeometry(twipsRect(1680, 1650, 1440, 390));
    recentButton->setToolTip(QStringLiteral("列出最近查看的 50 种药品，最近的在前（Ctrl+H）"));
    notesButton = ownMouse(new PictureButton(QStringLiteral("我的笔记"), face, this));
    notesButton->setGeometry(twipsRect(3240, 1650, 1440, 390));
    notesButton->setToolTip(QStringLiteral("列出您写的全部笔记，包括找不到对应药品的（Ctrl+Shift+N）"));
    connect(favouritesButton, &QPushButton::clicked, this, &FindWindow::favouritesRequested);
    connect(recentButton, &QPushButton::clicked, this, &FindWindow::recentRequested);
    connect(notesButton, &QPushButton::clicked, this, &FindWindow::notesRequested);

    setTabOrder(textBox, leafletsBox);
    setTabOrder(leafletsBox, notesBox);
    setTabOrder(notesBox, closeButton);
    setTabOrder(closeButton, favouritesButton);
    setTabOrder(favouritesButton, recentButton);
    setTabOrder(recentButton, notesButton);
}

void FindWindow::search() {
    Q_EMIT searchRequested(textBox->text(), leafletsBox->isChecked(), notesBox->isChecked());
}

void FindWindow::showResult(const QString& text) {
    resultLabel->setText(text);
}

bool FindWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape) {
            close();
            return true;
        }
        // Enter searches from the text box and the check boxes; on a button it presses it.
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (auto* button = qobject_cast<QPushButton*>(watched))
                button->click();
            else
                search();
            return true;
        }
    }
    return SkinnedWindow::eventFilter(watched, event);
}

QPoint findWindowPlace(const QRect& mainFrame, const QRect& leaflet, const QSize& size, const QRect& available) {
    const QRect right(QPoint(mainFrame.right() + 1 + kGap, mainFrame.top()), size);
    if (available.contains(right))
        return right.topLeft();
    const QRect below(QPoint(mainFrame.left(), mainFrame.bottom() + 1 + kGap), size);
    if (available.contains(below))
        return below.topLeft();
    return leaflet.bottomRight() - QPoint(size.width() + 2 * kGap, size.height() + 2 * kGap) + QPoint(1, 1);
}
