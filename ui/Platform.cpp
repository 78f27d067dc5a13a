#include "ui/Platform.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QGuiApplication>

#include <canberra.h>

namespace {

// The one filter the file dialogs offer. It shows as "All Files (*.*)", as users know it from
// elsewhere, but on this platform the pattern "*.*" would hide every name without a dot, also
// when the user picks the entry again; the pattern in force is the last bracket, "*", and the
// dialog shows the text before it.
constexpr char AllFilesFilter[] = "All Files (*.*) (*)";

const char* EventIdOf(TSoundKind Kind) {
    switch (Kind) {
    case TSoundKind::Question:
        return "dialog-question";
    case TSoundKind::Exclamation:
        return "dialog-warning";
    case TSoundKind::Asterisk:
        break;
    }
    return "dialog-information";
}

QMessageBox::Icon IconOf(TMsgDlgType Type) {
    switch (Type) {
    case TMsgDlgType::Warning:
        return QMessageBox::Warning;
    case TMsgDlgType::Error:
        return QMessageBox::Critical;
    case TMsgDlgType::Information:
        return QMessageBox::Information;
    case TMsgDlgType::Confirmation:
        return QMessageBox::Question;
    case TMsgDlgType::Custom:
        break;
    }
    return QMessageBox::NoIcon;
}

// Event sounds are decoration: without a sound server or theme the editor stays silent rather
// than failing, and a context that could not be opened once is not tried again.
class TSoundPlayer {
public:
    ~TSoundPlayer() {
        if (Context)
            ca_context_destroy(Context);
    }

    void Play(TSoundKind Kind) {
        if (!Open())
            return;
        // Asynchronous: returns at once, the sound plays (or not) in the background.
        ca_context_play(Context, 0, CA_PROP_EVENT_ID, EventIdOf(Kind), nullptr);
    }

private:
    bool Open() {
        if (Context || Failed)
            return Context != nullptr;
        if (ca_context_create(&Context) != CA_SUCCESS) {
            Context = nullptr;
            Failed = true;
            return false;
        }
        ca_context_change_props(Context, CA_PROP_APPLICATION_NAME, ApplicationTitle, nullptr);
        if (ca_context_open(Context) != CA_SUCCESS) {
            ca_context_destroy(Context);
            Context = nullptr;
            Failed = true;
            return false;
        }
        return true;
    }

    ca_context* Context = nullptr;
    bool Failed = false;
};

QMessageBox::StandardButton RunMessageBox(QMessageBox& Box) {
    // Messages quote file names, typed values and file contents, never markup.
    Box.setTextFormat(Qt::PlainText);
    Box.exec();
    // Closing the box without a button (no escape button among them) answers NoButton.
    return Box.standardButton(Box.clickedButton());
}

QString RunFileDialog(QFileDialog& Dialog) {
    if (Dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList Files = Dialog.selectedFiles();
    return Files.isEmpty() ? QString() : Files.first();
}

class TQtPlatform final : public IPlatform {
public:
    void PlaySound(TSoundKind Kind) override { Sounds.Play(Kind); }

    QMessageBox::StandardButton ShowMessage(QWidget* Parent, const QString& Text, TMsgDlgType Type,
                                            QMessageBox::StandardButtons Buttons,
                                            QMessageBox::StandardButton Default) override {
        QMessageBox Box(IconOf(Type), QString::fromLatin1(ApplicationTitle), Text, Buttons, Parent);
        if (Default != QMessageBox::NoButton)
            Box.setDefaultButton(Default);
        return RunMessageBox(Box);
    }

    void ShowError(QWidget* Parent, const QString& Text) override {
        QMessageBox Box(QMessageBox::Critical, QString::fromLatin1(ApplicationTitle), Text,
                        QMessageBox::Ok, Parent);
        RunMessageBox(Box);
    }

    QString GetOpenFileName(QWidget* Parent, const QString& Folder) override {
        QFileDialog Dialog(Parent, QStringLiteral("Open"), Folder);
        Dialog.setAcceptMode(QFileDialog::AcceptOpen);
        Dialog.setFileMode(QFileDialog::ExistingFile);
        SetAllFilesFilter(Dialog);
        return RunFileDialog(Dialog);
    }

    QString GetSaveFileName(QWidget* Parent, const TSaveDialogKind& Kind,
                            const QString& Folder) override {
        QFileDialog Dialog(Parent, Kind.Title, Folder);
        Dialog.setAcceptMode(QFileDialog::AcceptSave);
        Dialog.setFileMode(QFileDialog::AnyFile);
        Dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        if (Kind.Filter.isEmpty()) {
            SetAllFilesFilter(Dialog);
        } else {
            Dialog.setOption(QFileDialog::DontUseNativeDialog);
            Dialog.setNameFilter(Kind.Filter);
        }
        // The dialog adds it before it asks about overwriting, so the question is about the
        // file that will be written.
        Dialog.setDefaultSuffix(Kind.DefaultSuffix);
        return RunFileDialog(Dialog);
    }

    int RunModal(QDialog& Dialog) override {
        const int Result = Dialog.exec();
        // A question box closed and its dialog closed right after it can leave the window
        // manager with no window active, and the keyboard then reaches nothing: the window the
        // dialog was opened from takes the focus back.
        if (QWidget* Owner = Dialog.parentWidget(); Owner && Owner->window()->isVisible())
            Owner->window()->activateWindow();
        return Result;
    }

    void PushBusyCursor() override { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    void PopBusyCursor() override { QGuiApplication::restoreOverrideCursor(); }
    void ProcessEvents() override { QCoreApplication::processEvents(); }
    bool IsShuttingDown() const override { return ShuttingDown; }
    void SetShuttingDown(bool Value) override { ShuttingDown = Value; }
    QDateTime CurrentDateTime() const override { return QDateTime::currentDateTime(); }

private:
    TSoundPlayer Sounds;
    bool ShuttingDown = false;
};

TQtPlatform& QtPlatform() {
    static TQtPlatform Instance;
    return Instance;
}

IPlatform* Current = nullptr;

} // namespace

TSaveDialogKind PropdumpSaveDialog() {
    return {QStringLiteral("Save As"), QString(), QString()};
}

void SetAllFilesFilter(QFileDialog& Dialog) {
    // Qt's own dialog, so that the filter works the same on every desktop.
    Dialog.setOption(QFileDialog::DontUseNativeDialog);
    Dialog.setOption(QFileDialog::HideNameFilterDetails);
    Dialog.setNameFilter(QString::fromLatin1(AllFilesFilter));
}

IPlatform& Platform() {
    return Current ? *Current : QtPlatform();
}

IPlatform* SetPlatform(IPlatform* P) {
    IPlatform* Previous = Current;
    Current = P;
    return Previous;
}
