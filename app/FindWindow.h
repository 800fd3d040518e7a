#pragma once

#include "platform/SkinnedWindow.h"

#include <QRect>
#include <QSize>

class QCheckBox;
class QLabel;
class QLineEdit;
class PictureButton;

// 查找药品: a small borderless window beside the main window that finds drugs by any part of
// their names, and with its check box of their leaflets. It only asks; the main window runs
// the search and fills its list. Closing hides it, so its text and check box are kept for
// the session.
class FindWindow : public SkinnedWindow {
    Q_OBJECT

public:
    FindWindow();

    QLineEdit* textBox = nullptr;
    QCheckBox* leafletsBox = nullptr; // 同时查找说明书
    QCheckBox* notesBox = nullptr;    // 同时查找我的笔记
    // What the user keeps, one click away: 我的收藏, 最近查看, 我的笔记.
    PictureButton* favouritesButton = nullptr;
    PictureButton* recentButton = nullptr;
    PictureButton* notesButton = nullptr;
    PictureButton* closeButton = nullptr;
    QLabel* resultLabel = nullptr; // how many drugs were found

    // Asks for a search with what the boxes hold (as Enter does).
    void search();
    void showResult(const QString& text);

Q_SIGNALS:
    void searchRequested(const QString& text, bool inLeaflets, bool inNotes);
    void favouritesRequested();
    void recentRequested();
    void notesRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
};

// Where the find window goes, in screen pixels: right of the main window, else below it, when
// the available screen area has room; otherwise inside the lower right of the leaflet box
// (given in screen pixels), which keeps it off the result list and the buttons.
QPoint findWindowPlace(const QRect& mainFrame, const QRect& leaflet, const QSize& size, const QRect& available);
