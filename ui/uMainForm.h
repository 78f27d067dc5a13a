#pragma once

// The editor's only top-level window: the one open document, the file commands, the summary of
// the document, and the tabs that host the objects list, the bulk edits and the search.
//
// The class is spread over several files, one per group of behaviour:
//   uMainForm.cpp        the window, its controls and actions, the file commands, RefreshViews,
//                        ClearSearchResultsExecute
//   uMainFormList.cpp    the objects list on "Objects" (ListBox1, HeaderControl1, EditObject)
//   uMainFormBulk.cpp    the bulk edits on "CitNums" and "Models"
//   uMainFormSearch.cpp  the search on "Search" (criteria summary, DoSearch, DeleteSearchResults,
//                        ListView2, and the objects found in an area of the world map)
//   uMainFormMap.cpp     the "View" menu's world map window
//   uMainFormAccess.cpp  names for screen readers, the Tab order, the menus' access keys
//   uMainFormWorld.cpp   moving the found objects, importing objects from another dump and
//                        comparing with another dump
//   uMainFormHistory.cpp undo and redo on "Edit" (every change above is recorded through
//                        RecordChange)
//   uMainFormDrop.cpp    a file dropped on the window opens as Open opens it
// A group declares its handlers in this class and wires them in its Bind...Handlers function at
// the end of this header; the constructor calls them once every control and action exists.
// Action handlers are bound with ActionList1->SetHandler(action, ...) so that they run "as a
// click" (enabled, not suspended) through the command wrapper; other events with connect(),
// their handler wrapped in RunCommand (ui/Command.h) so that no error reaches the event loop.
// Long walks over the objects use TLongLoop (ui/LongLoop.h).

#include "model/Propdmp.h"
#include "ops/MapArea.h"
#include "ops/UndoHistory.h"
#include "ui/ActionList.h"
#include "ui/LongLoop.h"
#include "ui/uFrmSearch.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class QAction;
class QGroupBox;
class QHeaderView;
class QLabel;
class QLineEdit;
class QListView;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QStringListModel;
class QTabWidget;
class QToolBar;
class QToolButton;
class QTreeView;
class TFrmWorldMap;
class TSearchResultsModel;
struct TMoveChoice;

// An area of the world map searched for its objects, with the search criteria or without them.
struct TAreaSearch {
    TMapArea Area;
    bool WithCriteria = false;
};
// The lines of the criteria summary: what Search runs, the area of the last search from the map
// included until the results are cleared or the criteria edited.
QStringList SearchSummary(const TSearchCriteria& Criteria, const std::optional<TAreaSearch>& Area);

// For the window's text boxes: a file dragged over one opens as over the rest of the window,
// rather than having its name typed into the box. Dragged text still goes into the box.
class TFilesToWindow : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* Watched, QEvent* Event) override;
};

class TMainForm : public QMainWindow, public ILongCommandHost {
    Q_OBJECT
public:
    // Size of the client area below the menu bar; the window cannot be resized.
    static constexpr int ClientWidth = 705;
    static constexpr int ClientHeight = 370;
    // Tab indexes of PageControl1.
    static constexpr int CitNumsTab = 0;
    static constexpr int ModelsTab = 1;
    static constexpr int ObjectsTab = 2;
    static constexpr int SearchTab = 3;

    explicit TMainForm(QWidget* Parent = nullptr);
    ~TMainForm() override;

    // The open document; open exactly when Propdump.FileName is not empty.
    TPropdumpFile Propdump;

    TActionList* ActionList1 = nullptr;
    QAction* OpenFile = nullptr;
    QAction* SaveFile = nullptr;
    QAction* SaveFileAs = nullptr;
    QAction* CloseFile = nullptr;
    QAction* RevertFile = nullptr;
    QAction* ExitApp = nullptr;
    QAction* DoCitNumReplace = nullptr;
    QAction* ReplaceModels = nullptr;
    QAction* NormalizeModels = nullptr;
    QAction* DenormalizeModels = nullptr;
    QAction* DoSearch = nullptr;
    QAction* DeleteSearchResults = nullptr;
    QAction* ClearSearchResults = nullptr;
    QAction* EditUndo = nullptr;
    QAction* EditRedo = nullptr;
    // Shown, disabled, only when earlier changes can no longer be undone: says how far undo goes.
    QAction* EditUndoLimit = nullptr;
    QAction* WorldMap = nullptr;
    QAction* MoveSearchResults = nullptr;
    QAction* ImportObjects = nullptr;
    QAction* CompareWith = nullptr;

    QMenu* File1 = nullptr;
    QMenu* Edit1 = nullptr;
    QMenu* View1 = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QLabel* FileName = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* PropObjCount = nullptr;
    QLabel* PropFileVer = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QWidget* TabSheet3 = nullptr;
    QWidget* TabSheet4 = nullptr;

    // "CitNums"
    QListView* CitNumList = nullptr;
    QStringListModel* CitNumItems = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLineEdit* FindCitNum = nullptr;
    QLineEdit* ReplaceCitNum = nullptr;
    QToolButton* SpeedButton1 = nullptr;

    // "Models"
    QListView* ModelList = nullptr;
    QStringListModel* ModelItems = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QLineEdit* FindModelName = nullptr;
    QLineEdit* ReplaceModelName = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QPushButton* NormalizeButton = nullptr;
    QPushButton* DenormalizeButton = nullptr;

    // "Objects": the list group gives ListBox1 its model and delegate.
    QHeaderView* HeaderControl1 = nullptr;
    QListView* ListBox1 = nullptr;

    // "Search"
    QLabel* Label8 = nullptr;
    QListWidget* ListBox2 = nullptr;
    QToolButton* SpeedButton3 = nullptr;
    QToolButton* SpeedButton4 = nullptr;
    QToolButton* SpeedButton5 = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QTreeView* ListView2 = nullptr;
    TSearchResultsModel* SearchResults = nullptr;
    QPushButton* btnDeleteResults = nullptr;
    QPushButton* btnMoveResults = nullptr;

    // Brings every summary view and the file actions in line with Propdump.
    void RefreshViews();
    // The same, with Propdump's distinct values already known (a load gathers them as it reads).
    void RefreshViews(TDistinctValues Known);
    // The file name as the FileName label shows it before eliding.
    QString FileNameText() const { return FullFileName; }
    // The number of rows the objects list shows: Propdump.Count() as of the last RefreshViews.
    // The list group connects ListBox1CountChanged to its model; rows at or beyond
    // Propdump.Count() must still be drawn empty, since the document can shrink before the
    // next refresh.
    int ListBox1Count() const { return ObjectRows; }
    // Opens the object editor for Object, read-only or editable; objects of a special type are
    // never opened (uMainFormList.cpp).
    void EditObject(TPropObject& Object, bool ReadOnly);
    // What a double-click on the objects list's row Index does.
    void OpenObject(int Index);
    void ListBox1DblClick();
    void HeaderControl1SectionResize(int Section);

    // Open without the dialog: what Open does once a file has been chosen (used at start-up
    // for a file named on the command line). Errors pass to the caller.
    void OpenFileNamed(const QString& Path);
    // Where the open and save dialogs start: the open file's folder, else the folder of the file
    // last opened or saved under a new name in this run (empty before any: the toolkit's choice).
    // A folder removed meanwhile gives way to its nearest enclosing folder that is still there.
    QString FileDialogFolder() const;

    // Before the document goes (Close, Open, Exit, closing the window, a drop of another file):
    // with unsaved changes, asks "Save changes to "NAME"?" with Save, Discard and Cancel. True
    // when the document may go: nothing unsaved, Discard, or Save and the save succeeded. A
    // failed save passes its error to the caller.
    bool QuerySaveChanges();
    // Whether there are changes the file does not hold.
    bool HasUnsavedChanges() const;
    // The desktop session is ending (QGuiApplication::commitDataRequest); MayAsk tells whether
    // the session manager lets the window ask. False: the session end must be cancelled.
    bool SessionEndQuery(bool MayAsk);

    void OpenFileExecute();
    void SaveFileExecute();
    void SaveFileAsExecute();
    void CloseFileExecute();
    void RevertFileExecute();
    void ExitAppExecute();
    void ClearSearchResultsExecute();

    // Bulk edits on "CitNums" and "Models" (uMainFormBulk.cpp).
    void DoCitNumReplaceExecute();
    void ReplaceModelsExecute();
    void NormalizeModelsExecute();
    void DenormalizeModelsExecute();

    // Search on "Search" (uMainFormSearch.cpp). The one criteria record of the window's life.
    TSearchCriteria SearchCriteria;
    void SpeedButton3Click();
    void ShowSearchCriteria();
    void DoSearchExecute();
    void DeleteSearchResultsExecute();
    void ListView2DblClick();
    // The results keep their positions through an edit, a bulk edit, a move or a step of undo,
    // but show what now stands there.
    void UpdateResultTexts();
    // Lists on "Search", as a search does, every object inside Area and, when
    // OnlyMatchingCriteria, meeting the search criteria as well. The area stays part of the
    // search (the summary shows it, Search runs it again) until the results are cleared or the
    // criteria edited.
    void FindObjectsInArea(const TMapArea& Area, bool OnlyMatchingCriteria);
    std::optional<TAreaSearch> SearchArea;

    // Moving, importing and comparing (uMainFormWorld.cpp).
    void MoveSearchResultsExecute();
    void ImportObjectsExecute();
    void CompareWithExecute();
    // After asking, turns and moves (or copies) the found objects as Choice says, one undo step;
    // the results then list the moved objects, or the copies. The question is shown over Asker
    // (null: this window).
    void MoveFoundObjects(const TMoveChoice& Choice, QWidget* Asker = nullptr);
    // The found objects' 0-based positions, in the results' order.
    std::vector<std::size_t> FoundPositions() const;
    // Lists the objects at Positions (0-based) on "Search" as a search lists what it finds.
    void ListObjectsAt(const std::vector<std::size_t>& Positions);
    // While the results come from elsewhere than the criteria (a comparison, an import, copies),
    // the criteria summary shows Line in their place, until the results are cleared, searched for
    // again or the criteria edited; Search then runs the criteria alone, without an area.
    void ShowResultsOrigin(const QString& Line);
    void DropResultsOrigin();

    // "View" (uMainFormMap.cpp): opens the one world map window, or brings it to the front.
    void WorldMapExecute();
    // The world map window while it is open, else nullptr.
    TFrmWorldMap* WorldMapWindow() const;

    // Undo and redo (uMainFormHistory.cpp). The changes since the document was opened: Open,
    // Close and Revert empty the history, Save and Save as keep it.
    TUndoHistory UndoHistory;
    // Keeps the change that MakeStep records (null: nothing changed) for undo. Should that fail,
    // the history goes, since its older steps would no longer fit the document, and the user is
    // told that the change cannot be undone.
    void RecordChange(const std::function<std::unique_ptr<TUndoStep>()>& MakeStep);
    // A change made without a step (the user agreed that it cannot be undone).
    void RecordUnkeptChange();
    // Before a change whose step holds at most StepBytes: whether its step can be kept, and if
    // not, "This change cannot be undone. Continue?". Cancel: the change must not run.
    enum class TRecording { Keep, DoNotKeep, Cancel };
    TRecording AskRecording(std::size_t StepBytes);
    // A new document: an empty history, nothing unsaved, a limit fitted to the document.
    void ClearHistory();
    // The same for a document known to hold DocumentBytes (HeapBytesOf).
    void ClearHistory(std::size_t DocumentBytes);
    void EditUndoExecute();
    void EditRedoExecute();

    // True while a long command runs: a TLongLoop walks the objects, or a file is being read.
    bool LongLoopRunning() const { return LongLoops > 0; }

signals:
    // The last long command has ended (a load, a search, a deletion, a bulk edit): the window
    // takes commands again. Tests and scripts that drive the window wait for it.
    void Idle();
    void ListBox1CountChanged(int Count);
    // The document changed in a way views that show it must follow: every RefreshViews ends with
    // it, and so do an object edited in the editor and every Undo and Redo, once the views show
    // the change.
    void DocumentChanged();

protected:
    void closeEvent(QCloseEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dragMoveEvent(QDragMoveEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;

private:
    TActionList& CommandActions() override { return *ActionList1; }
    void ShowProgress(int64_t Done, int64_t Total) override;
    void LongCommandStarted() override;
    void LongCommandEnded() override;

    void CreateActions();
    void CreateMenu();
    void CreateToolBar(QWidget* Client);
    void CreateSummary(QWidget* Client);
    void CreateCitNumsTab();
    void CreateModelsTab();
    void CreateObjectsTab();
    void CreateSearchTab();

    void BindListHandlers();
    void BindBulkHandlers();
    void BindSearchHandlers();
    void BindHistoryHandlers();
    void BindWorldHandlers();
    // The Edit menu names the next change to undo and to redo.
    void ShowHistory();
    void StepHistory(bool Undoing);
    // Whether the window may close now, asking about unsaved changes.
    bool MayClose();
    // Once every control, menu and handler exists.
    void SetUpKeyboardAndScreenReader();
    // A search or a deletion of its results is under way.
    bool SearchBusy() const;
    void RunAreaSearch(const TAreaSearch& Search);
    void DropSearchArea();

    void ShowFileName(const QString& Text);
    void SetListBox1Count(int Count);
    void LoadAndRefresh(const std::string& Path, int Version);
    // The old objects are freed on a thread of their own: millions of them take the window's
    // thread a noticeable while.
    void DisposeObjects(std::vector<TPropObject>&& Objects);
    // Reads the dump at Path through Load(File, Version), first with version 0, as Open does:
    // a file without a header asks for its version. False when that question was cancelled.
    // Errors pass to the caller, naming the file.
    bool LoadAskingVersion(const QString& Path,
                           const std::function<void(const std::string& File, int Version)>& Load);
    // Asks for another dump and reads it into Other, asking for the version of one without a
    // header as Open does; Name is its file name without the folder. False when the user cancelled.
    bool ReadOtherDump(TPropdumpFile& Other, QString& Name);
    void SetFileActionsEnabled(bool Enabled);
    // Whether a drop may start a command now: not while one runs, asks or holds a dialog open.
    bool TakesDrops() const;
    // The drop's own command, once the drag is over: a refusal's message, or the file opened.
    void DroppedExecute(const QString& Path, const QString& Refusal);
    void Refresh(const std::function<TDistinctValues()>& Distinct);

    QString FullFileName;
    // The folder of the file last opened or saved under a new name.
    QString LastFolder;
    QString ResultsOrigin;
    std::jthread Disposer;
    QPointer<TFrmWorldMap> WorldMapForm;
    int ObjectRows = 0;
    int LongLoops = 0;
    bool CloseWhenLoopsEnd = false;
    bool Centred = false;
    // The question about unsaved changes is on the screen.
    bool AskingToSave = false;
    // The user let the ending session discard the changes; the window's close that follows does
    // not ask again, unless the document changes meanwhile.
    bool SessionDiscarded = false;
};
