#pragma once

#include "data/UserStore.h"

#include <QWidget>

#include <optional>

class QCheckBox;
class QLabel;
class QPushButton;
class QTreeWidget;

// 我的笔记 (Ctrl+Shift+N): every note the user keeps, with its drug's names. A note whose drug
// the drug file no longer holds (renamed or left out by a new edition) is marked 未找到对应药品;
// it can be attached to another drug or deleted. The main window reads the notes and carries out
// what is asked.
class NotesWindow : public QWidget {
    Q_OBJECT

public:
    struct ListedNote {
        UserNote note;
        bool matched = true; // the drug file holds a drug of these names
    };

    NotesWindow();

    QLabel* summaryLabel = nullptr;
    QCheckBox* unmatchedOnlyBox = nullptr; // 只列出未找到对应药品的笔记
    QTreeWidget* noteList = nullptr;
    QPushButton* attachButton = nullptr; // 改挂到其他药品…
    QPushButton* deleteButton = nullptr; // 删除笔记
    QPushButton* closeButton = nullptr;

    void showNotes(const QList<ListedNote>& notes);
    // A note just saved from a reading window, whose drug the drug file holds: shown as it is
    // now (an empty one taken away) without the notes being read again.
    void showSaved(const UserNote& note);
    // The note of the current row; none without one.
    std::optional<UserNote> currentNote() const;

Q_SIGNALS:
    void attachRequested(const UserNote& note);
    void deleteRequested(const UserNote& note);

private:
    void showRows();

    QList<ListedNote> m_notes;
};
