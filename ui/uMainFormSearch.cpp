#include "ui/uMainForm.h"

#include "ops/Deletion.h"
#include "ops/MapArea.h"
#include "ops/ObjectFilter.h"
#include "ops/SearchResultRow.h"
#include "ops/UndoRecord.h"
#include "text/DateTimeText.h"
#include "ui/Accessibility.h"
#include "ui/BeepMessageDlg.h"
#include "ui/Command.h"
#include "ui/CountText.h"
#include "ui/LongLoop.h"
#include "ui/Platform.h"
#include "ui/SearchResultsModel.h"
#include "ui/TextCodec.h"
#include "ui/uFrmSearch.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>
#include <exception>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

using TRows = std::vector<TSearchResultsModel::TRow>;

TSearchResultsModel::TRow ResultRow(int Index, const TPropObject& Object) {
    const TSearchResultRow Row = SearchResultRow(Index, Object);
    return TSearchResultsModel::MakeRow(static_cast<int>(Row.Position), ToQString(Row.Owner),
                                        ToQString(Row.DateTime), ToQString(Row.Location),
                                        ToQString(Row.Model));
}

// DoSearch stays disabled while the results are being made or used up: no second search can
// start, and "Clear" leaves the rows alone.
class TSearchActionOff {
public:
    explicit TSearchActionOff(QAction& DoSearch)
        : DoSearch(DoSearch), Focused(QApplication::focusWidget()) {
        DoSearch.setEnabled(false);
        // Qt moves the keyboard focus on from the search button it disables, and a second key
        // press would then clear the results. The focus comes back at the end, unless the user
        // has moved it meanwhile.
        if (Focused && Focused->hasFocus())
            Focused = nullptr;
        else
            MovedTo = QApplication::focusWidget();
    }
    ~TSearchActionOff() {
        DoSearch.setEnabled(true);
        if (Focused && Focused->isEnabled() && QApplication::focusWidget() == MovedTo)
            Focused->setFocus();
    }
    TSearchActionOff(const TSearchActionOff&) = delete;
    TSearchActionOff& operator=(const TSearchActionOff&) = delete;

private:
    QAction& DoSearch;
    QPointer<QWidget> Focused;
    QPointer<QWidget> MovedTo;
};

// One search from the first row removed to the last row listed. However the search ends (done,
// window closing, error), the rows found so far are listed and counted and the controls come
// back before any error is shown.
class TSearchRun {
public:
    explicit TSearchRun(TMainForm& Form) : Form(Form), SearchOff(*Form.DoSearch) {
        Cursor.emplace();
        Form.SearchResults->Clear();
    }
    ~TSearchRun() {
        // The cursor comes back before the sound that tells the search is over.
        Cursor.reset();
        Form.SearchResults->SetRows(std::move(Found));
        const int Rows = Form.SearchResults->RowCount();
        Form.GroupBox3->setTitle(QStringLiteral("Results: ") + FormatCount(Rows));
        Platform().PlaySound(TSoundKind::Asterisk);
        Form.DeleteSearchResults->setEnabled(Rows > 0);
    }
    TSearchRun(const TSearchRun&) = delete;
    TSearchRun& operator=(const TSearchRun&) = delete;

    // Kept out of the model until the end, so the list is redrawn once.
    TRows Found;

private:
    TMainForm& Form;
    TSearchActionOff SearchOff;
    std::optional<TBusyCursor> Cursor;
};

// Marks the object of every result row for deletion. Returns whether every row was marked; when
// the window closes meanwhile, or a row names no object, the deletion takes its marks back.
bool MarkFoundObjects(TDeletion& Deletion, const TSearchResultsModel& Results, TLongLoop& Loop) {
    for (int Row = 0; Row < Results.RowCount(); ++Row) {
        if (!Loop.Step())
            return false;
        Deletion.Mark(Results.Position(Row) - 1);
    }
    Loop.Finish();
    return true;
}

// The widest date the "Date/Time" column can show, with the margins the view draws around it.
int DateColumnWidth(const QTreeView& View) {
    int Widest = 0;
    for (int Month = 1; Month <= 12; ++Month) {
        // Every 31st day from 1 January 2000 falls in the next month: each abbreviation once.
        const int64_t Seconds = 946684800 + int64_t{31} * 86400 * (Month - 1);
        const QString Text = ToQString(FormatListDateTime(SecondsToDateTime(Seconds)));
        Widest = std::max(Widest, View.fontMetrics().horizontalAdvance(Text));
    }
    const int Margin = View.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &View) + 1;
    return Widest + 2 * Margin + 2;
}

} // namespace

void TMainForm::BindSearchHandlers() {
    // The column widths suit the classic 8-point face; with a wider face, dates would be cut.
    const int DateColumn = 2;
    ListView2->header()->resizeSection(
        DateColumn,
        std::max(ListView2->header()->sectionSize(DateColumn), DateColumnWidth(*ListView2)));
    ActionList1->SetHandler(DoSearch, [this] { DoSearchExecute(); });
    ActionList1->SetHandler(DeleteSearchResults, [this] { DeleteSearchResultsExecute(); });
    connect(SpeedButton3, &QToolButton::clicked, this,
            [this] { RunCommand(this, [this] { SpeedButton3Click(); }); });
    const auto Open = [this] { RunCommand(this, [this] { ListView2DblClick(); }); };
    connect(ListView2, &QTreeView::doubleClicked, this, Open);
    OpenWithEnter(*ListView2, Open);
    ListView2->setItemDelegate(new TWholeTextHints(ListView2));
    connect(this, &TMainForm::DocumentChanged, this, &TMainForm::UpdateResultTexts);
}

void TMainForm::UpdateResultTexts() {
    // Rows being made or used up are replaced or cleared when that ends; a bulk edit's walk
    // leaves them in place.
    if (!DoSearch->isEnabled())
        return;
    SearchResults->UpdateTexts([this](int Position, TSearchResultsModel::TRow& Row) {
        if (Position < 1 || Position > Propdump.Count())
            return false;
        Row = ResultRow(Position - 1, Propdump.Item(Position - 1));
        return true;
    });
}

bool TMainForm::SearchBusy() const {
    return LongLoopRunning() || !DoSearch->isEnabled();
}

void TMainForm::SpeedButton3Click() {
    if (SearchBusy())
        return;
    TFrmSearch Dialog(this);
    Dialog.Criteria = SearchCriteria;
    if (Platform().RunModal(Dialog) != QDialog::Accepted)
        return;
    SearchCriteria = Dialog.Criteria;
    // Criteria of their own: the search from the map, or the results from elsewhere, are over.
    SearchArea.reset();
    ResultsOrigin.clear();
    ShowSearchCriteria();
}

void TMainForm::ShowSearchCriteria() {
    ListBox2->setUpdatesEnabled(false);
    ListBox2->clear();
    ListBox2->addItems(ResultsOrigin.isEmpty() ? SearchSummary(SearchCriteria, SearchArea)
                                               : QStringList(ResultsOrigin));
    ListBox2->setUpdatesEnabled(true);
}

void TMainForm::DropSearchArea() {
    if (!SearchArea)
        return;
    SearchArea.reset();
    ShowSearchCriteria();
}

QStringList SearchSummary(const TSearchCriteria& Criteria,
                          const std::optional<TAreaSearch>& Area) {
    if (!Area)
        return SearchCriteriaSummary(Criteria);
    // What Search runs: the criteria only when the area was searched with them.
    QStringList Lines;
    if (Area->WithCriteria)
        Lines = SearchCriteriaSummary(Criteria);
    Lines << QStringLiteral("In area: %1 to %2")
                 .arg(ToQString(Area->Area.NorthWestText()), ToQString(Area->Area.SouthEastText()));
    return Lines;
}

namespace {

const char* const NoCriteria = "No search criteria specified";

// Lists every object of the document that Finder finds. Without criteria the old results go and
// the refusal follows, as in a search.
void ListFoundObjects(TMainForm& Form, const TObjectFilter& Finder) {
    const int Count = Form.Propdump.Count();
    TSearchRun Run(Form);
    TLongLoop Loop(Form, Count);
    if (!Finder.HasCriteria())
        throw std::runtime_error(NoCriteria);
    // A slice at a time: asking the clock after every object would cost more than most tests.
    for (int First = 0; First < Count;) {
        const int Last = std::min(Count, First + TLongLoop::SliceSize());
        if (!Loop.Step(Last - First))
            return;
        for (int Index = First; Index < Last; ++Index) {
            const TPropObject& Object = Form.Propdump.Item(Index);
            if (Finder.Finds(Object))
                Run.Found.push_back(ResultRow(Index, Object));
        }
        First = Last;
    }
    Loop.Finish();
}

bool NoObjects(TMainForm& Form) {
    if (Form.Propdump.Count() > 0)
        return false;
    BeepMessageDlg(&Form, QStringLiteral("There are no objects in this propdump."),
                   TMsgDlgType::Error, QMessageBox::Ok);
    return true;
}

} // namespace

void TMainForm::ShowResultsOrigin(const QString& Line) {
    // The results are no longer what an area found: Search runs the criteria again.
    SearchArea.reset();
    ResultsOrigin = Line;
    ShowSearchCriteria();
}

void TMainForm::DropResultsOrigin() {
    if (ResultsOrigin.isEmpty())
        return;
    ResultsOrigin.clear();
    ShowSearchCriteria();
}

void TMainForm::ListObjectsAt(const std::vector<std::size_t>& Positions) {
    TSearchRun Run(*this);
    const int Count = static_cast<int>(Positions.size());
    TLongLoop Loop(*this, Count);
    Run.Found.reserve(Positions.size());
    for (int First = 0; First < Count;) {
        const int Last = std::min(Count, First + TLongLoop::SliceSize());
        if (!Loop.Step(Last - First))
            return;
        for (int Row = First; Row < Last; ++Row) {
            const int Index = static_cast<int>(Positions[static_cast<std::size_t>(Row)]);
            Run.Found.push_back(ResultRow(Index, Propdump.Item(Index)));
        }
        First = Last;
    }
    Loop.Finish();
}

std::vector<std::size_t> TMainForm::FoundPositions() const {
    std::vector<std::size_t> Positions;
    Positions.reserve(static_cast<std::size_t>(SearchResults->RowCount()));
    for (int Row = 0; Row < SearchResults->RowCount(); ++Row)
        Positions.push_back(static_cast<std::size_t>(SearchResults->Position(Row) - 1));
    return Positions;
}

void TMainForm::DoSearchExecute() {
    if (NoObjects(*this))
        return;
    DropResultsOrigin();
    if (SearchArea) {
        RunAreaSearch(*SearchArea);
        return;
    }
    const TObjectFilter Finder(SearchCriteria, std::nullopt);
    ListFoundObjects(*this, Finder);
}

void TMainForm::FindObjectsInArea(const TMapArea& Area, bool OnlyMatchingCriteria) {
    if (SearchBusy() || NoObjects(*this))
        return;
    // Asked to match criteria when there are none: refused before the results are touched.
    if (OnlyMatchingCriteria && !TObjectFilter(SearchCriteria, std::nullopt).HasCriteria())
        throw std::runtime_error(NoCriteria);
    ResultsOrigin.clear();
    PageControl1->setCurrentIndex(SearchTab);
    RunAreaSearch({Area, OnlyMatchingCriteria});
}

void TMainForm::RunAreaSearch(const TAreaSearch& Search) {
    SearchArea = Search;
    ShowSearchCriteria();
    const TObjectFilter Finder(Search.WithCriteria ? SearchCriteria : TSearchCriteria{},
                               Search.Area);
    ListFoundObjects(*this, Finder);
}

void TMainForm::DeleteSearchResultsExecute() {
    if (BeepMessageDlg(this,
                       QStringLiteral("All the objects you just found will now be deleted from the "
                                      "propdump.\r\rIs this what you wanted to do?"),
                       TMsgDlgType::Confirmation,
                       QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    TBusyCursor Cursor;
    std::exception_ptr Failure;
    {
        TSearchActionOff SearchOff(*DoSearch);
        TLongLoop Loop(*this, SearchResults->RowCount());
        try {
            TDeletion Deletion(Propdump);
            if (MarkFoundObjects(Deletion, *SearchResults, Loop)) {
                switch (AskRecording(DeletionStepBytes(Deletion))) {
                case TRecording::Keep: {
                    // Made first: should there be no memory for it, nothing is deleted.
                    std::unique_ptr<TUndoStep> Step = CommitDeletion(Deletion);
                    RecordChange([&Step] { return std::move(Step); });
                    break;
                }
                case TRecording::DoNotKeep:
                    Deletion.Commit();
                    RecordUnkeptChange();
                    break;
                case TRecording::Cancel:
                    // The marks come off with the deletion; the results stay as they were.
                    return;
                }
            }
        } catch (...) {
            Failure = std::current_exception();
        }
        // Still inside the walk: while the refresh lets the window paint, the rows name
        // positions that may no longer exist, so nothing may open or delete them.
        RefreshViews();
    }
    ActionList1->Execute(ClearSearchResults);
    DeleteSearchResults->setEnabled(false);
    if (Failure)
        std::rethrow_exception(Failure);
}

void TMainForm::ListView2DblClick() {
    if (SearchBusy())
        return;
    const QModelIndexList Selected = ListView2->selectionModel()->selectedRows();
    if (Selected.isEmpty())
        return;
    const int Position = SearchResults->Position(Selected.first().row());
    EditObject(Propdump.Item(Position - 1), true);
}
