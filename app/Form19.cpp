#include "app/Form19.h"

#include "app/AboutWindow.h"
#include "app/CompareWindow.h"
#include "app/FindWindow.h"
#include "app/NotesWindow.h"
#include "app/ReadingWindow.h"
#include "data/DatabaseError.h"
#include "data/DrugFile.h"
#include "data/DrugSchema.h"
#include "data/SqlTexts.h"
#include "keypad/Form2.h"
#include "pinyin/Cp936.h"
#include "platform/Fonts.h"
#include "platform/Twips.h"
#include "resources/Artwork.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QShortcut>
#include <QWheelEvent>
#include <QWindow>

namespace {

constexpr double kClientWidth = 11670;
constexpr double kClientHeight = 9495;
// Over the empty list after a keypad search found nothing.
const QString KeypadFoundNothing =
    QStringLiteral("没有找到。字母键盘只按拼音首字母查找，名称中有“嗪、酯、唑”等字的药品它找不到。\n\n"
                   "按 Ctrl+F（或点这里）打开“查找药品”，可按完整拼音或名称的任意部分查找。");

constexpr std::array<int, Form19::VisibleRows> kRowTops = {720,  1035, 1335, 1650, 1965, 2280, 2580, 2895,
                                                           3210, 3525, 3825, 4140, 4455, 4770, 5070, 5385,
                                                           5700, 6000, 6315, 6630, 6945, 7245, 7560};

template <typename Widget> Widget* placed(Widget* widget, double left, double top, double width, double height) {
    widget->setGeometry(twipsRect(left, top, width, height));
    return widget;
}

} // namespace

Form19::Form19(Platform& platform, DrugFile& drugFile, UserFile& userFile)
    : SkinnedWindow()
    , m_platform(platform)
    , m_drugFile(drugFile)
    , m_userFile(userFile)
    , m_maintenance(platform.dialogs, drugFile)
    , m_handOver(platform.clock) {
    setWindowTitle(ApplicationTitle);
    setWindowIcon(QIcon(QStringLiteral(":/art/icon.png")));
    setFixedSize(toPixels(kClientWidth), toPixels(kClientHeight));
    setMouseTracking(true);
    setBackgroundRole(QPalette::Window);
    buildControls();
    // While the key is derived (when main began the open): the first paint's slowest step, finding and loading a font
    // for the name boxes' Chinese placeholders.
    for (const NameBox* box : {Text11, Text6})
        QFontMetrics(box->font()).horizontalAdvance(box->placeholderText());

    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, &Form19::openFindWindow);
    auto* read = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_R), this);
    connect(read, &QShortcut::activated, this, &Form19::openReadingWindow);
    // F1 opens 关于 from the find and reading windows too, without their having to know it.
    auto* about = new QShortcut(QKeySequence(Qt::Key_F1), this);
    about->setContext(Qt::ApplicationShortcut);
    connect(about, &QShortcut::activated, this, &Form19::openAboutWindow);
    const std::pair<QKeySequence, void (Form19::*)()> keeping[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_D), &Form19::toggleFavourite},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D), &Form19::showFavourites},
        {QKeySequence(Qt::CTRL | Qt::Key_H), &Form19::showRecent},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N), &Form19::openNotesWindow}};
    for (const auto& [keys, handler] : keeping)
        connect(new QShortcut(keys, this), &QShortcut::activated, this, handler);
    Text1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Text1, &QWidget::customContextMenuRequested, this, &Form19::showLeafletMenu);

    connect(qApp, &QGuiApplication::focusWindowChanged, this, &Form19::onFocusWindowChanged);
    qApp->installEventFilter(this);

    m_loaded = Form_Load();
}

Form19::~Form19() {
    qApp->removeEventFilter(this);
    delete m_keypad.data();
    delete m_findWindow.data();
    delete m_aboutWindow.data();
    delete m_notesWindow.data();
    for (const QPointer<ReadingWindow>& window : std::as_const(m_readingWindows))
        delete window.data();
    for (const QPointer<CompareWindow>& window : std::as_const(m_compareWindows))
        delete window.data();
}

ImageButton* Form19::imageButton(const QString& picture, const QString& faceText, double left, double top, double width,
                                 double height) {
    return placed(new ImageButton(this, picture, faceText), left, top, width, height);
}

void Form19::buildControls() {
    // Created bottom to top: the background first, the text boxes last.
    Image1 =
        placed(new PictureImage(this, QStringLiteral("background"), PictureImage::Fill::Tile, true), 0, 0, 11655, 9495);
    Image8 = placed(new PictureImage(this, QStringLiteral("background"), PictureImage::Fill::Stretch, false), 3480,
                    8040, 3855, 975);
    Shape1 = placed(new ShapeControl(this, ShapeControl::Kind::Rectangle), 360, 600, 3375, 7335);
    Line1 = placed(new ShapeControl(this, ShapeControl::Kind::VerticalLine), 4080, 600, 15, 7320);

    Image13 = imageButton(QStringLiteral("button_jiaru"), QStringLiteral("加 入"), 8760, 8565, 1215, 465);
    Image11 = imageButton(QStringLiteral("button_shanchu"), QStringLiteral("删 除"), 10080, 8040, 1215, 465);
    Image7 = imageButton(QStringLiteral("button_xiugai"), QStringLiteral("修 改"), 8760, 8040, 1215, 465);
    Image10 = imageButton(QStringLiteral("product_name"), QStringLiteral("西药手册"), 360, 8040, 3015, 975);
    Image9 = imageButton(QStringLiteral("button_bianji"), QStringLiteral("编 辑"), 12120, 4920, 1215, 465);
    Image3 = imageButton(QStringLiteral("button_xiafan"), QStringLiteral("下 翻"), 12120, 3960, 1215, 465);
    Image2 = imageButton(QStringLiteral("button_shangfan"), QStringLiteral("上 翻"), 12120, 4440, 1215, 465);
    Image6 = imageButton(QStringLiteral("button_tuichu"), QStringLiteral("退 出"), 10080, 8565, 1215, 465);
    Image5 = imageButton(QStringLiteral("button_dayin"), QStringLiteral("打 印"), 7440, 8565, 1215, 465);
    Image4 = imageButton(QStringLiteral("button_chazhao"), QStringLiteral("查 找"), 7440, 8040, 1215, 465);

    // Value holders beyond the right edge: never in view.
    Label2 = placed(new CaptionLabel(this), 12120, 2040, 1575, 375);
    Label13 = placed(new CaptionLabel(this), 12240, 3240, 1695, 735);
    Label7 = placed(new CaptionLabel(this), 12120, 8040, 3375, 465);
    Label7->setFont(songFont(12));
    Label9 = placed(new CaptionLabel(this), 12120, 7200, 3375, 450);
    Label9->setFont(songFont(12));

    for (int index = 0; index < VisibleRows; ++index) {
        ListRow* row = placed(new ListRow(this), 840, kRowTops[index], 3000, 330);
        row->setFont(songFont(10.5));
        connect(row, &ListRow::mouseMoved, this, [this, index] { Label4_MouseMove(index); });
        connect(row, &ListRow::clicked, this, [this, index] { Label4_Click(index); });
        connect(row, &ListRow::doubleClicked, this, &Form19::openReadingWindow);
        row->setToolTip(QStringLiteral("双击打开说明书阅读（Ctrl+R）"));
        Label4[index] = row;
    }

    Label20 = placed(new ClickLabel(this), 3960, 600, 255, 135);
    Label12 = placed(new ClickLabel(this), 3960, 7800, 255, 135);
    for (auto [arrow, picture] :
         {std::pair{Label20, QStringLiteral("arrow_up")}, std::pair{Label12, QStringLiteral("arrow_down")}}) {
        arrow->setAutoFillBackground(true);
        arrow->setBackgroundRole(QPalette::Base);
        arrow->setPixmap(artworkPixmap(picture));
        arrow->setScaledContents(true);
    }
    connect(Label20, &ClickLabel::clicked, this, &Form19::Label20_Click);
    connect(Label12, &ClickLabel::clicked, this, &Form19::Label12_Click);

    m_findHint = placed(new ClickLabel(this), 840, 1035, 3000, 2200);
    m_findHint->setWordWrap(true);
    m_findHint->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_findHint->setCursor(Qt::PointingHandCursor);
    m_findHint->hide();
    connect(m_findHint, &ClickLabel::clicked, this, &Form19::openFindWindow);

    Picture1 = placed(new ThumbPicture(this), 4000, 730, 185, 185);
    connect(Picture1, &ThumbPicture::mouseDown, this, &Form19::Picture1_MouseDown);
    connect(Picture1, &ThumbPicture::mouseMove, this, &Form19::Picture1_MouseMove);
    connect(Picture1, &ThumbPicture::mouseUp, this, &Form19::Picture1_MouseUp);

    Text1 = placed(new LeafletBox(this), 4320, 600, 6975, 7335);
    Text11 = placed(new NameBox(this, QStringLiteral("中文名")), 3600, 8160, 3615, 375);
    Text6 = placed(new NameBox(this, QStringLiteral("英文名")), 3600, 8520, 3615, 375);

    // The list takes the keyboard through its frame: Tab reaches it after the name boxes, a
    // click on a row, an arrow or the thumb gives it the focus, and the frame shows it.
    Shape1->setFocusPolicy(Qt::StrongFocus);
    for (QWidget* part : std::initializer_list<QWidget*>{Label20, Label12, Picture1, m_findHint}) {
        part->setFocusPolicy(Qt::ClickFocus);
        part->setFocusProxy(Shape1);
    }
    for (ListRow* row : Label4) {
        row->setFocusPolicy(Qt::ClickFocus);
        row->setFocusProxy(Shape1);
    }
    setTabOrder(Text6, Shape1);
    Text1->setFocus(); // the focus starts in the leaflet box, as it always has

    // The pressed look of the image buttons that have one.
    for (ImageButton* button : {Image2, Image3, Image4, Image6, Image9}) {
        connect(button, &ImageButton::mouseDown, button, [button] { button->setFrameStyle(1); });
        connect(button, &ImageButton::mouseUp, button, [button] { button->setFrameStyle(0); });
    }
    connect(Image3, &ImageButton::clicked, this, &Form19::Image3_Click);
    connect(Image2, &ImageButton::clicked, this, &Form19::Image2_Click);
    connect(Image4, &ImageButton::clicked, this, &Form19::Image4_Click);
    connect(Image13, &ImageButton::clicked, this, &Form19::Image13_Click);
    connect(Image7, &ImageButton::clicked, this, &Form19::Image7_Click);
    connect(Image11, &ImageButton::clicked, this, &Form19::Image11_Click);
    connect(Image5, &ImageButton::clicked, this, &Form19::Image5_Click);
    connect(Image10, &ImageButton::clicked, this, &Form19::Image10_Click);
    connect(Image6, &ImageButton::clicked, this, &Form19::Image6_Click);
}

void Form19::placeThumb() {
    Picture1->move(toPixels(4000), toPixels(m_list.thumbTop()));
}

Form2* Form19::keypad() const {
    return m_keypad.data();
}

bool Form19::Form_Load() {
    Move(0, Top());
    try {
        m_drugFile.OpenDrugDatabase();
    } catch (const DatabaseError& error) {
        m_platform.dialogs.inform(openFailureMessage(error.message()));
        return false;
    }
    m_drugFile.recordset().Close();
    Move(Left(), 0);
    m_view.LeafletPage = 1;
    if (m_drugFile.isOffline())
        showOffline();
    return true;
}

QString Form19::openFailureMessage(const QString& reason) const {
    if (m_drugFile.isServerSeat())
        return QStringLiteral("无法打开药品数据库：\n%1").arg(reason);
    QString message =
        QStringLiteral("无法打开药品数据库 %1：\n%2").arg(QDir::toNativeSeparators(m_drugFile.path()), reason);
    if (!QFileInfo(m_drugFile.path()).exists() && !QFileInfo(m_drugFile.path()).isSymLink())
        message += QStringLiteral("\n\n程序总是打开它自己文件夹里的 %1。可以把药品数据库放到那里，"
                                  "或用 xiyao-db create 新建一个空的（再用 xiyao-db import 导入药品清单）；"
                                  "便携安装（cmake --install）会带上示例药品数据库。")
                       .arg(DrugFileName);
    return message;
}

// A seat whose server could not be reached reads its offline copy: said once, and marked while it lasts.
void Form19::showOffline() {
    const QString updated =
        QFileInfo(m_drugFile.offlineCopy()).lastModified().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    const QString why = QStringLiteral("离线：连不上数据库服务器，现在打开的是本机的离线副本（%1 更新），只能查看，"
                                       "不能加入、修改或删除。\n\n%2")
                            .arg(updated, m_drugFile.offlineReason());
    m_offlineMark = new QLabel(QStringLiteral("离线"), this);
    m_offlineMark->setObjectName(QStringLiteral("offlineMark"));
    m_offlineMark->setStyleSheet(
        QStringLiteral("QLabel { color: white; background: #c62828; padding: 2px 8px; font-weight: bold; }"));
    m_offlineMark->setToolTip(why);
    m_offlineMark->adjustSize();
    m_offlineMark->move(toPixels(240), toPixels(120));
    m_offlineMark->show();
    m_platform.dialogs.inform(why);
}

// The result list

void Form19::FillDrugList(const QString& sql, const QList<Cell>& parameters) {
    Q_EMIT listRefillStarted();
    m_findHint->hide();
    m_leafletFindText.clear();
    for (ListRow* row : Label4)
        row->setCaption(QString());
    // The refill takes the thumb back to the top, whether it succeeds or not.
    const auto thumbPlaced = qScopeGuard([this] {
        placeThumb();
        Q_EMIT listRefilled();
    });
    m_list.fill(m_drugFile, sql, parameters);
    ShowListRows();
}

void Form19::ShowListRows() {
    for (int r = 0; r < VisibleRows; ++r)
        Label4[r]->setCaption(m_list.captionOfRow(r));
}

void Form19::Label20_Click() {
    m_list.scrollUp();
    placeThumb();
    ShowListRows();
}

void Form19::Label12_Click() {
    m_list.scrollDown();
    placeThumb();
    ShowListRows();
}

void Form19::Picture1_MouseDown(Qt::MouseButton, Qt::KeyboardModifiers, float, float y) {
    m_list.beginThumbDrag(y);
}

void Form19::Picture1_MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, float, float) {
    m_list.endThumbDrag();
}

void Form19::Picture1_MouseMove(Qt::MouseButton, Qt::KeyboardModifiers, float, float y) {
    if (!m_list.dragThumb(y))
        return;
    placeThumb();
    ShowListRows();
}

QRect Form19::listArea() {
    return twipsRect(360, 600, 4215 - 360, 7935 - 600);
}

bool Form19::scrollListByKey(int key) {
    switch (key) {
    case Qt::Key_Up:
        m_list.scrollUp();
        break;
    case Qt::Key_Down:
        m_list.scrollDown();
        break;
    case Qt::Key_PageUp:
        m_list.scrollBy(-(VisibleRows - 1)); // a page, the top row staying in view
        break;
    case Qt::Key_PageDown:
        m_list.scrollBy(VisibleRows - 1);
        break;
    case Qt::Key_Home:
        m_list.scrollToTop();
        break;
    case Qt::Key_End:
        m_list.scrollToEnd();
        break;
    default:
        return false;
    }
    placeThumb();
    ShowListRows();
    return true;
}

void Form19::scrollListByWheel(int angleDelta) {
    // A notch is 120; a touchpad's smaller turns add up to one.
    m_wheelAngle += angleDelta;
    const int notches = m_wheelAngle / 120;
    m_wheelAngle -= notches * 120;
    if (notches == 0)
        return;
    m_list.scrollBy(-qint64(notches) * QApplication::wheelScrollLines());
    placeThumb();
    ShowListRows();
}

void Form19::Label4_MouseMove(int index) {
    for (int r = 0; r < VisibleRows; ++r) {
        if (r != index)
            Label4[r]->setForeColor(ButtonTextColor);
        else if (!Label4[r]->caption().isEmpty())
            Label4[r]->setForeColor(HoverColor);
    }
}

// The drug view: a row click fills the boxes and the value labels; the page box pages.

void Form19::Label4_Click(int index) {
    m_view.clear();
    Text1->setText(QString());
    Text6->setText(QString());
    Text11->setText(QString());
    choose(std::nullopt);
    for (CaptionLabel* label : {Label7, Label13, Label9})
        label->setCaption(QString());

    const std::optional<qint64> entry = m_list.entryOfRow(index);
    if (!entry)
        return; // outside the arrays: the controls stay cleared

    const QString leaflet = m_list.RowLeaflet[*entry].toText();
    Text1->setText(leaflet);
    m_view.LeafletText = leaflet;
    // Every line, joined with nothing between: the CR of a CR LF line end stays.
    Label13->setCaption(QString(leaflet).remove(u'\n'));
    const QString englishName = m_list.RowEnglishName[*entry].toText();
    const QString chineseName = m_list.RowChineseName[*entry].toText();
    Label7->setCaption(englishName);
    Text6->setText(englishName);
    Label9->setCaption(chineseName);
    Text11->setText(chineseName);
    choose(m_list.RowId[*entry].integer());
    if (!m_chosenDrug)
        return; // a row below the list's end shows nothing and chooses nothing
    m_chosenRevision = std::as_const(m_list.RowRevision)[*entry].integer(); // never allocated for a file
    m_chosenNames = DrugNames{chineseName, englishName};
    // 最近查看 follows what was shown; a store that cannot be opened was said once already.
    if (UserStore* store = userStore(true)) {
        try {
            store->recordViewed(*m_chosenNames);
        } catch (const DatabaseError&) {
            // the leaflet is shown all the same; 最近查看 says what is wrong when it is asked for
        }
    }
}

void Form19::choose(std::optional<qint64> key) {
    m_chosenDrug = key;
    m_chosenRevision.reset();
    if (!key)
        m_chosenNames.reset();
    Label2->setCaption(key ? QString::number(*key) : QString());
}

void Form19::Image3_Click() {
    Label13->setCaption(m_view.nextPage());
}

void Form19::Image2_Click() {
    Label13->setCaption(m_view.previousPage());
}

// Adding, changing and deleting drugs: a failure leaves the boxes as the user typed them.

DrugTexts Form19::boxTexts() const {
    return {Text11->text(), Text6->text(), Text1->text()};
}

void Form19::Image13_Click() {
    if (!m_platform.dialogs.askYesNo(QStringLiteral("您真的要加入当前数据吗？")))
        return;
    if (Text11->text().isEmpty()) {
        m_platform.dialogs.inform(QStringLiteral(" 药名不能为空！"));
        return;
    }
    if (!m_maintenance.areStorable(boxTexts()))
        return;
    const bool placeholder = Text1->text().isEmpty();
    if (placeholder)
        Text1->setText(QStringLiteral("--"));
    if (!m_maintenance.add(boxTexts())) {
        if (placeholder)
            Text1->setText(QString()); // nothing was stored, so the box shows what the user left
        return;
    }
    // The boxes now show the new drug, not the one chosen before: 修改 and 删除 must not act
    // on that one with the new drug's text.
    choose(std::nullopt);
}

void Form19::Image7_Click() {
    if (!m_platform.dialogs.askYesNo(QStringLiteral("您真的要修改当前数据吗？")))
        return;
    if (!m_chosenDrug) {
        m_platform.dialogs.inform(QStringLiteral("没有选中药品：请先在列表中点选一种药品。"));
        return;
    }
    const qint64 key = *m_chosenDrug;
    const std::optional<DrugNames> before = m_chosenNames;
    const DrugTexts after = boxTexts();
    if (m_maintenance.areStorable(after) && m_maintenance.change(key, after, m_chosenRevision)) {
        if (before)
            followRenamedDrug(*before, {after.chineseName, after.englishName});
        forgetChangedDrug();
        refreshReadingWindows(key);
    }
}

void Form19::Image11_Click() {
    if (!m_platform.dialogs.askYesNo(QStringLiteral("您真的要删除当前数据吗？")))
        return;
    const std::optional<qint64> key = m_chosenDrug;
    if (key && m_maintenance.remove(*key, m_chosenRevision)) {
        forgetChangedDrug();
        refreshReadingWindows(*key);
    }
}

void Form19::forgetChangedDrug() {
    Text1->setText(QString());
    Text6->setText(QString());
    Text11->setText(QString());
    choose(std::nullopt);
    reloadWholeTable();
}

void Form19::reloadWholeTable() {
    try {
        FillDrugList(FullTableQuery);
    } catch (const DatabaseError& error) {
        m_platform.dialogs.inform(QStringLiteral("药品列表无法重新载入：\n%1").arg(error.message()));
    }
}

void Form19::Form_Activate() {
    if (m_keypadState.KeypadActive != 1)
        return;
    try {
        FillDrugList(keypadQuery(m_keypadState.KeypadLetters));
    } catch (const DatabaseError& error) {
        reportDatabaseError(error.message());
        return;
    }
    m_findHint->setText(KeypadFoundNothing);
    m_findHint->setVisible(m_list.resultSize() == 0);
}

void Form19::reportDatabaseError(const QString& message) {
    m_platform.dialogs.inform(QStringLiteral("数据库操作失败：\n%1").arg(message));
}

KeypadHandOver::Window Form19::windowKind(const QWindow* window) const {
    using Window = KeypadHandOver::Window;
    if (!window)
        return Window::None;
    if (window == windowHandle())
        return Window::Main;
    if (m_keypad && window == m_keypad->windowHandle())
        return Window::Keypad;
    if (m_findWindow && window == m_findWindow->windowHandle())
        return Window::Find;
    return Window::Other;
}

void Form19::onFocusWindowChanged(QWindow* now) {
    if (m_handOver.focusMoved(windowKind(now)))
        Form_Activate();
}

bool Form19::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched == Shape1) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && scrollListByKey(key->key()))
            return true;
    }
    // The wheel over the list, its arrows or its thumb, whichever of them is under it.
    if (event->type() == QEvent::Wheel && watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        if (listArea().contains(mapFromGlobal(wheel->globalPosition()).toPoint())) {
            scrollListByWheel(wheel->angleDelta().y());
            return true;
        }
    }
    // A click into the main window while the keypad is active activates the main window; the
    // list is refilled before that click is handled, so the click sees the new list.
    if (event->type() == QEvent::MouseButtonRelease) {
        m_handOver.pressReleased();
    } else if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType() &&
               static_cast<QWidget*>(watched)->window() == this &&
               m_handOver.pressInMainWindow(windowKind(QGuiApplication::focusWindow()))) {
        Form_Activate();
    }
    return QWidget::eventFilter(watched, event);
}
