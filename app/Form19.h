#pragma once

#include "app/Controls.h"
#include "app/DrugView.h"
#include "app/Maintenance.h"
#include "app/ResultList.h"
#include "data/Cell.h"
#include "data/UserStore.h"
#include "keypad/KeypadHandOver.h"
#include "keypad/KeypadState.h"
#include "platform/Seams.h"
#include "platform/SkinnedWindow.h"

#include <QLineEdit>
#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>
#include <vector>

class DrugFile;
class UserFile;
class NotesWindow;
class CompareWindow;
class DrugPicker;
struct DrugLeaflet;
class AboutWindow;
class FindWindow;
class ReadingWindow;
class Form2;
class QLabel;
class QWindow;

// The maker's home page, opened by the product-name image.
inline const QString HomePageAddress = QStringLiteral("http://xiyao.example.com/");

// One printed line of a leaflet: its indent in blank positions and its text.
struct LeafletLine {
    int indent;
    QString text;
};
// The leaflet cut into printed lines: spaces trimmed, then 32 characters at indent 6, then
// pieces of 30 at indent 9, then what is left at indent 9; a short text is one line at indent 6.
std::vector<LeafletLine> leafletLines(const QString& leaflet);

// The main window: the result list, the drug view, the buttons. Controls and handlers keep
// the names the drug handbook has always used, so each behaviour is found under its name; the
// handlers bind the controls to the list (ResultList), the view's paging (DrugView) and the
// drug file's changes (Maintenance).
class Form19 : public SkinnedWindow {
    Q_OBJECT

public:
    static constexpr int RowCells = ResultList::Cells;
    static constexpr int VisibleRows = ResultList::VisibleRows;

    // The window works on drugFile, and keeps the user's favourites, recently viewed drugs and
    // notes in userFile; both must outlive it. Form_Load opens the drug file; the user's store
    // is opened at its first use.
    Form19(Platform& platform, DrugFile& drugFile, UserFile& userFile);
    ~Form19() override;

    // False when the drug file could not be opened; the window must then not be shown.
    bool isLoaded() const { return m_loaded; }

    // Controls
    NameBox* Text6 = nullptr;    // English name
    NameBox* Text11 = nullptr;   // Chinese name
    LeafletBox* Text1 = nullptr; // leaflet
    ThumbPicture* Picture1 = nullptr;
    ShapeControl* Shape1 = nullptr;
    ImageButton* Image13 = nullptr;  // 加 入
    ImageButton* Image11 = nullptr;  // 删 除
    ImageButton* Image7 = nullptr;   // 修 改
    CaptionLabel* Label2 = nullptr;  // key of the chosen drug
    CaptionLabel* Label13 = nullptr; // leaflet page box
    CaptionLabel* Label7 = nullptr;  // English name
    ImageButton* Image10 = nullptr;  // product name, home page
    ImageButton* Image9 = nullptr;   // 编 辑
    CaptionLabel* Label9 = nullptr;  // Chinese name
    PictureImage* Image8 = nullptr;
    ImageButton* Image3 = nullptr; // 下 翻
    ImageButton* Image2 = nullptr; // 上 翻
    ImageButton* Image6 = nullptr; // 退 出
    ImageButton* Image5 = nullptr; // 打 印
    ImageButton* Image4 = nullptr; // 查 找
    ShapeControl* Line1 = nullptr;
    std::array<ListRow*, VisibleRows> Label4{};
    ClickLabel* Label20 = nullptr; // up arrow
    ClickLabel* Label12 = nullptr; // down arrow
    PictureImage* Image1 = nullptr;

    // Window state
    bool& FormDragging = m_drag.dragging;
    double& FormDragX = m_drag.x;
    double& FormDragY = m_drag.y;

    // The drug whose row was clicked last, by its key: the one 修改 and 删除 act on. None
    // before a click and after an add, a change or a delete. Label2 shows it.
    std::optional<qint64> chosenDrug() const { return m_chosenDrug; }
    // The mark shown while a seat reads its offline copy; null otherwise.
    QLabel* offlineMark() const { return m_offlineMark; }

    ResultList& resultList() { return m_list; }
    const ResultList& resultList() const { return m_list; }
    DrugView& drugView() { return m_view; }
    const DrugView& drugView() const { return m_view; }

    Form2* keypad() const;
    // The keypad's letters and the rest of what it shares with this window, for the whole run.
    KeypadState& keypadState() { return m_keypadState; }

    // Start-up
    bool Form_Load();
    void Form_Activate();

    // Result list
    // parameters are bound to the query's "?" marks (the find window's text).
    void FillDrugList(const QString& sql, const QList<Cell>& parameters = {});
    void ShowListRows();
    void Label20_Click();
    void Label12_Click();
    void Picture1_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, float x, float y);
    void Picture1_MouseMove(Qt::MouseButton button, Qt::KeyboardModifiers shift, float x, float y);
    void Picture1_MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, float x, float y);
    void Label4_MouseMove(int index);
    // The wheel over the list and the keys ↑ ↓ PageUp PageDown Home End while it has the focus
    // move it as the arrows do. False for a key the list does not take.
    bool scrollListByKey(int key);
    void scrollListByWheel(int angleDelta);
    // Where the list, its arrows and its thumb are: the wheel scrolls the list there.
    static QRect listArea();
    // Shown over an empty list after a keypad search found nothing: the find window reaches
    // names whose characters the keypad's initials do not.
    ClickLabel* findHint() const { return m_findHint; }

    // Drug view
    void Label4_Click(int index);
    void Image3_Click();
    void Image2_Click();

    // Search
    void Image4_Click();
    // The find window (Ctrl+F): opened beside this window, or brought to the front when open.
    void openFindWindow();
    FindWindow* findWindow() const;
    // Fills the list with the drugs whose names, with inLeaflets also whose leaflets, and with
    // inNotes also whose notes of the user's hold text; gives what the find window shows about it.
    QString findDrugs(const QString& text, bool inLeaflets, bool inNotes = false);

    // Reading (Ctrl+R, a double click on a row, the leaflet box's menu): the chosen drug's leaflet
    // in a window of its own, one window per drug.
    void openReadingWindow();
    QList<ReadingWindow*> readingWindows() const;
    // 对比 in a reading window: a second drug picked by its name or pinyin, then both leaflets
    // side by side.
    void compareWith(ReadingWindow* window);
    DrugPicker* drugPicker() const;
    QList<CompareWindow*> compareWindows() const;

    // 关于 (F1, in any of the program's windows): the versions, the data's edition, the shortcuts
    // and the notices; read afresh each time, brought to the front when open.
    void openAboutWindow();
    AboutWindow* aboutWindow() const;

    // What the user keeps (UserLists.cpp). 收藏 (Ctrl+D) marks or unmarks the chosen drug;
    // 我的收藏 (Ctrl+Shift+D) and 最近查看 (Ctrl+H, the last drugs shown, the newest first) fill
    // the list, leaving out what the drug file no longer holds, and say so. 我的笔记 (Ctrl+Shift+N)
    // lists the notes, those whose drug is not found too.
    void toggleFavourite();
    void showFavourites();
    void showRecent();
    void openNotesWindow();
    NotesWindow* notesWindow() const;
    // The chosen drug's names, as its row showed them.
    std::optional<DrugNames> chosenNames() const { return m_chosenNames; }
    // What the last of these said (also shown as a tip over the list).
    const QString& lastNotice() const { return m_lastNotice; }

    // Adding, changing and deleting drugs
    void Image13_Click();
    void Image7_Click();
    void Image11_Click();

    // Printing
    void Image5_Click();

    // Window behaviour
    // Form_MouseDown and Form_MouseUp drag the window (SkinnedWindow); a move also takes back
    // the rows' highlight.
    void Form_MouseMove(Qt::MouseButton button, Qt::KeyboardModifiers shift, double x, double y) override;
    void Form_DblClick();
    void Image10_Click();
    void Image6_Click();

Q_SIGNALS:
    // Around every refill of the list, a failed one too: whoever shows what the list shows
    // (and the bench, which times a handler apart from its refill) can follow it.
    void listRefillStarted();
    void listRefilled();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void buildControls();
    ImageButton* imageButton(const QString& picture, const QString& faceText, double left, double top, double width,
                             double height);
    void onFocusWindowChanged(QWindow* now);
    KeypadHandOver::Window windowKind(const QWindow* window) const;
    void reportDatabaseError(const QString& message);
    // The thumb at the list's thumbTop; placing it rounds twips to pixels.
    void placeThumb();
    void choose(std::optional<qint64> key);
    DrugTexts boxTexts() const;
    // After a stored change or delete: the boxes no longer show the drug, and the list reloads.
    void forgetChangedDrug();
    // The reading windows of a drug just changed or deleted show it as the file now holds it.
    void refreshReadingWindows(qint64 key);
    void showLeafletMenu(const QPoint& at);
    QList<DrugLeaflet> findDrugsToCompare(const QString& text);
    void reloadWholeTable();
    // The user's store, opened at the first use; none, said once in Chinese unless quiet, when it
    // cannot be opened.
    UserStore* userStore(bool quiet = false);
    void notice(const QString& text);
    // Fills the list with the drugs of one of the user's lists, in its order, and says what was
    // left out; an empty list shows whenEmpty over the list.
    void fillFromNames(QList<DrugNames> (UserStore::*kept)(), const QString& what, const QString& whenEmpty);
    void keepInReadingWindow(ReadingWindow* window);
    void setFavourite(const DrugNames& drug, bool favourite);
    // A drug renamed with 修改 keeps its note and its place among the favourites, unless another
    // drug still has the old names.
    void followRenamedDrug(const DrugNames& before, const DrugNames& after);
    // Saves every open note; false when one could not be saved and the user chose to stay.
    bool notesSavedBeforeLeaving();
    // False when the notes could not be read (said).
    bool refreshNotesWindow();
    void attachNote(const UserNote& note);
    // A change of the notes from 我的笔记; the windows that show a note follow it.
    void changeNotes(const std::function<void(UserStore&)>& change);

    Platform& m_platform;
    DrugFile& m_drugFile;
    UserFile& m_userFile;
    bool m_userStoreFailed = false;
    QString m_lastNotice;
    std::optional<DrugNames> m_chosenNames;
    QPointer<NotesWindow> m_notesWindow;
    bool m_loaded = false;
    ResultList m_list;
    DrugView m_view;
    Maintenance m_maintenance;
    std::optional<qint64> m_chosenDrug;
    QString openFailureMessage(const QString& reason) const;
    void showOffline();
    QLabel* m_offlineMark = nullptr;        // shown while a seat reads its offline copy
    std::optional<qint64> m_chosenRevision; // on a server, the chosen drug's revision when it was shown

    KeypadState m_keypadState;
    KeypadHandOver m_handOver;
    QPointer<Form2> m_keypad;
    QPointer<FindWindow> m_findWindow;
    QPointer<AboutWindow> m_aboutWindow;
    ClickLabel* m_findHint = nullptr;
    QList<QPointer<ReadingWindow>> m_readingWindows;
    QPointer<DrugPicker> m_drugPicker;
    QList<QPointer<CompareWindow>> m_compareWindows;
    QString m_leafletFindText; // what the list's drugs were found by in their leaflets
    int m_wheelAngle = 0;      // what the wheel turned short of a notch
};
