#include "app/ReadingWindow.h"

#include "app/Controls.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QShortcut>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The user's own configuration (~/.config/xiyao/xiyao.ini), never the program folder, which
// may be shared or read-only.
QSettings userSettings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("xiyao"), QStringLiteral("xiyao"));
}

const QString PlaceKey = QStringLiteral("reading-window/geometry");

} // namespace

ReadingWindow::ReadingWindow(const DrugLeaflet& drug) {
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
    findRow->addWidget(findBox, 1);
    findRow->addWidget(findResult);
    layout->addLayout(findRow);

    textBox = new LeafletBox(this);
    textBox->setReadOnly(true);
    textBox->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QFont textFont = textBox->font();
    textFont.setPointSizeF(textFont.pointSizeF() * 1.25); // a comfortable size to read at
    textBox->setFont(textFont);
    layout->addWidget(textBox, 1);

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
    findInLeaflet(findBox->text());
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

void ReadingWindow::showMatches() {
    QList<QTextEdit::ExtraSelection> marks;
    QTextCharFormat all;
    all.setBackground(QColor(0xFF, 0xE8, 0x70));
    QTextCharFormat current;
    current.setBackground(QColor(0xFF, 0x96, 0x32));
    for (int i = 0; i < m_matches.size(); ++i) {
        QTextCursor cursor(textBox->document());
        cursor.setPosition(m_matches[i].first);
        cursor.setPosition(m_matches[i].first + m_matches[i].second, QTextCursor::KeepAnchor);
        marks.append({cursor, i == m_current ? current : all});
    }
    textBox->setExtraSelections(marks);
    if (m_current >= 0) {
        QTextCursor cursor(textBox->document());
        cursor.setPosition(m_matches[m_current].first);
        textBox->setTextCursor(cursor);
        textBox->ensureCursorVisible();
    }
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
    if (isVisible())
        m_placeKept->start();
}
