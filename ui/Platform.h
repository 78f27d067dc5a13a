#pragma once

// What the user interface needs from the desktop, behind one small interface so that headless
// tests can script every answer and record every sound and message.

#include <QDateTime>
#include <QMessageBox>
#include <QString>

class QDialog;
class QFileDialog;
class QWidget;

// The application's title: the main window's caption and the caption of the error display.
inline constexpr char ApplicationTitle[] = "propdump editor";

enum class TSoundKind { Asterisk, Question, Exclamation };

enum class TMsgDlgType { Warning, Error, Information, Confirmation, Custom };

// What a save dialog is for: its caption, its one "Files of type" entry (empty: every file, as
// SetAllFilesFilter shows it) and the extension given to a name typed without one (empty: none).
struct TSaveDialogKind {
    QString Title;
    QString Filter;
    QString DefaultSuffix;
};
// The document's: "Save As", every file, the name kept as typed.
TSaveDialogKind PropdumpSaveDialog();

class IPlatform {
public:
    virtual ~IPlatform() = default;

    virtual void PlaySound(TSoundKind Kind) = 0;
    // A standard modal message box; returns the button pressed (NoButton when it was closed).
    // Default is the button Enter presses; NoButton leaves the choice to the toolkit.
    virtual QMessageBox::StandardButton ShowMessage(QWidget* Parent, const QString& Text,
                                                    TMsgDlgType Type,
                                                    QMessageBox::StandardButtons Buttons,
                                                    QMessageBox::StandardButton Default) = 0;
    // The application's error display: caption "propdump editor", error icon, OK.
    virtual void ShowError(QWidget* Parent, const QString& Text) = 0;
    // Empty when the user cancels. The dialogs start in Folder (empty: where the toolkit likes).
    virtual QString GetOpenFileName(QWidget* Parent, const QString& Folder) = 0;
    // Asks before overwriting; the name returned carries the default suffix when one was added.
    virtual QString GetSaveFileName(QWidget* Parent, const TSaveDialogKind& Kind,
                                    const QString& Folder) = 0;
    // Shows Dialog modally; returns QDialog::Accepted or QDialog::Rejected.
    virtual int RunModal(QDialog& Dialog) = 0;
    virtual void PushBusyCursor() = 0;
    virtual void PopBusyCursor() = 0;
    virtual void ProcessEvents() = 0;
    // True once the main window has been asked to close while a command runs.
    virtual bool IsShuttingDown() const = 0;
    virtual void SetShuttingDown(bool Value) = 0;
    virtual QDateTime CurrentDateTime() const = 0;
};

// The open and save dialogs' one "Files of type" entry, "All Files (*.*)", which lists every file.
void SetAllFilesFilter(QFileDialog& Dialog);

// The platform in force; the Qt implementation unless a test installed another.
IPlatform& Platform();
// Installs P (not owned) and returns the previous one; nullptr restores the Qt implementation.
IPlatform* SetPlatform(IPlatform* P);
