// Work on the world as a space: moving or copying the found objects ("Move..." on "Search", and
// Ctrl+drag on the world map), bringing objects in from another dump (File > "Import
// objects...") and listing what differs from another dump (File > "Compare with..."). The rules
// are those of ops/ that propdump's move, merge and diff follow, so both give the same objects.

#include "ui/uMainForm.h"

#include "ops/Comparison.h"
#include "ops/Import.h"
#include "ops/WorldEdit.h"
#include "ui/BeepMessageDlg.h"
#include "ui/Command.h"
#include "ui/CountText.h"
#include "ui/Platform.h"
#include "ui/SearchResultsModel.h"
#include "ui/uFrmImport.h"
#include "ui/uFrmMove.h"
#include "ui/uFrmWorldMap.h"

#include <QAction>
#include <QFileInfo>
#include <QTabWidget>

#include <algorithm>
#include <exception>
#include <iterator>
#include <numeric>
#include <stdexcept>
#include <utility>

namespace {

QString Counted(std::size_t Count) {
    return FormatCount(static_cast<long long>(Count));
}

// The end of a change that moved or added objects, on every path: its step into the history,
// the views refreshed and Listed shown as the results, also when the history could not keep the
// step (that error is shown afterwards).
void RecordAndList(TMainForm& Form, std::unique_ptr<TUndoStep> Step,
                   TMainForm::TRecording Recording, const std::vector<std::size_t>& Listed,
                   const QString& Origin) {
    std::exception_ptr Failure;
    try {
        if (Recording == TMainForm::TRecording::Keep)
            Form.RecordChange([&Step] { return std::move(Step); });
        else
            Form.RecordUnkeptChange();
    } catch (...) {
        Failure = std::current_exception();
    }
    Form.RefreshViews();
    Form.ListObjectsAt(Listed);
    if (!Origin.isEmpty())
        Form.ShowResultsOrigin(Origin);
    Form.PageControl1->setCurrentIndex(TMainForm::SearchTab);
    if (Failure)
        std::rethrow_exception(Failure);
}

std::vector<std::size_t> Tail(std::size_t From, std::size_t Count) {
    std::vector<std::size_t> Positions(Count);
    std::iota(Positions.begin(), Positions.end(), From);
    return Positions;
}

QString ImportLossQuestion(const TVersionLoss& Loss, int Version) {
    QString Text = QString::fromStdString(LossText(Loss, Version));
    Text[0] = Text[0].toUpper();
    return QStringLiteral("This document is of version %1. %2: the import leaves it out.\r\r"
                          "Import anyway?")
        .arg(QString::number(Version), Text);
}

} // namespace

void TMainForm::BindWorldHandlers() {
    ActionList1->SetHandler(MoveSearchResults, [this] { MoveSearchResultsExecute(); });
    ActionList1->SetHandler(ImportObjects, [this] { ImportObjectsExecute(); });
    ActionList1->SetHandler(CompareWith, [this] { CompareWithExecute(); });
    // There is something to move exactly when there are results.
    const auto FollowRows = [this] {
        MoveSearchResults->setEnabled(SearchResults->RowCount() > 0);
    };
    connect(SearchResults, &QAbstractItemModel::modelReset, this, FollowRows);
    connect(SearchResults, &QAbstractItemModel::rowsInserted, this, FollowRows);
    connect(SearchResults, &QAbstractItemModel::rowsRemoved, this, FollowRows);
}

bool TMainForm::ReadOtherDump(TPropdumpFile& Other, QString& Name) {
    const QString Path = Platform().GetOpenFileName(this, FileDialogFolder());
    if (Path.isEmpty())
        return false;
    Name = QFileInfo(Path).fileName();
    TBusyCursor Cursor;
    return LoadAskingVersion(Path, [&Other](const std::string& File, int Version) {
        Other.LoadFromFile(File, Version);
    });
}

void TMainForm::MoveSearchResultsExecute() {
    if (SearchBusy() || SearchResults->RowCount() == 0)
        return;
    TFrmMove Dialog(Propdump, FoundPositions(), this);
    if (Platform().RunModal(Dialog) != QDialog::Accepted)
        return;
    MoveFoundObjects(Dialog.Choice());
}

void TMainForm::MoveFoundObjects(const TMoveChoice& Choice, QWidget* Asker) {
    if (SearchBusy())
        return;
    const std::vector<std::size_t> Positions = FoundPositions();
    if (Positions.empty())
        return;
    if (BeepMessageDlg(Asker ? Asker : this, MoveQuestion(Choice, Positions.size()),
                       TMsgDlgType::Confirmation,
                       QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    const TRecording Recording =
        AskRecording(Choice.Copy ? AppendStepBytes() : MoveStepBytes(Positions.size()));
    if (Recording == TRecording::Cancel)
        return;
    const std::size_t Before = Propdump.Objects.size();
    std::unique_ptr<TUndoStep> Step;
    {
        TBusyCursor Cursor;
        // An object that would leave the world's range refuses the whole move before any change.
        const TRelocation Move = Choice.Relocation();
        Step = Choice.Copy ? CopyObjects(Propdump, Positions, Move)
                           : MoveObjects(Propdump, Positions, Move);
    }
    RecordAndList(
        *this, std::move(Step), Recording, Choice.Copy ? Tail(Before, Positions.size()) : Positions,
        Choice.Copy ? QStringLiteral("Copies of %1 found objects").arg(Counted(Positions.size()))
                    : QString());
}

void TMainForm::ImportObjectsExecute() {
    if (Propdump.FileName.empty() || SearchBusy())
        return;
    QString Name;
    TImportPlan Plan;
    {
        TPropdumpFile Other;
        if (!ReadOtherDump(Other, Name))
            return;
        TFrmImport Dialog(this);
        Dialog.SetSource(Name, Other.Count(), Other.Version);
        Dialog.SetCriteria(SearchCriteria);
        if (const TFrmWorldMap* Map = WorldMapWindow())
            Dialog.SetArea(Map->MapView->Area());
        if (Platform().RunModal(Dialog) != QDialog::Accepted)
            return;
        TBusyCursor Cursor;
        try {
            Plan = PlanImport(Propdump, Other, Dialog.Choice());
        } catch (const ERelocationRange& Error) {
            throw std::runtime_error(QStringLiteral("Cannot import from \"%1\": %2")
                                         .arg(Name, QString::fromUtf8(Error.what()))
                                         .toStdString());
        }
    }
    if (Plan.Objects.empty()) {
        BeepMessageDlg(
            this,
            QStringLiteral("No object of \"%1\" is to be imported; nothing was changed.").arg(Name),
            TMsgDlgType::Information, QMessageBox::Ok);
        return;
    }
    if (Plan.Loss.Any() &&
        BeepMessageDlg(this, ImportLossQuestion(Plan.Loss, Propdump.Version), TMsgDlgType::Warning,
                       QMessageBox::Yes | QMessageBox::No, 0, QMessageBox::No) != QMessageBox::Yes)
        return;
    const TRecording Recording = AskRecording(AppendStepBytes());
    if (Recording == TRecording::Cancel)
        return;
    const std::size_t Before = Propdump.Objects.size();
    const std::size_t Count = Plan.Objects.size();
    std::unique_ptr<TUndoStep> Step;
    {
        TBusyCursor Cursor;
        Step = AppendObjects(Propdump, std::move(Plan.Objects));
    }
    RecordAndList(*this, std::move(Step), Recording, Tail(Before, Count),
                  QStringLiteral("Imported from %1: %2 objects").arg(Name, Counted(Count)));
}

void TMainForm::CompareWithExecute() {
    if (Propdump.FileName.empty() || SearchBusy())
        return;
    std::vector<std::size_t> Listed;
    QString Origin;
    {
        TPropdumpFile Other;
        QString Name;
        if (!ReadOtherDump(Other, Name))
            return;
        TBusyCursor Cursor;
        // The open document is the new side: what it added or changed since the other dump.
        const TComparison Comparison = CompareDocuments(Other, Propdump);
        const std::vector<uint64_t>& Added = Comparison.AddedPositions();
        std::vector<uint64_t> Changed;
        Changed.reserve(Comparison.ChangedPairs().size());
        for (const auto& Pair : Comparison.ChangedPairs())
            Changed.push_back(Pair.second);
        Listed.reserve(Added.size() + Changed.size());
        std::merge(Added.begin(), Added.end(), Changed.begin(), Changed.end(),
                   std::back_inserter(Listed));
        Origin = QStringLiteral("Compared with %1: %2 added, %3 changed, %4 removed")
                     .arg(Name, Counted(Comparison.Added()), Counted(Comparison.Changed()),
                          Counted(Comparison.Removed()));
    }
    ListObjectsAt(Listed);
    ShowResultsOrigin(Origin);
    PageControl1->setCurrentIndex(SearchTab);
}
