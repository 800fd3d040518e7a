#include "app/NoteEditor.h"

#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

NoteEditor::NoteEditor(QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // Alt+N reaches the box from anywhere in the window.
    auto* caption = new QLabel(QStringLiteral("我的笔记(&N)（保存在本机您自己的文件中，输入后自动保存）"), this);
    textBox = new QPlainTextEdit(this);
    textBox->setPlaceholderText(QStringLiteral("在这里写下您对这种药品的笔记"));
    textBox->setTabChangesFocus(true);
    caption->setBuddy(textBox);
    statusLabel = new QLabel(this);
    statusLabel->setTextFormat(Qt::PlainText);
    statusLabel->setWordWrap(true);
    layout->addWidget(caption);
    layout->addWidget(textBox, 1);
    layout->addWidget(statusLabel);

    m_saveTimer = new QTimer(this);
    m_saveTimer->setSingleShot(true);
    connect(m_saveTimer, &QTimer::timeout, this, &NoteEditor::saveNow);
    connect(textBox, &QPlainTextEdit::textChanged, this, [this] {
        m_unsaved = true;
        statusLabel->clear();
        m_saveTimer->start(m_saveDelay);
    });
    textBox->installEventFilter(this);
    setEnabled(false); // until a note is given
}

NoteEditor::~NoteEditor() {
    saveNow();
}

void NoteEditor::edit(const QString& text, Saver saver) {
    saveNow();
    m_saver = std::move(saver);
    {
        const QSignalBlocker quiet(textBox);
        textBox->setPlainText(text);
    }
    m_unsaved = false;
    statusLabel->clear();
    setEnabled(true);
}

void NoteEditor::unavailable(const QString& why) {
    saveNow();
    m_saver = nullptr;
    {
        const QSignalBlocker quiet(textBox);
        textBox->clear();
    }
    m_unsaved = false;
    statusLabel->setText(why);
    setEnabled(false);
}

bool NoteEditor::saveNow() {
    m_saveTimer->stop();
    if (!m_unsaved || !m_saver)
        return !m_unsaved;
    const QString failure = m_saver(text());
    if (!failure.isEmpty()) {
        statusLabel->setText(QStringLiteral("笔记未能保存：%1\n笔记仍在框中，稍后会自动再试。").arg(failure));
        m_saveTimer->start(RetryDelay);
        return false;
    }
    m_unsaved = false;
    statusLabel->setText(QStringLiteral("已保存"));
    return true;
}

QString NoteEditor::text() const {
    // Not toPlainText(), which turns a no-break space into a space: the note keeps every
    // character but the line ends, which the box keeps as paragraphs.
    return textBox->document()->toRawText().replace(QChar::ParagraphSeparator, u'\n');
}

bool NoteEditor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == textBox && event->type() == QEvent::FocusOut)
        saveNow();
    return QWidget::eventFilter(watched, event);
}
