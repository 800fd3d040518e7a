#pragma once

#include <QDialog>
#include <QString>

class DrugFile;
class QPlainTextEdit;

// 关于 (F1): the program's version, which edition of the data the drug file holds and where it
// is, the keyboard shortcuts and the notices of the components the program uses. It only reads.
class AboutWindow : public QDialog {
    Q_OBJECT

public:
    // userStorePath: where the user's favourites and notes are kept.
    AboutWindow(DrugFile& drugFile, const QString& userStorePath, QWidget* parent = nullptr);

    // The text as shown, read afresh from the drug file.
    QString text() const;
    void refresh();

private:
    DrugFile& m_drugFile;
    QString m_userStorePath;
    QPlainTextEdit* m_text;
};

// The window's text: the versions and the data's information (or, in Chinese, why it cannot be
// read), the drug file and the user's store, the shortcuts and the notices.
QString aboutText(DrugFile& drugFile, const QString& userStorePath);
