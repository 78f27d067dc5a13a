#include "FakePlatform.h"

#include <QCoreApplication>
#include <QDialog>

FakePlatform::FakePlatform() : Previous(SetPlatform(this)) {}

FakePlatform::~FakePlatform() { SetPlatform(Previous); }

void FakePlatform::Reset() {
    Sounds.clear();
    Messages.clear();
    Errors.clear();
    OpenFolders.clear();
    SaveFolders.clear();
    Log.clear();
    MessageAnswers.clear();
    OpenFileAnswers.clear();
    SaveFileAnswers.clear();
    ModalHandlers.clear();
    OnProcessEvents = nullptr;
    ProcessEventsCalls = 0;
    MaxCursorDepth = CursorDepth;
    ShuttingDown = false;
}

void FakePlatform::PlaySound(TSoundKind Kind) {
    Sounds.append(Kind);
    static const char* const Names[] = {"Asterisk", "Question", "Exclamation"};
    Log.append(QStringLiteral("sound ") + QLatin1String(Names[static_cast<int>(Kind)]));
}

QMessageBox::StandardButton FakePlatform::ShowMessage(QWidget*, const QString& Text, TMsgDlgType Type,
                                                      QMessageBox::StandardButtons Buttons,
                                                      QMessageBox::StandardButton Default) {
    Messages.append({Text, Type, Buttons, Default});
    Log.append(QStringLiteral("message ") + Text);
    return MessageAnswers.isEmpty() ? QMessageBox::NoButton : MessageAnswers.dequeue();
}

void FakePlatform::ShowError(QWidget*, const QString& Text) {
    Errors.append(Text);
    Log.append(QStringLiteral("error ") + Text);
}

QString FakePlatform::GetOpenFileName(QWidget*, const QString& Folder) {
    OpenFolders.append(Folder);
    return OpenFileAnswers.isEmpty() ? QString() : OpenFileAnswers.dequeue();
}

QString FakePlatform::GetSaveFileName(QWidget*, const TSaveDialogKind&, const QString& Folder) {
    SaveFolders.append(Folder);
    return SaveFileAnswers.isEmpty() ? QString() : SaveFileAnswers.dequeue();
}

int FakePlatform::RunModal(QDialog& Dialog) {
    if (ModalHandlers.isEmpty())
        return QDialog::Rejected;
    // Dialogs do their set-up when shown; show without a modal loop so the handler sees that state.
    Dialog.show();
    QCoreApplication::processEvents();
    const int result = ModalHandlers.dequeue()(Dialog);
    Dialog.hide();
    return result;
}

void FakePlatform::PushBusyCursor() {
    ++CursorDepth;
    Log.append(QStringLiteral("cursor push"));
    if (CursorDepth > MaxCursorDepth)
        MaxCursorDepth = CursorDepth;
}

void FakePlatform::PopBusyCursor() {
    --CursorDepth;
    Log.append(QStringLiteral("cursor pop"));
}

void FakePlatform::ProcessEvents() {
    ++ProcessEventsCalls;
    if (OnProcessEvents)
        OnProcessEvents();
}
