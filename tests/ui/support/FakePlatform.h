#pragma once

// A scripted platform for headless tests: records every sound, message and error, answers
// message boxes, file dialogs and modal dialogs from queues, and never blocks.

#include "ui/Platform.h"

#include <QDateTime>
#include <QList>
#include <QQueue>
#include <QString>
#include <QStringList>

#include <functional>

class FakePlatform : public IPlatform {
public:
    struct Message {
        QString Text;
        TMsgDlgType Type;
        QMessageBox::StandardButtons Buttons;
        QMessageBox::StandardButton Default;
    };
    // Called with the dialog that would be shown modally; drive its widgets and return the
    // result (QDialog::Accepted or Rejected). Without a handler, RunModal returns Rejected.
    using ModalHandler = std::function<int(QDialog&)>;

    FakePlatform();
    ~FakePlatform() override;

    // Recorded, in order.
    QList<TSoundKind> Sounds;
    QList<Message> Messages;
    QStringList Errors;
    // The folder each open and each save dialog started in, in order.
    QStringList OpenFolders;
    QStringList SaveFolders;
    int CursorDepth = 0;
    int MaxCursorDepth = 0;
    // Everything above in the order it happened: "sound Asterisk", "message <text>",
    // "error <text>", "cursor push", "cursor pop".
    QStringList Log;

    // Answers, used once each in order. An empty queue answers NoButton / "" / Rejected.
    QQueue<QMessageBox::StandardButton> MessageAnswers;
    QQueue<QString> OpenFileAnswers;
    QQueue<QString> SaveFileAnswers;
    QQueue<ModalHandler> ModalHandlers;
    QDateTime Now = QDateTime(QDate(2024, 5, 17), QTime(13, 45, 30, 250));
    // Called from ProcessEvents (lets a test act in the middle of a long command).
    std::function<void()> OnProcessEvents;
    int ProcessEventsCalls = 0;

    void Reset();

    void PlaySound(TSoundKind Kind) override;
    QMessageBox::StandardButton ShowMessage(QWidget* Parent, const QString& Text, TMsgDlgType Type,
                                            QMessageBox::StandardButtons Buttons,
                                            QMessageBox::StandardButton Default) override;
    void ShowError(QWidget* Parent, const QString& Text) override;
    QString GetOpenFileName(QWidget* Parent, const QString& Folder) override;
    QString GetSaveFileName(QWidget* Parent, const TSaveDialogKind& Kind,
                            const QString& Folder) override;
    int RunModal(QDialog& Dialog) override;
    void PushBusyCursor() override;
    void PopBusyCursor() override;
    void ProcessEvents() override;
    bool IsShuttingDown() const override { return ShuttingDown; }
    void SetShuttingDown(bool Value) override { ShuttingDown = Value; }
    QDateTime CurrentDateTime() const override { return Now; }

private:
    IPlatform* Previous = nullptr;
    bool ShuttingDown = false;
};
