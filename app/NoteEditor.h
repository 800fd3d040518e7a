#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QPlainTextEdit;
class QTimer;

// The user's note on one drug, edited in place: saved a moment after the typing stops, when the
// box loses the focus and before the editor goes, so that there is no save to forget. A note
// that cannot be saved stays in the box, says why, and is tried again.
class NoteEditor : public QWidget {
    Q_OBJECT

public:
    // Stores the text; gives the failure in Chinese, or nothing when it was stored.
    using Saver = std::function<QString(const QString& text)>;
    static constexpr int SaveDelay = 600;   // ms after the last key
    static constexpr int RetryDelay = 5000; // ms after a failed save

    explicit NoteEditor(QWidget* parent = nullptr);
    ~NoteEditor() override; // saves what is not saved yet

    QPlainTextEdit* textBox = nullptr;
    QLabel* statusLabel = nullptr;

    // Shows text, which saver stores from now on; the note shown before is saved first.
    void edit(const QString& text, Saver saver);
    // No note can be kept (the user's store cannot be opened): why, in Chinese.
    void unavailable(const QString& why);
    // Saves what is not saved yet; false when that failed (the text stays).
    bool saveNow();
    bool hasUnsaved() const { return m_unsaved; }
    // How long after the last key the note is saved (SaveDelay); a test waits less.
    void setSaveDelay(int milliseconds) { m_saveDelay = milliseconds; }
    // The note as the box holds it, its lines ended by LF.
    QString text() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Saver m_saver;
    QTimer* m_saveTimer = nullptr;
    bool m_unsaved = false;
    int m_saveDelay = SaveDelay;
};
