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
    AboutWindow(DrugFile& drugFile, QWidget* parent = nullptr);

    // The text as shown, read afresh from the drug file.
    QString text() const;
    void refresh();

private:
    DrugFile& m_drugFile;
    QPlainTextEdit* m_text;
};

// The window's text: the versions and the data's information (or, in Chinese, why it cannot be
// read), the file, the shortcuts and the notices.
QString aboutText(DrugFile& drugFile);
