// Unsaved changes are never thrown away unasked: every way the document can go asks first, the
// answer is obeyed, and the title shows whether there is anything to ask about.

#include "support/FakePlatform.h"

#include "ui/uMainForm.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

constexpr char Saved[] = "propdump version 3\r\n5 1000000000 0 0 0 0 0 0 4 0 0 tree\r\n";

// The owner of the one object as the file holds it, or -1.
int OwnerOnDisk(const QString& Path) {
    TPropdumpFile Disk;
    try {
        Disk.LoadFromFile(QFile::encodeName(Path).toStdString(), 0);
    } catch (...) {
        return -1;
    }
    return Disk.Objects.empty() ? -1 : Disk.Objects[0].Owner;
}

} // namespace

class UnsavedChangesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> Dir;
    std::unique_ptr<FakePlatform> Fake;
    std::unique_ptr<TMainForm> Form;

    QString PathOf(const char* Name) const { return Dir->filePath(QString::fromLatin1(Name)); }

    void Open(const QString& Path) {
        Fake->OpenFileAnswers.enqueue(Path);
        Form->OpenFile->trigger();
        QVERIFY2(Fake->Errors.isEmpty(), qPrintable(Fake->Errors.join('\n')));
    }

    // Every owner becomes 77, through the citizen-number replacement.
    void Change() {
        Form->FindCitNum->setText("-1");
        Form->ReplaceCitNum->setText("77");
        Form->DoCitNumReplace->trigger();
    }

    QString Title() const { return Form->windowHandle()->title(); }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void init() {
        Dir = std::make_unique<QTemporaryDir>();
        for (const char* Name : {"t.pd", "other.pd"}) {
            QFile File(PathOf(Name));
            QVERIFY(File.open(QIODevice::WriteOnly));
            File.write(Saved);
        }
        Fake = std::make_unique<FakePlatform>();
        Form = std::make_unique<TMainForm>();
        Form->show();
    }

    void cleanup() {
        Form.reset();
        Fake.reset();
        Dir.reset();
    }

    // Each way the document goes, from each state, with each answer: asked exactly when the
    // document differs from its file ("Save changes to "t.pd"?", Save, Discard and Cancel, the
    // question sound, Cancel the default); Save saves and goes on, Discard goes on, Cancel and a
    // failed save keep the document open and nothing else happens.
    void everyWayOutAsksAboutUnsavedChanges() {
        const struct {
            const char* Name;
            std::function<bool()> Command; // whether the document went
        } Commands[] = {
            {"Close",
             [this] {
                 Form->CloseFile->trigger();
                 return Form->Propdump.FileName.empty();
             }},
            {"Open",
             [this] {
                 Fake->OpenFileAnswers.enqueue(PathOf("other.pd"));
                 Form->OpenFile->trigger();
                 return Form->FileNameText() == PathOf("other.pd");
             }},
            {"Exit",
             [this] {
                 Form->ExitApp->trigger();
                 return !Form->isVisible();
             }},
            {"close button", [this] { return Form->close(); }},
            {"session end",
             [this] {
                 if (!Form->SessionEndQuery(true))
                     return false;
                 // The window's close that follows does not ask again.
                 const auto Asked = Fake->Messages.size();
                 const bool Closed = Form->close();
                 return Closed && Fake->Messages.size() == Asked;
             }},
        };
        const auto Save = [this] { Form->SaveFile->trigger(); };
        const auto Undo = [this] { Form->EditUndo->trigger(); };
        const auto Redo = [this] { Form->EditRedo->trigger(); };
        const struct {
            const char* Name;
            std::vector<std::function<void()>> Steps;
            QMessageBox::StandardButton Answer; // NoButton: no question
            bool SaveFails;
        } States[] = {
            {"unchanged", {}, QMessageBox::NoButton, false},
            {"changed and undone", {[this] { Change(); }, Undo}, QMessageBox::NoButton, false},
            {"saved, undone, redone",
             {[this] { Change(); }, Save, Undo, Redo},
             QMessageBox::NoButton,
             false},
            {"changed: Save", {[this] { Change(); }}, QMessageBox::Save, false},
            {"changed: Discard", {[this] { Change(); }}, QMessageBox::Discard, false},
            {"changed: Cancel", {[this] { Change(); }}, QMessageBox::Cancel, false},
            {"saved, undone: Discard",
             {[this] { Change(); }, Save, Undo},
             QMessageBox::Discard,
             false},
            {"changed: Save fails", {[this] { Change(); }}, QMessageBox::Save, true},
        };
        for (const auto& Command : Commands) {
            for (const auto& State : States) {
                const QByteArray Name = QByteArray(Command.Name) + ", " + State.Name;
                cleanup();
                init();
                Open(PathOf("t.pd"));
                for (const auto& Step : State.Steps)
                    Step();
                const bool Unsaved = State.Answer != QMessageBox::NoButton;
                QCOMPARE(Title(), QString(Unsaved ? "propdump editor*" : "propdump editor"));
                const int OnDisk = OwnerOnDisk(PathOf("t.pd"));
                if (State.SaveFails)
                    QVERIFY(QDir(Dir->path()).removeRecursively());
                Fake->Reset();
                Fake->MessageAnswers.enqueue(State.Answer);

                const bool Gone = Command.Command();

                const bool Goes = !Unsaved || (State.Answer == QMessageBox::Discard) ||
                                  (State.Answer == QMessageBox::Save && !State.SaveFails);
                QVERIFY2(Gone == Goes, Name.constData());
                QCOMPARE(Fake->Messages.isEmpty(), !Unsaved);
                if (Unsaved) {
                    const FakePlatform::Message& Asked = Fake->Messages.first();
                    QCOMPARE(Asked.Text, QStringLiteral("Save changes to \"t.pd\"?"));
                    QCOMPARE(Asked.Buttons, QMessageBox::Save | QMessageBox::Discard |
                                                QMessageBox::Cancel);
                    QCOMPARE(Asked.Default, QMessageBox::Cancel);
                    QCOMPARE(Fake->Sounds.first(), TSoundKind::Question);
                }
                QCOMPARE(Fake->Errors.size(), State.SaveFails ? 1 : 0);
                if (!State.SaveFails) {
                    const bool Saves = State.Answer == QMessageBox::Save;
                    QVERIFY2(OwnerOnDisk(PathOf("t.pd")) == (Saves ? 77 : OnDisk), Name.constData());
                }
                if (!Gone) {
                    QVERIFY2(Form->isVisible(), Name.constData());
                    QCOMPARE(Form->FileNameText(), PathOf("t.pd"));
                    QCOMPARE(Form->Propdump.Objects[0].Owner, 77);
                    QCOMPARE(Title(), QStringLiteral("propdump editor*"));
                }
            }
        }
    }
};

QTEST_MAIN(UnsavedChangesTest)
#include "UnsavedChangesTest.moc"
