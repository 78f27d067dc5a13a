// Files reach the window as the user brings them: dropped from a file manager, or chosen in
// dialogs that start where the user's files are.

#include "support/FakePlatform.h"

#include "ui/LongLoop.h"
#include "ui/uMainForm.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

QByteArray ReadFile(const QString& Path) {
    QFile File(Path);
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

void WriteFile(const QString& Path, const QByteArray& Bytes) {
    QFile File(Path);
    QVERIFY(File.open(QIODevice::WriteOnly));
    File.write(Bytes);
}

const QByteArray OneObject = "propdump version 3\r\n5 1000000000 0 0 0 0 0 0 4 0 0 tree\r\n";

// What the window made of a drag that came in and was let go over Target, as a file manager's
// drag does it (Shift held: the source proposes to move the file).
struct TDropOutcome {
    bool EnterAccepted;
    bool DropAccepted;
    Qt::DropAction Action;
};

TDropOutcome Drop(QWidget* Target, const QList<QUrl>& Urls) {
    QMimeData Data;
    Data.setUrls(Urls);
    Data.setText(Urls.isEmpty() ? QString() : Urls.first().toString());
    const QPoint At = Target->rect().center();
    const Qt::DropActions Offered = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent Enter(At, Offered, &Data, Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(Target, &Enter);
    QDropEvent Dropped(At, Offered, &Data, Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(Target, &Dropped);
    // The window opens the file once the drag is over.
    QCoreApplication::processEvents();
    return {Enter.isAccepted(), Dropped.isAccepted(), Dropped.dropAction()};
}

} // namespace

class OpeningFilesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> Dir;
    std::unique_ptr<FakePlatform> Fake;
    std::unique_ptr<TMainForm> Form;

    QString PathOf(const QString& Name) const { return Dir->filePath(Name); }
    QUrl UrlOf(const QString& Name) const { return QUrl::fromLocalFile(PathOf(Name)); }

    // A fresh window with nothing open; in the folder: t.pd and other.pd (one object each),
    // bad.pd (unreadable on line 2), and the folders a/, b/ and c/ with a.pd, c.pd and another
    // bad.pd in them.
    void Start() {
        Form.reset();
        Fake.reset();
        Dir = std::make_unique<QTemporaryDir>();
        for (const char* Folder : {"a", "b", "c"})
            QVERIFY(QDir(Dir->path()).mkdir(QString::fromLatin1(Folder)));
        for (const char* Name : {"t.pd", "other.pd", "a/a.pd", "c/c.pd"})
            WriteFile(PathOf(QString::fromLatin1(Name)), OneObject);
        for (const char* Name : {"bad.pd", "c/bad.pd"})
            WriteFile(PathOf(QString::fromLatin1(Name)), "propdump version 3\r\nnot an object\r\n");
        Fake = std::make_unique<FakePlatform>();
        Form = std::make_unique<TMainForm>();
        Form->show();
    }

    void Open(const QString& Name) {
        Fake->OpenFileAnswers.enqueue(PathOf(Name));
        Form->OpenFile->trigger();
    }

    void MakeChange() {
        Form->FindCitNum->setText("-1");
        Form->ReplaceCitNum->setText("77");
        Form->DoCitNumReplace->trigger();
        QVERIFY(Form->HasUnsavedChanges());
    }

    // Where Open, Save as and Import would start now (a dialog not shown: "-").
    QString StartFolders() {
        auto Asked = [](QStringList& Folders, QAction* Action) {
            Folders.clear();
            Action->trigger();
            return Folders.isEmpty() ? QStringLiteral("-") : Folders.first();
        };
        const QString Root = Dir->path();
        QStringList Seen = {Asked(Fake->OpenFolders, Form->OpenFile),
                            Asked(Fake->SaveFolders, Form->SaveFileAs),
                            Asked(Fake->OpenFolders, Form->ImportObjects)};
        for (QString& Folder : Seen)
            if (Folder.isEmpty())
                Folder = QStringLiteral("none");
            else if (Folder.startsWith(Root))
                Folder = QStringLiteral("~") + Folder.mid(Root.size());
        return Seen.join(QLatin1Char(' '));
    }

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }
    void cleanup() {
        Form.reset();
        Fake.reset();
    }

    // A drop does what Open does with the file, asking first about unsaved changes; what is not
    // one local file is refused with a message and the document stays as it was. The source is
    // never told the file was moved, so it never deletes it, and a refusal tells it nothing was
    // taken.
    void dropOpensOneLocalFile() {
        const QString Folder =
            QStringLiteral("\"a\" is a folder. Drop a propdump file to open it.");
        const QString Several = QStringLiteral(
            "2 items were dropped. One propdump is open at a time: drop a single file to open it.");
        const QString Remote =
            QStringLiteral("\"https://example.org/w.pd\" is not a file on this computer. Only a "
                           "local file can be opened; save it to a folder first.");
        const QString Broken =
            QStringLiteral("Cannot read \"bad.pd\", line 2: Line format not understood.");
        const struct {
            const char* Name;
            std::function<QList<QUrl>()> Urls;
            bool Unsaved;
            QMessageBox::StandardButton Answer;
            bool OverTextBox;
            const char* OpenAfter; // the file open afterwards
            QString Message;       // a refusal, or the question, or empty
            QString Error;
        } Cases[] = {
            {"file",
             [this] { return QList<QUrl>{UrlOf("other.pd")}; },
             false,
             QMessageBox::NoButton,
             false,
             "other.pd",
             {},
             {}},
            {"file over a text box",
             [this] { return QList<QUrl>{UrlOf("other.pd")}; },
             false,
             QMessageBox::NoButton,
             true,
             "other.pd",
             {},
             {}},
            {"unsaved, Save",
             [this] { return QList<QUrl>{UrlOf("other.pd")}; },
             true,
             QMessageBox::Save,
             false,
             "other.pd",
             "Save changes to \"t.pd\"?",
             {}},
            {"unsaved, Discard",
             [this] { return QList<QUrl>{UrlOf("other.pd")}; },
             true,
             QMessageBox::Discard,
             false,
             "other.pd",
             "Save changes to \"t.pd\"?",
             {}},
            {"unsaved, Cancel",
             [this] { return QList<QUrl>{UrlOf("other.pd")}; },
             true,
             QMessageBox::Cancel,
             false,
             "t.pd",
             "Save changes to \"t.pd\"?",
             {}},
            {"unreadable file",
             [this] { return QList<QUrl>{UrlOf("bad.pd")}; },
             false,
             QMessageBox::NoButton,
             false,
             "t.pd",
             {},
             Broken},
            {"folder",
             [this] { return QList<QUrl>{UrlOf("a")}; },
             true,
             QMessageBox::NoButton,
             false,
             "t.pd",
             Folder,
             {}},
            {"two files",
             [this] {
                 return QList<QUrl>{UrlOf("other.pd"), UrlOf("t.pd")};
             },
             false,
             QMessageBox::NoButton,
             false,
             "t.pd",
             Several,
             {}},
            {"remote",
             [] { return QList<QUrl>{QUrl("https://example.org/w.pd")}; },
             false,
             QMessageBox::NoButton,
             false,
             "t.pd",
             Remote,
             {}},
        };
        for (const auto& Case : Cases) {
            Start();
            Open("t.pd");
            if (Case.Unsaved)
                MakeChange();
            const QByteArray Kept = ReadFile(PathOf("t.pd"));
            const QString Typed = Form->FindCitNum->text();
            Fake->Reset();
            Fake->MessageAnswers.enqueue(Case.Answer);

            QWidget* Target =
                Case.OverTextBox ? static_cast<QWidget*>(Form->FindCitNum) : Form.get();
            const TDropOutcome Outcome = Drop(Target, Case.Urls());

            const bool Question = Case.Answer != QMessageBox::NoButton;
            const bool Refused = !Case.Message.isEmpty() && !Question;
            QVERIFY2(Outcome.EnterAccepted && Outcome.DropAccepted == !Refused, Case.Name);
            if (!Refused)
                QCOMPARE(Outcome.Action, Qt::CopyAction);
            QVERIFY2(Form->FileNameText() == PathOf(Case.OpenAfter), Case.Name);
            QCOMPARE(Form->FindCitNum->text(), Typed);
            QCOMPARE(Fake->Messages.size(), Case.Message.isEmpty() ? 0 : 1);
            if (!Case.Message.isEmpty()) {
                QCOMPARE(Fake->Messages.first().Text, Case.Message);
                QCOMPARE(Fake->Messages.first().Type,
                         Question ? TMsgDlgType::Confirmation : TMsgDlgType::Error);
                QCOMPARE(Fake->Sounds.first(),
                         Question ? TSoundKind::Question : TSoundKind::Asterisk);
            }
            QCOMPARE(Fake->Errors, Case.Error.isEmpty() ? QStringList() : QStringList{Case.Error});
            QVERIFY2((ReadFile(PathOf("t.pd")) != Kept) == (Case.Answer == QMessageBox::Save),
                     Case.Name);
            const bool StillChanged = Case.Unsaved && QByteArray(Case.OpenAfter) == "t.pd";
            QVERIFY2(Form->HasUnsavedChanges() == StillChanged, Case.Name);
            QCOMPARE(Form->Propdump.Count(), 1);
        }
    }

    // While a command walks the objects no drop is taken: the pointer shows that the window does
    // not want it, and nothing opens afterwards.
    void dropWaitsForNoCommand() {
        Start();
        Open("t.pd");
        {
            TLongLoop Running(*Form, 10);
            const TDropOutcome Outcome = Drop(Form.get(), {UrlOf("other.pd")});
            QVERIFY(!Outcome.EnterAccepted);
            QVERIFY(!Outcome.DropAccepted);
        }
        QCoreApplication::processEvents();
        QCOMPARE(Form->FileNameText(), PathOf("t.pd"));
    }

    // Open, Save as and the other file dialogs start where the user's files are: the open file's
    // folder, else the one last opened from or saved to (the nearest one left when it has gone).
    void fileDialogsStartInTheFilesFolder() {
        const struct {
            const char* Name;
            std::function<void()> Before;
            const char* Folders; // Open, Save as, Import
        } Cases[] = {
            {"nothing yet", [] {}, "none - -"},
            {"a file open", [this] { Open("a/a.pd"); }, "~/a ~/a ~/a"},
            {"opened, closed",
             [this] {
                 Open("a/a.pd");
                 Form->CloseFile->trigger();
             },
             "~/a - -"},
            {"saved as elsewhere",
             [this] {
                 Open("a/a.pd");
                 Fake->SaveFileAnswers.enqueue(PathOf("b/saved.pd"));
                 Form->SaveFileAs->trigger();
             },
             "~/b ~/b ~/b"},
            {"saved as elsewhere, closed",
             [this] {
                 Open("a/a.pd");
                 Fake->SaveFileAnswers.enqueue(PathOf("b/saved.pd"));
                 Form->SaveFileAs->trigger();
                 Form->CloseFile->trigger();
             },
             "~/b - -"},
            {"save as cancelled",
             [this] {
                 Open("a/a.pd");
                 Form->SaveFileAs->trigger();
             },
             "~/a ~/a ~/a"},
            {"dropped, closed",
             [this] {
                 Drop(Form.get(), {UrlOf("c/c.pd")});
                 Form->CloseFile->trigger();
             },
             "~/c - -"},
            {"failed open with nothing open", [this] { Open("c/bad.pd"); }, "~/c - -"},
            {"failed open beside an open file",
             [this] {
                 Open("a/a.pd");
                 Open("bad.pd");
             },
             "~/a ~/a ~/a"},
            {"the file's folder removed",
             [this] {
                 Open("a/a.pd");
                 QVERIFY(QDir(PathOf("a")).removeRecursively());
             },
             "~ ~ ~"},
        };
        for (const auto& Case : Cases) {
            Start();
            Case.Before();
            QVERIFY2(StartFolders() == QString::fromLatin1(Case.Folders),
                     qPrintable(QString::fromLatin1(Case.Name) + ": " + StartFolders()));
        }
    }
};

QTEST_MAIN(OpeningFilesTest)
#include "OpeningFilesTest.moc"
