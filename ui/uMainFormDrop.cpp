#include "ui/uMainForm.h"

#include "ui/BeepMessageDlg.h"
#include "ui/Command.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace {

// A drop names the file to open, or says why it opens nothing.
struct TDropRequest {
    QString Path;
    QString Refusal;
};

// Dragged text or pictures are not for this window; a drag that names files is.
bool NamesFiles(const QMimeData& Data) {
    return !Data.urls().isEmpty();
}

TDropRequest ReadDrop(const QMimeData& Data) {
    const QList<QUrl> Urls = Data.urls();
    if (Urls.size() != 1)
        return {{},
                QStringLiteral("%1 items were dropped. One propdump is open at a time: drop a "
                               "single file to open it.")
                    .arg(Urls.size())};
    const QUrl& Url = Urls.first();
    if (!Url.isLocalFile())
        return {{},
                QStringLiteral("\"%1\" is not a file on this computer. Only a local file can be "
                               "opened; save it to a folder first.")
                    .arg(Url.toDisplayString())};
    const QString Path = Url.toLocalFile();
    if (QFileInfo(Path).isDir())
        return {{},
                QStringLiteral("\"%1\" is a folder. Drop a propdump file to open it.")
                    .arg(QDir(Path).dirName())};
    return {Path, {}};
}

// Taken as a copy whatever the source proposes: a file manager told that a move succeeded
// would delete the user's file.
void AcceptAsCopy(QDropEvent& Event) {
    Event.setDropAction(Qt::CopyAction);
    Event.accept();
}

} // namespace

bool TFilesToWindow::eventFilter(QObject* Watched, QEvent* Event) {
    switch (Event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        if (NamesFiles(*static_cast<QDropEvent*>(Event)->mimeData())) {
            // Ignored and kept from the box: Qt offers the drag to the box's parents in turn.
            Event->ignore();
            return true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(Watched, Event);
}

bool TMainForm::TakesDrops() const {
    // A modal dialog of the window holds references into the document; a new one must not
    // arrive under it.
    return !ActionList1->IsSuspended() && !AskingToSave && OpenFile->isEnabled() &&
           !QApplication::activeModalWidget();
}

void TMainForm::dragEnterEvent(QDragEnterEvent* Event) {
    if (TakesDrops() && NamesFiles(*Event->mimeData()))
        AcceptAsCopy(*Event);
    else
        Event->ignore();
}

void TMainForm::dragMoveEvent(QDragMoveEvent* Event) {
    // A command may have started since the drag came in.
    if (TakesDrops() && NamesFiles(*Event->mimeData()))
        AcceptAsCopy(*Event);
    else
        Event->ignore();
}

void TMainForm::dropEvent(QDropEvent* Event) {
    if (!TakesDrops() || !NamesFiles(*Event->mimeData())) {
        Event->ignore();
        return;
    }
    const TDropRequest Request = ReadDrop(*Event->mimeData());
    // A refused drop tells the source that nothing was taken.
    if (Request.Refusal.isEmpty())
        AcceptAsCopy(*Event);
    else
        Event->ignore();
    // Queued: the source of the drag waits until the drop event returns, and the question about
    // unsaved changes or the version dialog must not keep it waiting.
    QMetaObject::invokeMethod(
        this,
        [this, Request] {
            RunCommand(this, [&] { DroppedExecute(Request.Path, Request.Refusal); });
        },
        Qt::QueuedConnection);
}

void TMainForm::DroppedExecute(const QString& Path, const QString& Refusal) {
    if (!TakesDrops())
        return;
    if (!Refusal.isEmpty()) {
        BeepMessageDlg(this, Refusal, TMsgDlgType::Error, QMessageBox::Ok);
        return;
    }
    if (!QuerySaveChanges())
        return;
    OpenFileNamed(Path);
}
