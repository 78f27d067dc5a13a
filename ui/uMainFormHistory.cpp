// Undo and redo of the changes to the document: the two commands of the "Edit" menu, the names
// they show, and the refresh after a step, which leaves the window as the change itself did.
// The history also tells whether the document has unsaved changes: the title shows it, and the
// window asks before they would be lost.

#include "ui/uMainForm.h"

#include "model/FileSystem.h"
#include "model/HeapBytes.h"
#include "ui/BeepMessageDlg.h"
#include "ui/Command.h"
#include "ui/CountText.h"
#include "ui/DialogLook.h"
#include "ui/Platform.h"

#include <QAction>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#ifndef QT_NO_SESSIONMANAGER
#include <QSessionManager>
#endif

#include <exception>
#include <new>
#include <stdexcept>

namespace {

QString ObjectCount(std::size_t Count, const char* Noun) {
    return FormatCount(static_cast<long long>(Count)) + QLatin1Char(' ') +
           QString::fromLatin1(Noun) + (Count == 1 ? QString() : QStringLiteral("s"));
}

// What the menu calls a change after "Undo " and "Redo ".
QString ChangeName(const TUndoStep& Step) {
    switch (Step.Kind()) {
    case TChangeKind::ObjectEdit:
        return QStringLiteral("Edit of object ") + QString::number(Step.Position() + 1);
    case TChangeKind::Deletion:
        return QStringLiteral("Delete of ") + ObjectCount(Step.Count(), "found object");
    case TChangeKind::OwnerReplacement:
        return QStringLiteral("Citizen number replacement (") +
               ObjectCount(Step.Count(), "object") + QLatin1Char(')');
    case TChangeKind::ModelReplacement:
        return QStringLiteral("Model replacement (") + ObjectCount(Step.Count(), "object") +
               QLatin1Char(')');
    case TChangeKind::Normalize:
        return QStringLiteral("Normalize");
    case TChangeKind::Denormalize:
        return QStringLiteral("Denormalize");
    case TChangeKind::Move:
        return QStringLiteral("Move of ") + ObjectCount(Step.Count(), "object");
    case TChangeKind::Copy:
        return QStringLiteral("Copy of ") + ObjectCount(Step.Count(), "object");
    case TChangeKind::Import:
        break;
    }
    return QStringLiteral("Import of ") + ObjectCount(Step.Count(), "object");
}

void ShowStep(QAction& Action, const QString& Verb, const TUndoStep* Step) {
    Action.setText(Step ? Verb + QLatin1Char(' ') + ChangeName(*Step) : Verb);
    Action.setEnabled(Step != nullptr);
}

// How far back undo goes, once it no longer goes back to the opened file.
QString UndoReach(std::size_t Steps) {
    if (Steps == 0)
        return QStringLiteral("Earlier changes cannot be undone");
    if (Steps == 1)
        return QStringLiteral("Only the last change can be undone");
    return QStringLiteral("Only the last %1 changes can be undone")
        .arg(FormatCount(static_cast<long long>(Steps)));
}

const char* const CannotKeep = "This change cannot be undone. Continue?";

// The window's undo keys belong to a text box while it has the focus, for the typing in it. The
// box asks for Ctrl+Z and Ctrl+Shift+Z itself, but not for Ctrl+Y on every desktop, so the keys
// are claimed and carried out here.
class TTextBoxUndoKeys : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* Watched, QEvent* Event) override {
        auto* Box = qobject_cast<QLineEdit*>(Watched);
        const bool KeyEvent =
            Event->type() == QEvent::ShortcutOverride || Event->type() == QEvent::KeyPress;
        if (!Box || Box->isReadOnly() || !KeyEvent)
            return QObject::eventFilter(Watched, Event);
        const QKeySequence Pressed(static_cast<QKeyEvent*>(Event)->keyCombination());
        const bool Undo = Pressed == QKeySequence(Qt::CTRL | Qt::Key_Z);
        const bool Redo = Pressed == QKeySequence(Qt::CTRL | Qt::Key_Y) ||
                          Pressed == QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z);
        if (!Undo && !Redo)
            return false;
        Event->accept();
        if (Event->type() == QEvent::KeyPress) {
            if (Undo)
                Box->undo();
            else
                Box->redo();
        }
        return true;
    }
};

} // namespace

void TMainForm::BindHistoryHandlers() {
    EditRedo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    EditUndo->setIcon(QIcon(ThemePixmap(QStringLiteral("edit-undo"), QStyle::SP_ArrowBack, 16)));
    EditRedo->setIcon(QIcon(ThemePixmap(QStringLiteral("edit-redo"), QStyle::SP_ArrowForward, 16)));
    ActionList1->SetHandler(EditUndo, [this] { EditUndoExecute(); });
    ActionList1->SetHandler(EditRedo, [this] { EditRedoExecute(); });
    EditUndoLimit = new QAction(Edit1);
    EditUndoLimit->setObjectName(QStringLiteral("EditUndoLimit"));
    EditUndoLimit->setEnabled(false);
    Edit1->addAction(EditUndoLimit);
#ifndef QT_NO_SESSIONMANAGER
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& Manager) {
        if (!SessionEndQuery(Manager.allowsInteraction()))
            Manager.cancel();
        Manager.release();
    });
#endif
    auto* BoxKeys = new TTextBoxUndoKeys(this);
    for (QLineEdit* Box : findChildren<QLineEdit*>())
        Box->installEventFilter(BoxKeys);
    ShowHistory();
}

void TMainForm::RecordChange(const std::function<std::unique_ptr<TUndoStep>()>& MakeStep) {
    bool Kept = true;
    try {
        Kept = UndoHistory.Add(MakeStep());
    } catch (const std::bad_alloc&) {
        RecordUnkeptChange();
        throw std::runtime_error("There was not enough memory to keep this change for undo: it "
                                 "cannot be undone");
    } catch (...) {
        RecordUnkeptChange();
        throw;
    }
    ShowHistory();
    if (!Kept)
        throw std::runtime_error("This change was too large to keep for undo: it cannot be undone");
}

void TMainForm::RecordUnkeptChange() {
    UndoHistory.ChangeNotKept();
    ShowHistory();
}

TMainForm::TRecording TMainForm::AskRecording(std::size_t StepBytes) {
    if (UndoHistory.CanKeep(StepBytes))
        return TRecording::Keep;
    const QMessageBox::StandardButton Answer =
        BeepMessageDlg(this, QString::fromLatin1(CannotKeep), TMsgDlgType::Warning,
                       QMessageBox::Yes | QMessageBox::No, 0, QMessageBox::No);
    return Answer == QMessageBox::Yes ? TRecording::DoNotKeep : TRecording::Cancel;
}

void TMainForm::ClearHistory() {
    ClearHistory(HeapBytesOf(Propdump));
}

void TMainForm::ClearHistory(std::size_t DocumentBytes) {
    UndoHistory.Clear();
    UndoHistory.SetLimit(TUndoHistory::LimitFor(DocumentBytes, FileSystem::PhysicalMemoryBytes()));
    ShowHistory();
}

void TMainForm::ShowHistory() {
    ShowStep(*EditUndo, QStringLiteral("&Undo"), UndoHistory.NextUndo());
    ShowStep(*EditRedo, QStringLiteral("&Redo"), UndoHistory.NextRedo());
    EditUndoLimit->setText(UndoReach(UndoHistory.UndoCount()));
    EditUndoLimit->setVisible(UndoHistory.LostSteps());
    setWindowModified(HasUnsavedChanges());
    // Whatever the ending session was told to discard, the document has moved on since.
    SessionDiscarded = false;
}

bool TMainForm::HasUnsavedChanges() const {
    return !Propdump.FileName.empty() && UndoHistory.IsModified();
}

bool TMainForm::QuerySaveChanges() {
    if (!HasUnsavedChanges())
        return true;
    // A second request to close while the question is up waits for its answer.
    if (AskingToSave)
        return false;
    AskingToSave = true;
    const QString Name = QFileInfo(FullFileName).fileName();
    QMessageBox::StandardButton Answer = QMessageBox::Cancel;
    try {
        Answer = BeepMessageDlg(
            this, QStringLiteral("Save changes to \"%1\"?").arg(Name), TMsgDlgType::Confirmation,
            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, 0, QMessageBox::Cancel);
    } catch (...) {
        AskingToSave = false;
        throw;
    }
    AskingToSave = false;
    if (Answer == QMessageBox::Discard)
        return true;
    if (Answer != QMessageBox::Save)
        return false;
    // A save that did not run (a long command holds the actions) or failed keeps the document.
    ActionList1->Execute(SaveFile);
    return !HasUnsavedChanges();
}

bool TMainForm::MayClose() {
    if (SessionDiscarded)
        return true;
    bool May = false;
    RunCommand(this, [&] { May = QuerySaveChanges(); });
    return May;
}

bool TMainForm::SessionEndQuery(bool MayAsk) {
    // Without leave to ask there is nobody to answer: the changes are neither saved over the
    // file unasked nor thrown away here; the window's own close asks, if it comes.
    if (!MayAsk || !HasUnsavedChanges())
        return true;
    bool May = false;
    RunCommand(this, [&] { May = QuerySaveChanges(); });
    SessionDiscarded = May && HasUnsavedChanges();
    return May;
}

void TMainForm::EditUndoExecute() {
    StepHistory(true);
}

void TMainForm::EditRedoExecute() {
    StepHistory(false);
}

void TMainForm::StepHistory(bool Undoing) {
    const TUndoStep* Next = Undoing ? UndoHistory.NextUndo() : UndoHistory.NextRedo();
    if (!Next)
        return;
    const TChangeKind Kind = Next->Kind();
    TBusyCursor Cursor;
    // A step that fails half-way may have changed some objects: the views catch up in any case.
    std::exception_ptr Failure;
    try {
        if (Undoing)
            UndoHistory.Undo(Propdump);
        else
            UndoHistory.Redo(Propdump);
    } catch (...) {
        Failure = std::current_exception();
    }
    ShowHistory();
    if (Kind == TChangeKind::ObjectEdit) {
        ListBox1->viewport()->update();
        // RefreshViews tells the other views itself.
        emit DocumentChanged();
    } else {
        if (Kind == TChangeKind::Deletion || Kind == TChangeKind::Copy ||
            Kind == TChangeKind::Import) {
            // Objects came back or went away: the results' "#" positions no longer name them.
            ActionList1->Execute(ClearSearchResults);
            DeleteSearchResults->setEnabled(false);
        }
        RefreshViews();
    }
    if (Failure)
        std::rethrow_exception(Failure);
}
