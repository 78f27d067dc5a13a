#include "support/FakePlatform.h"
#include "support/WaitForIdle.h"

#include "ui/BackgroundWork.h"
#include "ui/Command.h"
#include "ui/uFrmSetVersion.h"
#include "ui/uMainForm.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

#include <sys/stat.h>

namespace {

// Owners 100 to 106 in turn unless Owner is given.
QByteArray Dump(int Objects, const QByteArray& Model, int Owner = -1) {
    QByteArray Text = "propdump version 3\r\n";
    for (int Index = 0; Index < Objects; ++Index)
        Text += QByteArray::number(Owner >= 0 ? Owner : 100 + Index % 7) + " 1000000000 0 0 0 0 0 0 " +
                QByteArray::number(Model.size()) + " 0 0 " + Model + "\r\n";
    return Text;
}

void WriteFile(const QString& Path, const QByteArray& Bytes) {
    QFile File(Path);
    QVERIFY(File.open(QIODevice::WriteOnly));
    QCOMPARE(File.write(Bytes), Bytes.size());
}

// The question about unsaved changes, then the busy bracket around the load.
const QStringList BusyBracket = {"sound Question", "cursor push", "cursor pop", "sound Asterisk"};

} // namespace

// The window reads a file on a worker thread while its own event loop runs. These tests read
// from a named pipe, which keeps the worker waiting until the test writes, so that they can act
// while the load is under way.
class BackgroundLoadTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakePlatform> Fake;
    std::unique_ptr<TMainForm> Form;
    std::unique_ptr<QTemporaryDir> Dir;
    QString Pipe;

    // Opens First (4 objects of "old"), then changes every owner to 77 so that there is a
    // change to undo and a change unsaved.
    void OpenAndEdit() {
        const QString First = Dir->filePath("first.pd");
        WriteFile(First, Dump(4, "old"));
        Fake->OpenFileAnswers.enqueue(First);
        Form->OpenFile->trigger();
        QVERIFY(WaitUntilIdle(*Form));
        Form->FindCitNum->setText("-1");
        Form->ReplaceCitNum->setText("77");
        Fake->MessageAnswers.enqueue(QMessageBox::Yes);
        Form->DoCitNumReplace->trigger();
        QVERIFY(Form->EditUndo->isEnabled());
        Fake->Reset();
    }

    // What OpenAndEdit left, exactly; the count label reads Count.
    void VerifyEditedDocument(const QString& Count = QStringLiteral("Objects in propdump: 4")) {
        QCOMPARE(Form->Propdump.Count(), 4);
        QCOMPARE(Form->Propdump.FileName, Dir->filePath("first.pd").toStdString());
        QCOMPARE(Form->Propdump.Item(3).Owner, 77);
        QCOMPARE(Form->PropObjCount->text(), Count);
        QCOMPARE(Form->ListBox1Count(), 4);
        QVERIFY(Form->EditUndo->isEnabled());
        QVERIFY(Form->HasUnsavedChanges());
        QVERIFY(Form->SaveFile->isEnabled());
    }

    // Opens the pipe through the open dialog, the unsaved changes discarded; While runs inside
    // the load, before anything has been written to the pipe.
    void OpenPipe(const std::function<void()>& While) {
        Fake->MessageAnswers.enqueue(QMessageBox::Discard);
        Fake->OpenFileAnswers.enqueue(Pipe);
        QTimer::singleShot(0, Form.get(), While);
        Form->OpenFile->trigger();
        QVERIFY(WaitUntilIdle(*Form));
    }

    void Feed(const QByteArray& Bytes) {
        QFile Writer(Pipe);
        QVERIFY(Writer.open(QIODevice::WriteOnly));
        QCOMPARE(Writer.write(Bytes), Bytes.size());
    }

    QStringList SoundsAndCursor() const {
        QStringList Seen;
        for (const QString& Entry : Fake->Log)
            if (Entry.startsWith("sound") || Entry.startsWith("cursor"))
                Seen << Entry;
        return Seen;
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void init() {
        Fake = std::make_unique<FakePlatform>();
        Dir = std::make_unique<QTemporaryDir>();
        QVERIFY(Dir->isValid());
        Pipe = Dir->filePath("pipe.pd");
        QCOMPARE(::mkfifo(QFile::encodeName(Pipe).constData(), 0600), 0);
        Form = std::make_unique<TMainForm>();
        OpenAndEdit();
    }

    void cleanup() {
        Form.reset();
        Fake.reset();
        Dir.reset();
    }

    // While the file is read the window is busy: commands suspended, a busy bar for a file whose
    // size is not known; afterwards the new document is in, with its lists, and nothing to undo.
    void loadSwapsTheNewDocumentIn() {
        bool SeenBusy = false;
        OpenPipe([&] {
            SeenBusy = Form->LongLoopRunning() && !Form->ActionList1->Execute(Form->SaveFile) &&
                       Form->ProgressBar1->maximum() == 0;
            // Still the old document while the new one is read, and the label says so.
            QCOMPARE(Form->Propdump.Count(), 4);
            QCOMPARE(Form->PropObjCount->text(),
                     QStringLiteral("Reading \"pipe.pd\"... (Esc stops)"));
            Feed(Dump(3000, "New.rwx") + Dump(2, "new.RWX").mid(20));
        });
        QVERIFY(SeenBusy);
        QCOMPARE(Form->Propdump.Count(), 3002);
        QCOMPARE(Form->PropObjCount->text(), QStringLiteral("Objects in propdump: 3,002"));
        QCOMPARE(Form->ModelItems->stringList(), QStringList{"New.rwx"});
        QCOMPARE(Form->CitNumItems->stringList().size(), 7);
        QVERIFY(!Form->EditUndo->isEnabled());
        QVERIFY(!Form->HasUnsavedChanges());
        QCOMPARE(Form->ProgressBar1->maximum(), 1);
        QCOMPARE(SoundsAndCursor(), BusyBracket);
    }

    // Esc in the window, closing the window, or a file that cannot be read: the document the
    // window had stays, its undo history and its unsaved changes too.
    void stoppedOrFailedLoadLeavesTheDocument_data() {
        QTest::addColumn<QString>("How");
        QTest::newRow("Esc") << "Esc";
        QTest::newRow("closing the window") << "close";
        QTest::newRow("a bad line") << "bad";
    }
    void stoppedOrFailedLoadLeavesTheDocument() {
        QFETCH(QString, How);
        OpenPipe([&] {
            if (How == "Esc") {
                QTest::keyClick(Form.get(), Qt::Key_Escape);
            } else if (How == "close") {
                // Kept open by the question about unsaved changes that closing asks once the
                // load has stopped.
                Fake->MessageAnswers.enqueue(QMessageBox::Cancel);
                Form->close();
            }
            // Small enough for the pipe to take it all, read or not.
            Feed(How == "bad" ? Dump(3, "x") + "bad line\r\n" : Dump(1000, "new"));
        });
        QCoreApplication::processEvents();
        VerifyEditedDocument();
        QCOMPARE(Form->ProgressBar1->maximum(), 1);
        QCOMPARE(Form->ProgressBar1->value(), 0);
        QCOMPARE(Fake->Errors.size(), How == "bad" ? 1 : 0);
        if (How == "bad")
            QVERIFY2(Fake->Errors.first().contains("line 5"), qPrintable(Fake->Errors.first()));
        // Open asked about the unsaved changes; closing went on once the load had stopped, and
        // asked again.
        QCOMPARE(Fake->Messages.size(), How == "close" ? 2 : 1);
        QCOMPARE(SoundsAndCursor().mid(0, 4), BusyBracket);
    }

    // A load that ends while a dialog's own event loop runs is taken up once the dialog has
    // closed; meanwhile the window shows the old document and the bar shows the load done.
    void loadEndingDuringADialogWaitsForIt() {
        bool Checked = false;
        OpenPipe([&] {
            QDialog Dialog;
            QTimer::singleShot(0, &Dialog, [&] {
                Feed(Dump(10, "new"));
                QTRY_COMPARE(Form->ProgressBar1->maximum(), 1);
                QCOMPARE(Form->ProgressBar1->value(), 1);
                VerifyEditedDocument(QStringLiteral("Reading \"pipe.pd\"... (Esc stops)"));
                Checked = !QTest::currentTestFailed();
                Dialog.accept();
            });
            Dialog.exec();
        });
        QVERIFY(Checked);
        QCOMPARE(Form->Propdump.Count(), 10);
        QVERIFY(!Form->EditUndo->isEnabled());
    }

    // The file named at start is read from before the window exists; the window's Open of it
    // takes over what was read, with the same outcome as a load of its own: the document, the
    // version question for a file without a header, the error of a file that is not there. Read
    // from the pipe, the file is there only once: a second reader would wait for ever.
    void fileNamedAtStartIsReadWhileTheWindowSetsUp_data() {
        QTest::addColumn<QString>("Kind");
        QTest::newRow("the file") << "pipe";
        QTest::newRow("without a header") << "headerless";
        QTest::newRow("not there") << "missing";
        QTest::newRow("another file opened first") << "other";
    }
    void fileNamedAtStartIsReadWhileTheWindowSetsUp() {
        QFETCH(QString, Kind);
        Form.reset();
        const QString Other = Dir->filePath("other.pd");
        WriteFile(Other, Dump(5, "other"));
        const QString Headerless = Dir->filePath("headerless.pd");
        WriteFile(Headerless, Dump(3, "bare").mid(20));
        const QString Missing = Dir->filePath("missing.pd");
        const QString Named = Kind == "pipe"         ? Pipe
                              : Kind == "headerless" ? Headerless
                              : Kind == "missing"    ? Missing
                                                     : Dir->filePath("first.pd");
        StartLoadingEarly(Named);
        if (Kind == "pipe")
            Feed(Dump(600, "early"));
        Form = std::make_unique<TMainForm>();
        Fake->Reset();
        if (Kind == "headerless")
            Fake->ModalHandlers.enqueue([](QDialog& Dialog) {
                auto* Version = qobject_cast<TFrmSetVersion*>(&Dialog);
                if (!Version)
                    return int(QDialog::Rejected);
                Version->RadioItems->buttons().at(1)->click();
                Version->OkButton->click();
                return Version->result();
            });
        RunCommand(Form.get(), [&] { Form->OpenFileNamed(Kind == "other" ? Other : Named); });
        QVERIFY(WaitUntilIdle(*Form));
        const int Expected = Kind == "pipe" ? 600 : Kind == "headerless" ? 3 : Kind == "other" ? 5 : 0;
        QCOMPARE(Form->Propdump.Count(), Expected);
        QCOMPARE(Form->ListBox1Count(), Expected);
        if (Kind == "headerless")
            QCOMPARE(Form->PropFileVer->text(), QStringLiteral("File version 3"));
        QCOMPARE(Fake->Errors.size(), Kind == "missing" ? 1 : 0);
        if (Kind == "missing")
            QCOMPARE(Fake->Errors.first(),
                     QStringLiteral("Cannot read \"missing.pd\": No such file or directory."));
        // Taken once: the next Open of the same file reads it anew.
        if (Kind == "other") {
            RunCommand(Form.get(), [&] { Form->OpenFileNamed(Dir->filePath("first.pd")); });
            QVERIFY(WaitUntilIdle(*Form));
            QCOMPARE(Form->Propdump.Count(), 4);
        }
    }

    // A save cannot be stopped half-way: closing the window meanwhile waits until the whole
    // file is written, and then closes without asking, since nothing is left unsaved.
    void closingDuringASaveWaitsForTheWholeFile() {
        Form->show();
        QByteArray Written;
        Form->Propdump.FileName = Pipe.toStdString();
        QTimer::singleShot(0, Form.get(), [&] {
            QVERIFY(Form->LongLoopRunning());
            Form->close();
            QVERIFY(Form->isVisible());
            QFile Reader(Pipe);
            QVERIFY(Reader.open(QIODevice::ReadOnly));
            Written = Reader.readAll();
        });
        Form->SaveFile->trigger();
        QVERIFY(WaitUntilIdle(*Form));
        QCOMPARE(Written, Dump(4, "old", 77));
        QTRY_VERIFY(!Form->isVisible());
        QVERIFY(Fake->Messages.isEmpty());
    }
};

QTEST_MAIN(BackgroundLoadTest)
#include "BackgroundLoadTest.moc"
