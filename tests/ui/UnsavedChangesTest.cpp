// Unsaved changes are never thrown away unasked: every way the document can go asks first, the
// answer is obeyed, and the title shows whether there is anything to ask about.

#include "support/FakePlatform.h"
#include "support/WaitForIdle.h"

#include "ui/uMainForm.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>

#include <cstring>
#include <functional>
#include <memory>

namespace {

QByteArray ReadFile(const QString& Path) {
    QFile File(Path);
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

} // namespace

class UnsavedChangesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> Dir;
    std::unique_ptr<FakePlatform> Fake;
    std::unique_ptr<TMainForm> Form;

    QString PathOf(const char* Name) const { return Dir->filePath(QString::fromLatin1(Name)); }

    // A fresh window with t.pd open; other.pd is there to be opened instead.
    void Start() {
        Form.reset();
        Fake.reset();
        Dir = std::make_unique<QTemporaryDir>();
        for (const char* Name : {"t.pd", "other.pd"}) {
            QFile File(PathOf(Name));
            QVERIFY(File.open(QIODevice::WriteOnly));
            File.write("propdump version 3\r\n5 1000000000 0 0 0 0 0 0 4 0 0 tree\r\n");
        }
        Fake = std::make_unique<FakePlatform>();
        Form = std::make_unique<TMainForm>();
        Form->show();
        Fake->OpenFileAnswers.enqueue(PathOf("t.pd"));
        Form->OpenFile->trigger();
        QVERIFY(WaitUntilIdle(*Form));
    }

    QString Title() const { return Form->windowHandle()->title(); }

private slots:
    // Each way the document goes, from each state, with each answer: asked exactly when the
    // document differs from its file ("Save changes to "t.pd"?", Save, Discard and Cancel, the
    // question sound, Cancel the default) and never twice; Save saves and goes on, Discard goes
    // on, Cancel and a failed save keep the document open and nothing else happens.
    void everyWayOutAsksAboutUnsavedChanges() {
        const struct {
            const char* Name;
            std::function<bool()> Goes;
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
            {"session end", [this] { return Form->SessionEndQuery(true) && Form->close(); }},
        };
        // Before the command: c a change, s save, u undo, r redo, f the folder gone (saving fails).
        const struct {
            const char* Steps;
            QMessageBox::StandardButton Answer; // NoButton: there is nothing to ask
        } States[] = {
            {"", QMessageBox::NoButton},     {"cu", QMessageBox::NoButton},
            {"csur", QMessageBox::NoButton}, {"c", QMessageBox::Save},
            {"c", QMessageBox::Discard},     {"c", QMessageBox::Cancel},
            {"csu", QMessageBox::Discard},   {"cf", QMessageBox::Save},
        };
        for (const auto& Command : Commands) {
            for (const auto& State : States) {
                const QByteArray Name = QByteArray(Command.Name) + " after \"" + State.Steps + '"';
                Start();
                const bool Unsaved = State.Answer != QMessageBox::NoButton;
                const bool SaveFails = std::strchr(State.Steps, 'f') != nullptr;
                for (const char* Step = State.Steps; *Step; ++Step) {
                    if (*Step == 'c') {
                        Form->FindCitNum->setText("-1");
                        Form->ReplaceCitNum->setText("77");
                    }
                    const std::function<void()> Run[] = {
                        [this] { Form->DoCitNumReplace->trigger(); },
                        [this] { Form->SaveFile->trigger(); },
                        [this] { Form->EditUndo->trigger(); },
                        [this] { Form->EditRedo->trigger(); },
                        [this] { QVERIFY(QDir(Dir->path()).removeRecursively()); }};
                    Run[std::strchr("csurf", *Step) - "csurf"]();
                }
                QCOMPARE(Title(), QString(Unsaved ? "propdump editor*" : "propdump editor"));
                const QByteArray Kept = ReadFile(PathOf("t.pd"));
                Fake->Reset();
                Fake->MessageAnswers.enqueue(State.Answer);

                const bool Gone = Command.Goes();

                const bool Saves = State.Answer == QMessageBox::Save && !SaveFails;
                QVERIFY2(Gone == (!Unsaved || Saves || State.Answer == QMessageBox::Discard),
                         Name.constData());
                QCOMPARE(Fake->Messages.size(), Unsaved ? 1 : 0);
                if (Unsaved) {
                    const FakePlatform::Message& Asked = Fake->Messages.first();
                    QCOMPARE(Asked.Text, QStringLiteral("Save changes to \"t.pd\"?"));
                    QCOMPARE(Asked.Buttons,
                             QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
                    QCOMPARE(Asked.Default, QMessageBox::Cancel);
                    QCOMPARE(Fake->Sounds.first(), TSoundKind::Question);
                }
                QCOMPARE(Fake->Errors.size(), SaveFails ? 1 : 0);
                if (!SaveFails)
                    QVERIFY2((ReadFile(PathOf("t.pd")) != Kept) == Saves, Name.constData());
                if (!Gone)
                    QVERIFY2(Form->isVisible() && Form->Propdump.Objects[0].Owner == 77 &&
                                 Title() == "propdump editor*",
                             Name.constData());
            }
        }
        Form.reset();
        Fake.reset();
    }
};

QTEST_MAIN(UnsavedChangesTest)
#include "UnsavedChangesTest.moc"
