// The bulk edits of the "CitNums" and "Models" tabs: one walk over all objects that changes
// owners or model names in place, reports how many objects it changed and refreshes the views.

#include "ui/uMainForm.h"

#include "model/Convert.h"
#include "ops/BulkEdit.h"
#include "ops/UndoRecord.h"
#include "ui/BeepMessageDlg.h"
#include "ui/Command.h"
#include "ui/CountText.h"
#include "ui/LongLoop.h"
#include "ui/Platform.h"
#include "ui/TextCodec.h"

#include <QAction>
#include <QLineEdit>

#include <algorithm>
#include <exception>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

int32_t CitNumOf(const QLineEdit& Edit) {
    // UTF-8, so that the conversion error quotes the text as the user typed it.
    const QByteArray Text = Edit.text().toUtf8();
    return StrToInt(std::string_view(Text.constData(), static_cast<std::size_t>(Text.size())));
}

std::string ModelNameToFind(const QString& Text) {
    std::optional<std::string> Bytes = ToBytes(Text);
    if (!Bytes || Text.contains(QChar(0)))
        throw EConvertError("The model name to find contains characters that no propdump file "
                            "can hold, so no object can have it.");
    return std::move(*Bytes);
}

std::string ReplacementModelName(const QString& Text) {
    // A line break would split the object's line, and the file could not be saved.
    if (Text.contains(u'\r') || Text.contains(u'\n'))
        throw EConvertError("The replacement model name cannot contain line breaks.");
    // Nor a NUL, which the file's reader takes for the end of the file.
    if (Text.contains(QChar(0)))
        throw EConvertError("The replacement model name cannot contain a NUL character.");
    std::optional<std::string> Bytes = ToBytes(Text);
    if (!Bytes)
        throw EConvertError("The replacement model name contains characters that cannot be "
                            "saved in a propdump file.");
    return std::move(*Bytes);
}

bool Confirmed(QWidget* Parent, const char* Action) {
    const QString Text =
        QString::fromLatin1(Action) + QStringLiteral("\r\rIs this what you wanted to do?");
    return BeepMessageDlg(Parent, Text, TMsgDlgType::Confirmation,
                          QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

// What the window does around the walk of an edit.
struct TBulkEditSteps {
    // Model replacement refreshes even when it changed nothing, and is silent when the window
    // closes under it; the others refresh only after a change and always report.
    bool AlwaysRefresh;
    bool ReportWhenStopped;
    // Runs before the refresh at the end, on every path.
    std::function<void()> BeforeRefresh;
};

// The end of a bulk edit, run on every path while the actions are still suspended and the
// hourglass still shows: whatever the walk changed goes into the undo history, and the views
// are refreshed. When the walk has failed, that error is the one the user sees; an error of the
// end itself is shown otherwise.
class TFinalRefresh {
public:
    TFinalRefresh(TMainForm& Form, const TBulkEditSteps& Edit, TBulkEditRecorder& Recorder)
        : Form(Form), Edit(Edit), Recorder(Recorder), UncaughtAtStart(std::uncaught_exceptions()) {}
    TFinalRefresh(const TFinalRefresh&) = delete;
    TFinalRefresh& operator=(const TFinalRefresh&) = delete;

    ~TFinalRefresh() noexcept(false) {
        const bool Unwinding = std::uncaught_exceptions() > UncaughtAtStart;
        std::size_t Changed = Recorder.Changed();
        std::exception_ptr Failure;
        try {
            if (Unwinding && TakeBackChanges && Recorder.Keeps())
                Changed = TakeBack();
            else if (Recorder.Keeps())
                Form.RecordChange([this] { return Recorder.Finish(); });
            else if (Changed != 0)
                Form.RecordUnkeptChange();
        } catch (...) {
            Failure = std::current_exception();
        }
        try {
            if (Edit.BeforeRefresh)
                Edit.BeforeRefresh();
            if (Edit.AlwaysRefresh || Changed != 0)
                Form.RefreshViews();
        } catch (...) {
            if (!Failure)
                Failure = std::current_exception();
        }
        if (Failure && !Unwinding)
            std::rethrow_exception(Failure);
    }

    // Memory ran out part-way through the walk: what it had changed is taken back, so that the
    // document is as before the edit. Other errors (and the window closing) keep what was
    // changed, recorded for undo.
    bool TakeBackChanges = false;

private:
    // Should taking back fail too, what was changed is kept and recorded. Returns how many
    // objects stay changed.
    std::size_t TakeBack() {
        std::unique_ptr<TUndoStep> Step = Recorder.Finish();
        if (!Step)
            return 0;
        try {
            Step->Undo(Form.Propdump);
            return 0;
        } catch (...) {
            Form.RecordChange([&Step] { return std::move(Step); });
            return Recorder.Changed();
        }
    }

    TMainForm& Form;
    const TBulkEditSteps& Edit;
    TBulkEditRecorder& Recorder;
    const int UncaughtAtStart;
};

// Walks all objects in document order, a slice at a time.
void RunBulkEdit(TMainForm& Form, const TBulkEditSteps& Steps, const TBulkEdit& Edit) {
    std::vector<TPropObject>& Objects = Form.Propdump.Objects;
    const TMainForm::TRecording Recording = Form.AskRecording(BulkEditStepBytes(Edit, Objects));
    if (Recording == TMainForm::TRecording::Cancel)
        return;
    TBusyBracket Busy;
    TBulkEditRecorder Recorder(Edit, Recording == TMainForm::TRecording::Keep);
    TLongLoop Loop(Form, Form.Propdump.Count());
    TFinalRefresh Refresh(Form, Steps, Recorder);
    bool Stopped = false;
    for (std::size_t Index = 0; Index < Objects.size();) {
        const std::size_t Slice =
            std::min(Objects.size() - Index, static_cast<std::size_t>(TLongLoop::SliceSize()));
        if (!Loop.Step(static_cast<int>(Slice))) {
            Stopped = true;
            break;
        }
        try {
            Recorder.ApplyRange(Objects, Index, Index + Slice);
        } catch (const std::bad_alloc&) {
            Refresh.TakeBackChanges = true;
            throw;
        }
        Index += Slice;
    }
    if (!Stopped)
        Loop.Finish();
    if (!Stopped || Steps.ReportWhenStopped)
        BeepMessageDlg(&Form,
                       ToQString(Edit.ReportLabel()) +
                           FormatCount(static_cast<long long>(Recorder.Changed())),
                       TMsgDlgType::Information, QMessageBox::Ok);
}

} // namespace

void TMainForm::BindBulkHandlers() {
    ActionList1->SetHandler(DoCitNumReplace, [this] { DoCitNumReplaceExecute(); });
    ActionList1->SetHandler(ReplaceModels, [this] { ReplaceModelsExecute(); });
    ActionList1->SetHandler(NormalizeModels, [this] { NormalizeModelsExecute(); });
    ActionList1->SetHandler(DenormalizeModels, [this] { DenormalizeModelsExecute(); });
    // Enter in a find or replacement box is a click on its tab's "Apply".
    for (QLineEdit* Box : {FindCitNum, ReplaceCitNum})
        connect(Box, &QLineEdit::returnPressed, DoCitNumReplace, &QAction::trigger);
    for (QLineEdit* Box : {FindModelName, ReplaceModelName})
        connect(Box, &QLineEdit::returnPressed, ReplaceModels, &QAction::trigger);
}

void TMainForm::DoCitNumReplaceExecute() {
    const int32_t Find = CitNumOf(*FindCitNum);
    const int32_t Replacement = CitNumOf(*ReplaceCitNum);
    RunBulkEdit(*this, {false, true, {}}, TBulkEdit::ReplaceOwner(Find, Replacement));
}

void TMainForm::ReplaceModelsExecute() {
    const QString FindText = FindModelName->text();
    const QString ReplacementText = ReplaceModelName->text();
    // Both empty, or a replacement that would change nothing: there is nothing to do. The code
    // page maps characters one to one, so equal texts are equal bytes.
    if (FindText == ReplacementText) {
        Platform().PlaySound(TSoundKind::Asterisk);
        return;
    }
    const std::string Find = ModelNameToFind(FindText);
    const std::string Replacement = ReplacementModelName(ReplacementText);
    RunBulkEdit(*this, {true, false, [this] { FindModelName->selectAll(); }},
                TBulkEdit::ReplaceModel(Find, Replacement));
}

void TMainForm::NormalizeModelsExecute() {
    if (!Confirmed(this, "This will ADD \".rwx\" to all models which do not already end in "
                         "\".rwx\"."))
        return;
    RunBulkEdit(*this, {false, true, {}}, TBulkEdit::Normalize());
}

void TMainForm::DenormalizeModelsExecute() {
    if (!Confirmed(this, "This will REMOVE \".rwx\" from all models which end in \".rwx\"."))
        return;
    RunBulkEdit(*this, {false, true, {}}, TBulkEdit::Denormalize());
}
