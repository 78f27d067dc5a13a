// Undo and redo of the changes to the document: the two commands of the "Edit" menu, the names
// they show, and the refresh after a step, which leaves the window as the change itself did.

#include "ui/uMainForm.h"

#include "ui/Command.h"
#include "ui/CountText.h"
#include "ui/DialogLook.h"

#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>

#include <exception>

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
    ActionList1->SetHandler(QStringLiteral("EditUndo"), [this] { EditUndoExecute(); });
    ActionList1->SetHandler(QStringLiteral("EditRedo"), [this] { EditRedoExecute(); });
    auto* BoxKeys = new TTextBoxUndoKeys(this);
    for (QLineEdit* Box : findChildren<QLineEdit*>())
        Box->installEventFilter(BoxKeys);
    ShowHistory();
}

void TMainForm::RecordChange(const std::function<std::unique_ptr<TUndoStep>()>& MakeStep) {
    try {
        UndoHistory.Add(MakeStep());
    } catch (...) {
        UndoHistory.Clear();
        ShowHistory();
        throw;
    }
    ShowHistory();
}

void TMainForm::ClearHistory() {
    UndoHistory.Clear();
    ShowHistory();
}

void TMainForm::ShowHistory() {
    ShowStep(*EditUndo, QStringLiteral("&Undo"), UndoHistory.NextUndo());
    ShowStep(*EditRedo, QStringLiteral("&Redo"), UndoHistory.NextRedo());
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
