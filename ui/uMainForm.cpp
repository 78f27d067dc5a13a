#include "ui/uMainForm.h"

#include "ui/Accessibility.h"
#include "ui/BackgroundWork.h"
#include "ui/BeepMessageDlg.h"
#include "ui/Command.h"
#include "ui/CountText.h"
#include "ui/DialogLook.h"
#include "ui/FormFont.h"
#include "ui/Images.h"
#include "ui/Platform.h"
#include "ui/ScreenFit.h"
#include "ui/SearchResultsModel.h"
#include "ui/TextCodec.h"
#include "ui/uFrmSetVersion.h"

#include <QAction>
#include <QCloseEvent>
#include <QCollator>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QStandardItemModel>
#include <QStringListModel>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>
#include <limits>
#include <numeric>
#include <stdexcept>

namespace {

constexpr int LineEditHeight = 21;

// The header sections of the objects list: caption and starting width.
struct TSection {
    const char* Caption;
    int Width;
};
constexpr TSection HeaderSections[] = {{"Cit#", 50},   {"Date/Time", 125},   {"Location", 125},
                                       {"Model", 125}, {"Description", 125}, {"Action", 110}};

QString DecodeFileName(const std::string& Bytes) {
    return QFile::decodeName(QByteArray::fromStdString(Bytes));
}

std::string EncodeFileName(const QString& Path) {
    return QFile::encodeName(Path).toStdString();
}

QStringList ToStringList(const std::vector<std::string>& Items) {
    QStringList Result;
    Result.reserve(static_cast<qsizetype>(Items.size()));
    for (const std::string& Item : Items)
        Result.append(ToQString(Item));
    return Result;
}

// Model names sort as a reader expects in the user's language, without regard to letter case: an
// accented e next to e, not after z. The C locale orders by character code, which is no reader's
// order, so there the language-neutral order stands in.
QStringList SortedModelNames(const std::vector<std::string>& Names) {
    QLocale Locale;
    if (Locale.language() == QLocale::C)
        Locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator Collator(Locale);
    Collator.setCaseSensitivity(Qt::CaseInsensitive);
    QStringList Texts = ToStringList(Names);
    // One key per name rather than a collation per comparison: a file can have many names.
    std::vector<QCollatorSortKey> Keys;
    Keys.reserve(Names.size());
    for (const QString& Text : Texts)
        Keys.push_back(Collator.sortKey(Text));
    std::vector<qsizetype> Order(Names.size());
    std::iota(Order.begin(), Order.end(), 0);
    std::stable_sort(Order.begin(), Order.end(), [&Keys](qsizetype A, qsizetype B) {
        return Keys[static_cast<std::size_t>(A)].compare(Keys[static_cast<std::size_t>(B)]) < 0;
    });
    QStringList Sorted;
    Sorted.reserve(Texts.size());
    for (const qsizetype Index : Order)
        Sorted.append(std::move(Texts[Index]));
    return Sorted;
}

// For buttons that show no hints, though their actions have captions: the tool bar's image-only
// buttons and the buttons on the tabs.
class TNoToolTips : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        return Event->type() == QEvent::ToolTip || QObject::eventFilter(Watched, Event);
    }
};

// Text boxes claim some of the window's shortcuts for their own editing (Ctrl+A selects all,
// Ctrl+K deletes to the end of the line). In this window the window's commands come first: a box
// is refused every key that an enabled command of the window is bound to, so the key reaches that
// command. A disabled command leaves its key to the box, and select-all stays in the box's menu.
// Close is the exception: its Ctrl+K is what Linux users press in a box to delete to the end of
// the line, and it must never close the document from there, so in a box it is the box's key
// alone (which does nothing where the desktop binds it to nothing).
class TWindowShortcutsFirst : public QObject {
public:
    TWindowShortcutsFirst(QWidget* Window, const QAction* BoxFirst)
        : QObject(Window), Window(Window), BoxFirst(BoxFirst) {}
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() != QEvent::ShortcutOverride)
            return QObject::eventFilter(Watched, Event);
        const QKeySequence Pressed(static_cast<QKeyEvent*>(Event)->keyCombination());
        if (qobject_cast<QLineEdit*>(Watched) && BoxFirst->shortcut() == Pressed) {
            Event->accept();
            return true;
        }
        for (const QAction* Action : Window->actions()) {
            if (Action->isEnabled() && Action->shortcut() == Pressed) {
                LeaveMenuBar(Watched);
                Event->ignore();
                return true;
            }
        }
        return false;
    }

private:
    // The menu items' copies of the keys answer only while the menu bar has the focus, as it has
    // after Alt alone; both would then answer and the key would be ambiguous. The bar gives the
    // focus back first, as Escape makes it do, and only the command answers.
    static void LeaveMenuBar(QObject* Watched) {
        auto* Bar = qobject_cast<QMenuBar*>(Watched);
        if (!Bar || !Bar->hasFocus())
            return;
        QKeyEvent Escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(Bar, &Escape);
    }

    QWidget* Window;
    const QAction* BoxFirst;
};

// A menu item that shows its action's caption, shortcut, image and enabled state and runs it.
// The item carries the shortcut too, so that the menu shows it and screen readers announce it as
// the item's shortcut rather than as part of its name. Only the action answers the key: the
// item's copy would answer only while the menu bar has the focus, and the bar gives the focus
// back before a command's key is looked up (TWindowShortcutsFirst), so the key is never
// ambiguous.
QAction* AddMenuItem(QMenu* Menu, QAction* Source, const QString& Name) {
    auto* Item = new QAction(Menu);
    Item->setObjectName(Name);
    Item->setShortcutContext(Qt::WidgetShortcut);
    auto Sync = [Item, Source] {
        Item->setText(Source->text());
        Item->setShortcut(Source->shortcut());
        Item->setIcon(Source->icon());
        Item->setEnabled(Source->isEnabled());
    };
    Sync();
    QObject::connect(Source, &QAction::changed, Item, Sync);
    QObject::connect(Item, &QAction::triggered, Source, [Source] { Source->trigger(); });
    Menu->addAction(Item);
    return Item;
}

QAction* AddMenuSeparator(QMenu* Menu, const QString& Name) {
    QAction* Separator = Menu->addSeparator();
    Separator->setObjectName(Name);
    return Separator;
}

void BindButton(QPushButton* Button, QAction* Source) {
    auto Sync = [Button, Source] {
        Button->setText(Source->text());
        Button->setIcon(Source->icon());
        Button->setEnabled(Source->isEnabled());
    };
    Sync();
    QObject::connect(Source, &QAction::changed, Button, Sync);
    QObject::connect(Button, &QPushButton::clicked, Source, [Source] { Source->trigger(); });
}

template <class TWidget> TWidget* Named(TWidget* Widget, const char* Name) {
    Widget->setObjectName(QString::fromLatin1(Name));
    return Widget;
}

QLabel* AddLabel(QWidget* Parent, const QString& Text, int Left, int Top) {
    auto* Label = new QLabel(Text, Parent);
    Label->move(Left, Top);
    Label->adjustSize();
    return Label;
}

QLineEdit* AddEdit(QWidget* Parent, const char* Name, int Left, int Top, int Width) {
    auto* Edit = Named(new QLineEdit(Parent), Name);
    Edit->setGeometry(Left, Top, Width, LineEditHeight);
    return Edit;
}

// The "Replace" group of the "CitNums" and "Models" tabs: a find box above a replacement box.
struct TReplaceLayout {
    const char* Name;
    QRect Geometry;
    const char* FindCaption;
    const char* FindName;
    const char* ReplaceName;
    int EditLeft;
    int EditWidth;
};
struct TReplaceGroup {
    QGroupBox* Box;
    QLineEdit* Find;
    QLineEdit* Replace;
};

TReplaceGroup AddReplaceGroup(QWidget* Parent, const TReplaceLayout& Layout) {
    auto* Box = Named(new QGroupBox(QStringLiteral("Replace"), Parent), Layout.Name);
    Box->setGeometry(Layout.Geometry);
    QLabel* FindLabel = AddLabel(Box, QString::fromLatin1(Layout.FindCaption), 16, 28);
    QLineEdit* Find = AddEdit(Box, Layout.FindName, Layout.EditLeft, 24, Layout.EditWidth);
    TieLabel(*FindLabel, *Find);
    QLabel* ReplaceLabel = AddLabel(Box, QStringLiteral("Replace with:"), 16, 52);
    QLineEdit* Replace = AddEdit(Box, Layout.ReplaceName, Layout.EditLeft, 48, Layout.EditWidth);
    TieLabel(*ReplaceLabel, *Replace);
    return {Box, Find, Replace};
}

QToolButton* AddSpeedButton(QWidget* Parent, const char* Name, const QRect& Geometry,
                            QAction* Action, bool Flat) {
    auto* Button = Named(new QToolButton(Parent), Name);
    Button->setGeometry(Geometry);
    Button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    Button->setAutoRaise(Flat);
    Button->setCursor(Qt::PointingHandCursor);
    if (Action) {
        Button->setDefaultAction(Action);
        // A button bound to an action would show its caption as a hint; these have none.
        Button->installEventFilter(new TNoToolTips(Button));
    }
    return Button;
}

QPushButton* AddButton(QWidget* Parent, const char* Name, const QRect& Geometry, QAction* Action) {
    auto* Button = Named(new QPushButton(Parent), Name);
    Button->setGeometry(Geometry);
    Button->setCursor(Qt::PointingHandCursor);
    BindButton(Button, Action);
    return Button;
}

QListView* AddStringList(QWidget* Parent, const char* Name, QStringListModel*& Items) {
    auto* List = Named(new QListView(Parent), Name);
    Items = new QStringListModel(List);
    List->setModel(Items);
    List->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List->setUniformItemSizes(true);
    List->setGeometry(0, 0, 681, 105);
    return List;
}

} // namespace

TMainForm::TMainForm(QWidget* Parent) : QMainWindow(Parent) {
    setObjectName(QStringLiteral("MainForm"));
    // Qt shows the placeholder as "*" while the document has unsaved changes, and not otherwise.
    setWindowTitle(QString::fromLatin1(ApplicationTitle) + QStringLiteral("[*]"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    ApplyFormFont(*this);

    ActionList1 = new TActionList(this);
    ActionList1->setObjectName(QStringLiteral("ActionList1"));
    CreateActions();
    CreateMenu();

    auto* Client = new QWidget(this);
    Client->setObjectName(QStringLiteral("Client"));
    Client->setFixedSize(ClientWidth, ClientHeight);
    setCentralWidget(Client);
    CreateToolBar(Client);
    CreateSummary(Client);

    PageControl1 = Named(new QTabWidget(Client), "PageControl1");
    PageControl1->setGeometry(8, 104, 689, 257);
    TabSheet1 = Named(new QWidget, "TabSheet1");
    TabSheet2 = Named(new QWidget, "TabSheet2");
    TabSheet3 = Named(new QWidget, "TabSheet3");
    TabSheet4 = Named(new QWidget, "TabSheet4");
    PageControl1->addTab(TabSheet1, QStringLiteral("CitNums"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Models"));
    PageControl1->addTab(TabSheet3, QStringLiteral("Objects"));
    PageControl1->addTab(TabSheet4, QStringLiteral("Search"));
    CreateCitNumsTab();
    CreateModelsTab();
    CreateObjectsTab();
    CreateSearchTab();

    layout()->setSizeConstraint(QLayout::SetFixedSize);

    BindListHandlers();
    BindBulkHandlers();
    BindSearchHandlers();
    BindWorldHandlers();
    SetUpKeyboardAndScreenReader();

    auto* ShortcutsFirst = new TWindowShortcutsFirst(this, CloseFile);
    for (QWidget* Child : findChildren<QWidget*>())
        Child->installEventFilter(ShortcutsFirst);
    setAcceptDrops(true);
    auto* FilesToWindow = new TFilesToWindow(this);
    for (QLineEdit* Box : findChildren<QLineEdit*>())
        Box->installEventFilter(FilesToWindow);
    // Last: the text boxes' own undo keys are sorted out before the filter above sees them.
    BindHistoryHandlers();

    // Window creation: the "Objects" tab; the views start empty until the first refresh.
    PageControl1->setCurrentIndex(ObjectsTab);
}

TMainForm::~TMainForm() = default;

void TMainForm::CreateActions() {
    struct TActionEntry {
        QAction*& Target;
        const char* Name;
        const char* Caption;
        QKeySequence Shortcut;
        int Image;
        bool Enabled;
        TActionList::THandler Handler;
    };
    const TActionEntry Entries[] = {
        {OpenFile, "OpenFile", "&Open", QKeySequence(Qt::CTRL | Qt::Key_O), 0, true,
         [this] { OpenFileExecute(); }},
        {SaveFile, "SaveFile", "&Save", QKeySequence(Qt::CTRL | Qt::Key_S), 1, false,
         [this] { SaveFileExecute(); }},
        {SaveFileAs, "SaveFileAs", "Save &as...", QKeySequence(Qt::CTRL | Qt::Key_A), 2, false,
         [this] { SaveFileAsExecute(); }},
        {CloseFile, "CloseFile", "&Close", QKeySequence(Qt::CTRL | Qt::Key_K), 3, false,
         [this] { CloseFileExecute(); }},
        {RevertFile, "RevertFile", "&Revert", QKeySequence(Qt::CTRL | Qt::Key_R), 4, false,
         [this] { RevertFileExecute(); }},
        {ExitApp, "ExitApp", "E&xit", QKeySequence(Qt::ALT | Qt::Key_F4), 5, true,
         [this] { ExitAppExecute(); }},
        {DoCitNumReplace, "DoCitNumReplace", "Apply", {}, -1, true, {}},
        {ReplaceModels, "ReplaceModels", "Apply", {}, -1, true, {}},
        {NormalizeModels, "NormalizeModels", "Normalize", {}, -1, true, {}},
        {DenormalizeModels, "DenormalizeModels", "Denormalize", {}, -1, true, {}},
        {DoSearch, "DoSearch", "Search", {}, -1, true, {}},
        {DeleteSearchResults, "DeleteSearchResults", "Delete", {}, -1, false, {}},
        {ClearSearchResults,
         "ClearSearchResults",
         "Clear",
         {},
         -1,
         true,
         [this] { ClearSearchResultsExecute(); }},
        {EditUndo, "EditUndo", "&Undo", QKeySequence(Qt::CTRL | Qt::Key_Z), -1, false, {}},
        {EditRedo, "EditRedo", "&Redo", QKeySequence(Qt::CTRL | Qt::Key_Y), -1, false, {}},
        {WorldMap, "WorldMap", "World &map", QKeySequence(Qt::CTRL | Qt::Key_M), -1, true,
         [this] { WorldMapExecute(); }},
        {MoveSearchResults, "MoveSearchResults", "Move...", {}, -1, false, {}},
        {ImportObjects, "ImportObjects", "&Import objects...", {}, -1, false, {}},
        {CompareWith, "CompareWith", "Co&mpare with...", {}, -1, false, {}},
    };
    for (const TActionEntry& Entry : Entries) {
        QAction* Action = ActionList1->Add(QString::fromLatin1(Entry.Name),
                                           QString::fromLatin1(Entry.Caption), Entry.Handler);
        Action->setShortcut(Entry.Shortcut);
        if (Entry.Image >= 0)
            Action->setIcon(ImageList1(Entry.Image));
        Action->setEnabled(Entry.Enabled);
        // Shortcuts work wherever the focus is in the window.
        addAction(Action);
        Entry.Target = Action;
    }
}

void TMainForm::CreateMenu() {
    auto* MainMenu1 = Named(new QMenuBar(this), "MainMenu1");
    File1 = Named(MainMenu1->addMenu(QStringLiteral("&File")), "File1");
    AddMenuItem(File1, OpenFile, QStringLiteral("Open1"));
    AddMenuItem(File1, SaveFile, QStringLiteral("Save1"));
    AddMenuItem(File1, SaveFileAs, QStringLiteral("Saveas1"));
    AddMenuItem(File1, CloseFile, QStringLiteral("Close1"));
    AddMenuSeparator(File1, QStringLiteral("N1"));
    AddMenuItem(File1, RevertFile, QStringLiteral("Revert1"));
    AddMenuSeparator(File1, QStringLiteral("N2"));
    AddMenuItem(File1, ImportObjects, QStringLiteral("ImportObjects1"));
    AddMenuItem(File1, CompareWith, QStringLiteral("CompareWith1"));
    AddMenuSeparator(File1, QStringLiteral("N3"));
    AddMenuItem(File1, ExitApp, QStringLiteral("Exit1"));
    Edit1 = Named(MainMenu1->addMenu(QStringLiteral("Edit")), "Edit1");
    AddMenuItem(Edit1, EditUndo, QStringLiteral("Undo1"));
    AddMenuItem(Edit1, EditRedo, QStringLiteral("Redo1"));
    View1 = Named(MainMenu1->addMenu(QStringLiteral("View")), "View1");
    AddMenuItem(View1, WorldMap, QStringLiteral("WorldMap1"));
    setMenuBar(MainMenu1);
}

void TMainForm::CreateToolBar(QWidget* Client) {
    ToolBar1 = Named(new QToolBar(Client), "ToolBar1");
    ToolBar1->setGeometry(0, 0, ClientWidth, 25);
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->setCursor(Qt::PointingHandCursor);

    auto* Indent = new QWidget(ToolBar1);
    Indent->setFixedWidth(8);
    ToolBar1->addWidget(Indent);

    auto* NoToolTips = new TNoToolTips(ToolBar1);
    auto AddToolButton = [this, NoToolTips](const char* Name, QAction* Action) {
        auto* Button = Named(new QToolButton(ToolBar1), Name);
        Button->setDefaultAction(Action);
        Button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        Button->setAutoRaise(true);
        Button->installEventFilter(NoToolTips);
        ToolBar1->addWidget(Button);
    };
    AddToolButton("ToolButton1", OpenFile);
    AddToolButton("ToolButton2", SaveFile);
    AddToolButton("ToolButton3", SaveFileAs);
    AddToolButton("ToolButton5", CloseFile);
    ToolBar1->addSeparator();
    AddToolButton("ToolButton7", RevertFile);
    ToolBar1->addSeparator();
    AddToolButton("ToolButton8", ExitApp);
}

void TMainForm::CreateSummary(QWidget* Client) {
    const int TextHeight = fontMetrics().height() + 2;
    FileName = Named(new QLabel(Client), "FileName");
    FileName->setGeometry(8, 40, 473, TextHeight);

    ProgressBar1 = Named(new QProgressBar(Client), "ProgressBar1");
    ProgressBar1->setGeometry(488, 40, 206, 25);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);

    PropObjCount = Named(new QLabel(Client), "PropObjCount");
    PropObjCount->setGeometry(8, 64, 473, TextHeight);
    PropFileVer = Named(new QLabel(Client), "PropFileVer");
    PropFileVer->setGeometry(8, 80, 473, TextHeight);
    for (QLabel* Label : {FileName, PropObjCount, PropFileVer})
        Label->setTextFormat(Qt::PlainText);
}

void TMainForm::CreateCitNumsTab() {
    CitNumList = AddStringList(TabSheet1, "CitNumList", CitNumItems);
    const TReplaceGroup Group =
        AddReplaceGroup(TabSheet1, {"GroupBox1", QRect(128, 112, 425, 105),
                                    "Find citnum:", "FindCitNum", "ReplaceCitNum", 110, 121});
    GroupBox1 = Group.Box;
    FindCitNum = Group.Find;
    ReplaceCitNum = Group.Replace;
    AddLabel(GroupBox1, QStringLiteral("(use \"-1\" to replace all citnums)"), 238, 24);
    SpeedButton1 =
        AddSpeedButton(GroupBox1, "SpeedButton1", QRect(38, 72, 193, 22), DoCitNumReplace, true);
}

void TMainForm::CreateModelsTab() {
    ModelList = AddStringList(TabSheet2, "ModelList", ModelItems);
    const TReplaceGroup Group =
        AddReplaceGroup(TabSheet2, {"GroupBox2", QRect(8, 112, 425, 105), "Find:", "FindModelName",
                                    "ReplaceModelName", 107, 283});
    GroupBox2 = Group.Box;
    FindModelName = Group.Find;
    ReplaceModelName = Group.Replace;
    SpeedButton2 =
        AddSpeedButton(GroupBox2, "SpeedButton2", QRect(107, 72, 283, 22), ReplaceModels, true);

    NormalizeButton =
        AddButton(TabSheet2, "NormalizeButton", QRect(448, 120, 75, 25), NormalizeModels);
    DenormalizeButton =
        AddButton(TabSheet2, "DenormalizeButton", QRect(448, 152, 75, 25), DenormalizeModels);
}

void TMainForm::CreateObjectsTab() {
    auto* Sections = new QStandardItemModel(0, std::size(HeaderSections), TabSheet3);
    for (int Index = 0; Index < static_cast<int>(std::size(HeaderSections)); ++Index)
        Sections->setHeaderData(Index, Qt::Horizontal,
                                QString::fromLatin1(HeaderSections[Index].Caption));

    HeaderControl1 = Named(new QHeaderView(Qt::Horizontal, TabSheet3), "HeaderControl1");
    HeaderControl1->setModel(Sections);
    HeaderControl1->setSectionResizeMode(QHeaderView::Interactive);
    HeaderControl1->setStretchLastSection(false);
    HeaderControl1->setSectionsMovable(false);
    HeaderControl1->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    HeaderControl1->setFixedHeight(17);
    for (int Index = 0; Index < static_cast<int>(std::size(HeaderSections)); ++Index)
        HeaderControl1->resizeSection(Index, HeaderSections[Index].Width);

    ListBox1 = Named(new QListView(TabSheet3), "ListBox1");
    ListBox1->setUniformItemSizes(true);
    ListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* Layout = new QVBoxLayout(TabSheet3);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->setSpacing(0);
    Layout->addWidget(HeaderControl1);
    Layout->addWidget(ListBox1, 1);
}

void TMainForm::CreateSearchTab() {
    Label8 = Named(AddLabel(TabSheet4, QStringLiteral("Criteria:"), 8, 8), "Label8");

    ListBox2 = Named(new QListWidget(TabSheet4), "ListBox2");
    ListBox2->setGeometry(56, 8, 529, 73);
    // Read-only, in the button-face colour like the criteria dialog's fields that are off.
    SetEntryColour(*ListBox2, TEntryState::ReadOnly);
    ListBox2->addItem(QStringLiteral("none"));

    SpeedButton3 = AddSpeedButton(TabSheet4, "SpeedButton3", QRect(592, 8, 81, 22), nullptr, false);
    SpeedButton3->setText(QStringLiteral("Edit..."));
    SpeedButton3->setToolTip(QStringLiteral("Edit search criteria"));
    SpeedButton4 =
        AddSpeedButton(TabSheet4, "SpeedButton4", QRect(592, 32, 81, 22), DoSearch, false);
    SpeedButton5 = AddSpeedButton(TabSheet4, "SpeedButton5", QRect(592, 56, 81, 22),
                                  ClearSearchResults, false);
    // The style's pictures stand in where the desktop has no icon theme; a QIcon greys itself
    // out while its action is disabled, which gives the search button its second state.
    SpeedButton3->setIcon(QIcon(ThemePixmap(QStringLiteral("document-properties"),
                                            QStyle::SP_FileDialogDetailedView, 16)));
    DoSearch->setIcon(
        QIcon(ThemePixmap(QStringLiteral("edit-find"), QStyle::SP_FileDialogContentsView, 16)));
    ClearSearchResults->setIcon(
        QIcon(ThemePixmap(QStringLiteral("edit-clear"), QStyle::SP_DialogResetButton, 16)));

    GroupBox3 = Named(new QGroupBox(QStringLiteral("Results: 0"), TabSheet4), "GroupBox3");
    GroupBox3->setGeometry(8, 88, 665, 129);

    SearchResults = new TSearchResultsModel(this);
    SearchResults->setObjectName(QStringLiteral("SearchResults"));
    ListView2 = Named(new QTreeView(GroupBox3), "ListView2");
    ListView2->setGeometry(8, 15, 649, 74);
    ListView2->setModel(SearchResults);
    ListView2->setRootIsDecorated(false);
    ListView2->setItemsExpandable(false);
    ListView2->setUniformRowHeights(true);
    ListView2->setAllColumnsShowFocus(true);
    ListView2->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView2->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView2->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView2->header()->setStretchLastSection(false);
    ListView2->header()->setSectionsMovable(false);
    for (int Column = 0; Column < TSearchResultsModel::ColumnCount; ++Column)
        ListView2->header()->resizeSection(Column, TSearchResultsModel::ColumnWidth(Column));

    btnDeleteResults =
        AddButton(GroupBox3, "btnDeleteResults", QRect(8, 96, 75, 25), DeleteSearchResults);
    btnMoveResults =
        AddButton(GroupBox3, "btnMoveResults", QRect(88, 96, 75, 25), MoveSearchResults);
}

void TMainForm::ShowFileName(const QString& Text) {
    FullFileName = Text;
    SetShortenedText(*FileName, Text);
}

void TMainForm::SetListBox1Count(int Count) {
    ObjectRows = Count;
    emit ListBox1CountChanged(Count);
}

void TMainForm::SetFileActionsEnabled(bool Enabled) {
    SaveFile->setEnabled(Enabled);
    SaveFileAs->setEnabled(Enabled);
    RevertFile->setEnabled(Enabled);
    CloseFile->setEnabled(Enabled);
    ImportObjects->setEnabled(Enabled);
    CompareWith->setEnabled(Enabled);
}

void TMainForm::RefreshViews() {
    Refresh([this] { return TDistinctValues{Propdump.GetCitizenNumbers(), Propdump.GetModelNames()}; });
}

void TMainForm::RefreshViews(TDistinctValues Known) {
    Refresh([&Known] { return std::move(Known); });
}

void TMainForm::Refresh(const std::function<TDistinctValues()>& Distinct) {
    ShowFileName(DecodeFileName(Propdump.FileName));
    ProgressBar1->setValue(0);
    PropFileVer->clear();
    if (Propdump.FileName.empty()) {
        CitNumItems->setStringList({});
        ModelItems->setStringList({});
        SetListBox1Count(0);
        PropObjCount->clear();
        SetFileActionsEnabled(false);
        emit DocumentChanged();
        return;
    }

    PropObjCount->setText(QStringLiteral("Initializing list view..."));
    {
        // Only so that the label gets painted: a command started from here would change the
        // document half-way through this refresh.
        TActionList::TSuspendGuard Suspended(*ActionList1);
        Platform().ProcessEvents();
    }
    const TDistinctValues Values = Distinct();
    CitNumItems->setStringList(ToStringList(Values.CitizenNumbers));
    ModelItems->setStringList(SortedModelNames(Values.ModelNames));
    SetListBox1Count(Propdump.Count());
    PropObjCount->setText(QStringLiteral("Objects in propdump: ") + FormatCount(Propdump.Count()));
    PropFileVer->setText(QStringLiteral("File version %1").arg(Propdump.Version));
    PageControl1->setCurrentIndex(ObjectsTab);
    SetFileActionsEnabled(true);
    emit DocumentChanged();
}

void TMainForm::LoadAndRefresh(const std::string& Path, int Version) {
    // A failed or stopped load leaves the document as it was, so the views and the history stay
    // true.
    // Says what is being read, and how to stop it, until the refresh tells about the new
    // document; a load that did not end so puts the old count back.
    const QString Shown = PropObjCount->text();
    PropObjCount->setText(QStringLiteral("Reading \"%1\"... (Esc stops)")
                              .arg(QFileInfo(DecodeFileName(Path)).fileName()));
    bool Refreshed = false;
    const auto PutBack = qScopeGuard([&] {
        if (!Refreshed)
            PropObjCount->setText(Shown);
    });
    const std::unique_ptr<TLoadedDocument> Loaded = LoadInBackground(*this, *this, Path, Version);
    if (!Loaded)
        return;
    Refreshed = true;
    TPropdumpFile& New = Loaded->Document;
    Propdump.Objects.swap(New.Objects);
    Propdump.FileName.swap(New.FileName);
    Propdump.Version = New.Version;
    DisposeObjects(std::move(New.Objects));
    ClearHistory(Loaded->HeapBytes);
    RefreshViews(std::move(Loaded->Distinct));
}

void TMainForm::DisposeObjects(std::vector<TPropObject>&& Objects) {
    if (Objects.empty())
        return;
    if (Disposer.joinable())
        Disposer.join();
    try {
        Disposer = std::jthread(
            [Old = std::move(Objects)]() mutable { std::vector<TPropObject>().swap(Old); });
    } catch (...) {
        // No thread to be had: the objects are freed here, which only takes longer. The new
        // document is in place by now; a failure must not leave its views and history behind.
        std::vector<TPropObject>().swap(Objects);
    }
}

void TMainForm::OpenFileExecute() {
    if (!QuerySaveChanges())
        return;
    const QString Path = Platform().GetOpenFileName(this, FileDialogFolder());
    if (Path.isEmpty())
        return;
    OpenFileNamed(Path);
}

void TMainForm::OpenFileNamed(const QString& Path) {
    // Also when the file then cannot be read: the user went to its folder for it.
    LastFolder = QFileInfo(Path).absolutePath();
    TBusyBracket Busy;
    ActionList1->Execute(ClearSearchResults);
    LoadAskingVersion(
        Path, [this](const std::string& File, int Version) { LoadAndRefresh(File, Version); });
}

bool TMainForm::LoadAskingVersion(
    const QString& Path, const std::function<void(const std::string& File, int Version)>& Load) {
    const std::string File = EncodeFileName(Path);
    bool AskVersion = false;
    try {
        Load(File, 0);
    } catch (const EPropdumpVersionUnknown&) {
        AskVersion = true;
    } catch (const std::exception& Error) {
        throw std::runtime_error(LoadErrorText(Path, Error).toStdString());
    }
    if (!AskVersion)
        return true;
    TFrmSetVersion Dialog(this);
    Dialog.SetFileName(Path);
    if (Platform().RunModal(Dialog) != QDialog::Accepted)
        return false;
    const int Version = Dialog.SelectedVersion();
    try {
        Load(File, Version);
    } catch (const std::exception& Error) {
        // With no version chosen the first line fails for the version, not for what it holds;
        // its line number would only mislead.
        throw std::runtime_error(
            LoadErrorText(Path, Error, Version >= 2 && Version <= 4).toStdString());
    }
    return true;
}

QString TMainForm::FileDialogFolder() const {
    QString Folder =
        Propdump.FileName.empty() ? LastFolder : QFileInfo(FullFileName).absolutePath();
    while (!Folder.isEmpty() && !QFileInfo(Folder).isDir()) {
        const QString Enclosing = QFileInfo(Folder).absolutePath();
        if (Enclosing == Folder)
            return {};
        Folder = Enclosing;
    }
    return Folder;
}

void TMainForm::SaveFileExecute() {
    try {
        // The file as it was is the best guess of what the save writes.
        const QFileInfo Old(DecodeFileName(Propdump.FileName));
        SaveInBackground(*this, *this, Propdump, Old.isFile() ? Old.size() : 0);
    } catch (...) {
        // The file may have been written in part: it may no longer hold what was last saved.
        UndoHistory.MarkFileChanged();
        ShowHistory();
        throw;
    }
    UndoHistory.MarkSaved();
    ShowHistory();
    Platform().PlaySound(TSoundKind::Asterisk);
}

void TMainForm::SaveFileAsExecute() {
    const QString Path = Platform().GetSaveFileName(this, PropdumpSaveDialog(), FileDialogFolder());
    if (Path.isEmpty())
        return;
    LastFolder = QFileInfo(Path).absolutePath();
    const std::string Previous = Propdump.FileName;
    const QString PreviousText = FullFileName;
    auto PutBack = [&] {
        Propdump.FileName = Previous;
        ShowFileName(PreviousText);
    };
    Propdump.FileName = EncodeFileName(Path);
    ShowFileName(Path);
    // The document and the label must never name a file that was not written.
    bool Saved = false;
    try {
        Saved = ActionList1->Execute(SaveFile);
    } catch (...) {
        PutBack();
        throw;
    }
    if (!Saved)
        PutBack();
}

void TMainForm::CloseFileExecute() {
    if (Propdump.FileName.empty() || !QuerySaveChanges())
        return;
    TBusyBracket Busy;
    ActionList1->Execute(ClearSearchResults);
    DisposeObjects(std::move(Propdump.Objects));
    Propdump.Clear();
    ClearHistory();
    RefreshViews();
}

void TMainForm::RevertFileExecute() {
    if (Propdump.FileName.empty())
        return;
    if (BeepMessageDlg(this, QStringLiteral("Do you want to reload the propdump file?"),
                       TMsgDlgType::Confirmation,
                       QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    TBusyBracket Busy;
    ActionList1->Execute(ClearSearchResults);
    // A copy: the load assigns the document's own file name.
    const std::string File = Propdump.FileName;
    try {
        LoadAndRefresh(File, 0);
    } catch (const std::exception& Error) {
        throw std::runtime_error(LoadErrorText(DecodeFileName(File), Error).toStdString());
    }
}

void TMainForm::ExitAppExecute() {
    close();
}

void TMainForm::ClearSearchResultsExecute() {
    // A running search has DoSearch disabled and still fills the results.
    if (!DoSearch->isEnabled())
        return;
    const int Rows = SearchResults->RowCount();
    SearchResults->Clear();
    DropSearchArea();
    DropResultsOrigin();
    ProgressBar1->setValue(0);
    GroupBox3->setTitle(QStringLiteral("Results: ") + FormatCount(0));
    if (Rows > 0)
        Platform().PlaySound(TSoundKind::Asterisk);
}

void TMainForm::ShowProgress(int64_t Done, int64_t Total) {
    if (Total == UnknownTotal) {
        ProgressBar1->setRange(0, 0);
        return;
    }
    // A bar counts in int; a file's bytes may not fit.
    int Shift = 0;
    while ((Total >> Shift) > std::numeric_limits<int>::max())
        ++Shift;
    ProgressBar1->setRange(0, static_cast<int>(Total >> Shift));
    ProgressBar1->setValue(static_cast<int>(std::clamp<int64_t>(Done, 0, Total) >> Shift));
}

void TMainForm::LongCommandStarted() {
    ++LongLoops;
}

void TMainForm::LongCommandEnded() {
    if (LongLoops > 0)
        --LongLoops;
    if (LongLoops == 0)
        emit Idle();
    if (LongLoops == 0 && CloseWhenLoopsEnd) {
        CloseWhenLoopsEnd = false;
        // Queued: the command that ran the loop finishes first.
        QMetaObject::invokeMethod(
            this, [this] { close(); }, Qt::QueuedConnection);
    }
}

void TMainForm::closeEvent(QCloseEvent* Event) {
    if (LongLoopRunning()) {
        // The walk stops at its next step; the window closes when the command has ended.
        Platform().SetShuttingDown(true);
        CloseWhenLoopsEnd = true;
        Event->ignore();
        return;
    }
    if (!MayClose()) {
        // A walk stopped for the closing does not stop the next one.
        Platform().SetShuttingDown(false);
        Event->ignore();
        return;
    }
    QMainWindow::closeEvent(Event);
}

void TMainForm::showEvent(QShowEvent* Event) {
    QMainWindow::showEvent(Event);
    if (Centred)
        return;
    Centred = true;
    if (const QScreen* Screen = screen()) {
        const QRect Area = Screen->availableGeometry();
        const QSize Outer = size().grownBy(FrameAllowance(*this));
        move(KeepInside(Area, Area.center() - QPoint(Outer.width() / 2, Outer.height() / 2), Outer));
    }
}
