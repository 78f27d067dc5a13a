#include "ui/Platform.h"

#include "ui/Sound.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QGuiApplication>

namespace {

// The one filter the file dialogs offer. It shows as "All Files (*.*)", as users know it from
// elsewhere, but on this platform the pattern "*.*" would hide every name without a dot, also
// when the user picks the entry again; the pattern in force is the last bracket, "*", and the
// dialog shows the text before it.
constexpr char AllFilesFilter[] = "All Files (*.*) (*)";

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

    QString GetOpenFileName(QWidget* Parent) override {
        QFileDialog Dialog(Parent, QStringLiteral("Open"));
        Dialog.setAcceptMode(QFileDialog::AcceptOpen);
        Dialog.setFileMode(QFileDialog::ExistingFile);
        SetAllFilesFilter(Dialog);
        return RunFileDialog(Dialog);
    }

    QString GetSaveFileName(QWidget* Parent, const TSaveDialogKind& Kind) override {
        QFileDialog Dialog(Parent, Kind.Title);
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
    TSoundPlayer Sounds{ApplicationTitle};
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
