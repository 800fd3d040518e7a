#include "app/NotesWindow.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int NoteIndexRole = Qt::UserRole;
constexpr int ShownNoteLength = 80;

} // namespace

NotesWindow::NotesWindow() {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("我的笔记"));
    setWindowIcon(QIcon(QStringLiteral(":/art/icon.png")));
    auto* layout = new QVBoxLayout(this);
    summaryLabel = new QLabel(this);
    summaryLabel->setWordWrap(true);
    unmatchedOnlyBox = new QCheckBox(QStringLiteral("只列出未找到对应药品的笔记"), this);
    noteList = new QTreeWidget(this);
    noteList->setHeaderLabels(
        {QStringLiteral("中文名"), QStringLiteral("英文名"), QStringLiteral("对应药品"), QStringLiteral("笔记")});
    noteList->setRootIsDecorated(false);
    noteList->setAllColumnsShowFocus(true);
    noteList->header()->setStretchLastSection(true);
    attachButton = new QPushButton(QStringLiteral("改挂到其他药品…"), this);
    attachButton->setToolTip(QStringLiteral("药品在新版数据中改了名时，把笔记挂到改名后的药品上"));
    deleteButton = new QPushButton(QStringLiteral("删除笔记"), this);
    closeButton = new QPushButton(QStringLiteral("关闭"), this);
    auto* buttons = new QHBoxLayout();
    buttons->addWidget(attachButton);
    buttons->addWidget(deleteButton);
    buttons->addStretch(1);
    buttons->addWidget(closeButton);
    layout->addWidget(summaryLabel);
    layout->addWidget(unmatchedOnlyBox);
    layout->addWidget(noteList, 1);
    layout->addLayout(buttons);

    connect(unmatchedOnlyBox, &QCheckBox::toggled, this, &NotesWindow::showRows);
    connect(attachButton, &QPushButton::clicked, this, [this] {
        if (const std::optional<UserNote> note = currentNote())
            Q_EMIT attachRequested(*note);
    });
    connect(deleteButton, &QPushButton::clicked, this, [this] {
        if (const std::optional<UserNote> note = currentNote())
            Q_EMIT deleteRequested(*note);
    });
    connect(noteList, &QTreeWidget::currentItemChanged, this, [this] {
        const bool chosen = currentNote().has_value();
        attachButton->setEnabled(chosen);
        deleteButton->setEnabled(chosen);
    });
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);
    connect(new QShortcut(QKeySequence(QKeySequence::Delete), noteList, nullptr, nullptr, Qt::WidgetShortcut),
            &QShortcut::activated, deleteButton, &QPushButton::click);
    resize(640, 420);
}

void NotesWindow::showNotes(const QList<ListedNote>& notes) {
    m_notes = notes;
    const qsizetype unmatched =
        std::count_if(notes.cbegin(), notes.cend(), [](const ListedNote& n) { return !n.matched; });
    if (notes.isEmpty())
        summaryLabel->setText(QStringLiteral("还没有笔记。在说明书阅读窗口（Ctrl+R）下方可以为药品写笔记。"));
    else if (unmatched == 0)
        summaryLabel->setText(QStringLiteral("共 %1 条笔记，都有对应的药品。").arg(notes.size()));
    else
        summaryLabel->setText(
            QStringLiteral("共 %1 条笔记，其中 %2 条未找到对应药品（药品可能在新版数据中改了名或被删除）："
                           "可以把它改挂到其他药品，或删除。")
                .arg(notes.size())
                .arg(unmatched));
    showRows();
}

void NotesWindow::showSaved(const UserNote& note) {
    QList<ListedNote> notes = m_notes;
    const auto same = [&note](const ListedNote& listed) {
        return listed.note.drug == note.drug;
    };
    const auto listed = std::find_if(notes.begin(), notes.end(), same);
    if (note.text.isEmpty())
        notes.removeIf(same);
    else if (listed != notes.end())
        listed->note.text = note.text;
    else
        notes.append({note, true});
    showNotes(notes);
}

void NotesWindow::showRows() {
    noteList->clear();
    for (qsizetype i = 0; i < m_notes.size(); ++i) {
        const ListedNote& listed = m_notes[i];
        if (unmatchedOnlyBox->isChecked() && listed.matched)
            continue;
        QString text = listed.note.text.simplified();
        if (text.size() > ShownNoteLength)
            text = text.left(ShownNoteLength) + u'…';
        auto* item = new QTreeWidgetItem(
            noteList, {listed.note.drug.chineseName, listed.note.drug.englishName,
                       listed.matched ? QStringLiteral("有") : QStringLiteral("未找到对应药品"), text});
        item->setData(0, NoteIndexRole, qlonglong(i));
        item->setToolTip(3, listed.note.text.left(2000));
    }
    if (noteList->topLevelItemCount() > 0)
        noteList->setCurrentItem(noteList->topLevelItem(0));
    const bool chosen = currentNote().has_value();
    attachButton->setEnabled(chosen);
    deleteButton->setEnabled(chosen);
}

std::optional<UserNote> NotesWindow::currentNote() const {
    const QTreeWidgetItem* item = noteList->currentItem();
    if (!item)
        return std::nullopt;
    return m_notes.value(item->data(0, NoteIndexRole).toLongLong()).note;
}
