#include "app/ReadingWindow.h"

#include "app/Controls.h"
#include "app/NoteEditor.h"
#include "data/DrugRecordset.h"
#include "data/DrugSchema.h"
#include "platform/Seams.h"

#include <QCloseEvent>

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <ranges>

namespace {

// The user's own configuration (~/.config/xiyao/xiyao.ini), never the program folder, which
// may be shared or read-only.
QSettings userSettings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("xiyao"), QStringLiteral("xiyao"));
}

const QString PlaceKey = QStringLiteral("reading-window/geometry");

} // namespace

DrugLeaflet drugLeafletAt(DrugRecordset& recordset) {
    return {recordset.field(KeyColumn).integer().value_or(0), recordset.field(ChineseNameColumn).toText(),
            recordset.field(EnglishNameColumn).toText(), recordset.field(LeafletColumn).toText()};
}

ReadingWindow::ReadingWindow(const DrugLeaflet& drug, Platform& platform)
    : m_platform(platform) {
    setAttribute(Qt::WA_DeleteOnClose);
    m_placeKept = new QTimer(this);
    m_placeKept->setSingleShot(true);
    m_placeKept->setInterval(300);
    connect(m_placeKept, &QTimer::timeout, this, &ReadingWindow::rememberPlace);
    buildControls();
    showDrug(drug);
    const QByteArray place = userSettings().value(PlaceKey).toByteArray();
    if (place.isEmpty() || !restoreGeometry(place))
        resize(720, 640);
}

ReadingWindow::~ReadingWindow() {
    if (m_placeKept->isActive())
        rememberPlace();
}

void ReadingWindow::buildControls() {
    auto* layout = new QVBoxLayout(this);
    titleLabel = new QLabel(this);
    titleLabel->setTextFormat(Qt::PlainText);
    titleLabel->setWordWrap(true);
    titleLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont titleFont = titleLabel->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    titleFont.setBold(true);
    titleLabel->setFont(titleFont);
    layout->addWidget(titleLabel);

    auto* findRow = new QHBoxLayout();
    findBox = new QLineEdit(this);
    findBox->setPlaceholderText(QStringLiteral("在说明书中查找（Ctrl+F；回车或 F3 下一处，Shift+F3 上一处）"));
    findBox->setClearButtonEnabled(true);
    findResult = new QLabel(this);
    compareButton = new QPushButton(QStringLiteral("对比…"), this);
    compareButton->setToolTip(QStringLiteral("和另一种药品的说明书逐节对照（Ctrl+Shift+C）"));
    compareButton->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    connect(compareButton, &QPushButton::clicked, this, &ReadingWindow::compareRequested);
    favouriteButton = new QPushButton(QStringLiteral("收藏"), this);
    favouriteButton->setCheckable(true);
    favouriteButton->setToolTip(
        QStringLiteral("收藏这种药品，或取消收藏（Ctrl+D）；主窗口按 Ctrl+Shift+D 列出我的收藏"));
    // The button shows what is stored: it changes when the main window says the change was stored.
    connect(favouriteButton, &QPushButton::clicked, this, [this](bool checked) {
        favouriteButton->setChecked(!checked);
        Q_EMIT favouriteRequested(checked);
    });
    connect(favouriteButton, &QPushButton::toggled, this, [this](bool favourite) {
        favouriteButton->setText(favourite ? QStringLiteral("★ 已收藏") : QStringLiteral("☆ 收藏"));
    });
    favouriteButton->setText(QStringLiteral("☆ 收藏"));
    auto* favourite = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), this);
    connect(favourite, &QShortcut::activated, favouriteButton, &QPushButton::click);
    findRow->addWidget(findBox, 1);
    findRow->addWidget(findResult);
    findRow->addWidget(favouriteButton);
    findRow->addWidget(compareButton);
    buildExportControls(findRow);
    layout->addLayout(findRow);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    outlineList = new QListWidget(splitter);
    outlineList->setToolTip(QStringLiteral("说明书的各节：点一下或按 Alt+数字跳到那一节"));
    textBox = new LeafletBox(splitter);
    textBox->setReadOnly(true);
    textBox->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QFont textFont = textBox->font();
    textFont.setPointSizeF(textFont.pointSizeF() * 1.25); // a comfortable size to read at
    textBox->setFont(textFont);
    splitter->addWidget(outlineList);
    splitter->addWidget(textBox);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({170, 550});
    auto* leafletAndNote = new QSplitter(Qt::Vertical, this);
    leafletAndNote->addWidget(splitter);
    noteEditor = new NoteEditor(leafletAndNote);
    leafletAndNote->addWidget(noteEditor);
    leafletAndNote->setStretchFactor(0, 1);
    leafletAndNote->setSizes({480, 120});
    layout->addWidget(leafletAndNote, 1);
    connect(outlineList, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { jumpToSection(outlineList->row(item)); });
    connect(outlineList, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { jumpToSection(outlineList->row(item)); });
    connect(textBox->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        followScrolling();
        markVisibleMatches();
    });
    for (int number = 1; number <= 10; ++number) {
        auto* jump = new QShortcut(QKeySequence(Qt::ALT | (Qt::Key_0 + number % 10)), this);
        connect(jump, &QShortcut::activated, this, [this, number] { jumpToSection(number - 1); });
    }

    connect(findBox, &QLineEdit::textChanged, this, &ReadingWindow::findInLeaflet);
    connect(findBox, &QLineEdit::returnPressed, this, &ReadingWindow::findNext);
    findBox->installEventFilter(this);
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        findBox->setFocus();
        findBox->selectAll();
    });
    auto* next = new QShortcut(QKeySequence(Qt::Key_F3), this);
    connect(next, &QShortcut::activated, this, &ReadingWindow::findNext);
    auto* previous = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this);
    connect(previous, &QShortcut::activated, this, &ReadingWindow::findPrevious);
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
}

void ReadingWindow::showDrug(const DrugLeaflet& drug) {
    m_drug = drug;
    setWindowTitle(QStringLiteral("说明书阅读 - %1").arg(drug.chineseName));
    titleLabel->setText(drug.englishName.isEmpty() ? drug.chineseName
                                                   : drug.chineseName + QStringLiteral("　") + drug.englishName);
    textBox->setText(drug.leaflet);
    m_crLfShownAt.clear();
    for (qsizetype at = drug.leaflet.indexOf(QStringLiteral("\r\n")); at >= 0;
         at = drug.leaflet.indexOf(QStringLiteral("\r\n"), at + 2))
        m_crLfShownAt.push_back(at - qsizetype(m_crLfShownAt.size()));
    m_sections = std::make_unique<LeafletSections>(drug.leaflet);
    showOutline();
    findInLeaflet(findBox->text());
}

qsizetype ReadingWindow::shownPosition(qsizetype leafletOffset) const {
    // Each CR LF before the offset is one character fewer in the box; CR LF number i is at
    // m_crLfShownAt[i] + i in the leaflet.
    const auto pairs = std::views::iota(qsizetype(0), qsizetype(m_crLfShownAt.size()));
    const qsizetype before =
        *std::ranges::partition_point(pairs, [&](qsizetype i) { return m_crLfShownAt[i] + i < leafletOffset; });
    return leafletOffset - before;
}

qsizetype ReadingWindow::leafletOffset(qsizetype shownPosition) const {
    const auto after = std::lower_bound(m_crLfShownAt.begin(), m_crLfShownAt.end(), shownPosition);
    return shownPosition + (after - m_crLfShownAt.begin());
}

void ReadingWindow::showOutline() {
    const QSignalBlocker quiet(outlineList);
    outlineList->clear();
    const QList<OutlineEntry>& outline = m_sections->outline();
    for (qsizetype i = 0; i < outline.size(); ++i) {
        const OutlineEntry& entry = outline[i];
        const QString name = entry.kind == SectionKind::Opening ? QStringLiteral("（开头）") : entry.heading;
        auto* item = new QListWidgetItem(i < 10 ? QStringLiteral("%1  %2").arg((i + 1) % 10).arg(name) : name);
        item->setToolTip(name);
        outlineList->addItem(item);
    }
    // A leaflet of one section has nothing to outline.
    outlineList->setVisible(outline.size() > 1);
    followScrolling();
}

void ReadingWindow::jumpToSection(int index) {
    const QList<OutlineEntry>& outline = m_sections->outline();
    if (index < 0 || index >= outline.size())
        return;
    const LeafletPart& part = m_sections->parts()[outline[index].parts.first()];
    QTextCursor cursor(textBox->document());
    cursor.setPosition(int(shownPosition(part.begin)));
    textBox->setTextCursor(cursor);
    // The heading at the top of the box, not just somewhere in view.
    QScrollBar* bar = textBox->verticalScrollBar();
    bar->setValue(bar->maximum());
    textBox->ensureCursorVisible();
    outlineList->setCurrentRow(index);
}

void ReadingWindow::followScrolling() {
    if (!m_sections || m_sections->parts().isEmpty())
        return;
    const qsizetype top = leafletOffset(textBox->cursorForPosition(QPoint(0, 0)).position());
    const qsizetype section = m_sections->sectionAt(std::min(top, m_sections->textLength() - 1));
    const QSignalBlocker quiet(outlineList);
    outlineList->setCurrentRow(int(section));
}

void ReadingWindow::findInLeaflet(const QString& text) {
    m_matches.clear();
    m_current = -1;
    if (!text.isEmpty()) {
        // The box's text has one character per line end, as the document counts its positions.
        const QString shown = textBox->document()->toRawText();
        for (qsizetype at = shown.indexOf(text, 0, Qt::CaseInsensitive); at >= 0;
             at = shown.indexOf(text, at + text.size(), Qt::CaseInsensitive))
            m_matches.append({int(at), int(text.size())});
        if (!m_matches.isEmpty())
            m_current = 0;
    }
    showMatches();
}

void ReadingWindow::findNext() {
    if (m_matches.isEmpty())
        return;
    m_current = (m_current + 1) % int(m_matches.size());
    showMatches();
}

void ReadingWindow::findPrevious() {
    if (m_matches.isEmpty())
        return;
    m_current = (m_current + int(m_matches.size()) - 1) % int(m_matches.size());
    showMatches();
}

void ReadingWindow::markVisibleMatches() {
    // Only the places in view are marked: a long leaflet may hold hundreds of thousands, and
    // the marks follow the text as it scrolls.
    QList<QTextEdit::ExtraSelection> marks;
    if (!m_matches.isEmpty()) {
        QTextCharFormat all;
        all.setBackground(QColor(0xFF, 0xE8, 0x70));
        QTextCharFormat current;
        current.setBackground(QColor(0xFF, 0x96, 0x32));
        const QWidget* view = textBox->viewport();
        const int length = m_matches.constFirst().second;
        const int top = textBox->cursorForPosition(QPoint(0, 0)).position() - length;
        const int bottom = textBox->cursorForPosition(QPoint(view->width(), view->height())).position();
        auto match = std::lower_bound(m_matches.cbegin(), m_matches.cend(), top,
                                      [](const QPair<int, int>& place, int at) { return place.first < at; });
        for (; match != m_matches.cend() && match->first <= bottom; ++match) {
            QTextCursor cursor(textBox->document());
            cursor.setPosition(match->first);
            cursor.setPosition(match->first + match->second, QTextCursor::KeepAnchor);
            marks.append({cursor, match - m_matches.cbegin() == m_current ? current : all});
        }
    }
    textBox->setExtraSelections(marks);
}

void ReadingWindow::showMatches() {
    if (m_current >= 0) {
        QTextCursor cursor(textBox->document());
        cursor.setPosition(m_matches[m_current].first);
        textBox->setTextCursor(cursor);
        textBox->ensureCursorVisible();
    }
    markVisibleMatches();
    if (findBox->text().isEmpty())
        findResult->clear();
    else if (m_matches.isEmpty())
        findResult->setText(QStringLiteral("没有找到"));
    else
        findResult->setText(QStringLiteral("第 %1 处，共 %2 处").arg(m_current + 1).arg(m_matches.size()));
}

bool ReadingWindow::eventFilter(QObject* watched, QEvent* event) {
    // Enter in the find box goes on to the next place; Shift+Enter back.
    if (watched == findBox && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() & Qt::ShiftModifier) {
            findPrevious();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ReadingWindow::closeEvent(QCloseEvent* event) {
    if (!noteEditor->saveNow() &&
        !m_platform.dialogs.askYesNo(
            QStringLiteral("您对“%1”的笔记未能保存（原因见笔记下方）。仍要关闭吗？关闭后这次写的笔记会丢失。")
                .arg(m_drug.chineseName))) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void ReadingWindow::rememberPlace() const {
    userSettings().setValue(PlaceKey, saveGeometry());
}

// Kept as the user moves it, since the program may end at once (退出) with the window open.
void ReadingWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (isVisible())
        m_placeKept->start();
}

void ReadingWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    markVisibleMatches();
    if (isVisible())
        m_placeKept->start();
}
