#include "support/DialogTesting.h"
#include "support/FakePlatform.h"
#include "support/WaitForIdle.h"

#include "ui/Command.h"
#include "ui/CountText.h"
#include "ui/LongLoop.h"
#include "ui/SearchResultsModel.h"
#include "ui/uFrmSetVersion.h"
#include "ui/uMainForm.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStringListModel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QWindow>
#include <QtTest>

#include <stdexcept>

#include <algorithm>
#include <memory>
#include <system_error>
#include <vector>

namespace {

const QStringList AllActions = {"OpenFile",          "SaveFile",      "SaveFileAs",
                                "CloseFile",         "RevertFile",    "ExitApp",
                                "DoCitNumReplace",   "ReplaceModels", "NormalizeModels",
                                "DenormalizeModels", "DoSearch",      "DeleteSearchResults",
                                "ClearSearchResults"};
const QStringList FileActions = {"SaveFile", "SaveFileAs", "CloseFile", "RevertFile"};

// One version-3 object line as the document writes it.
QByteArray Line3(int Owner, const QByteArray& Model) {
    return QByteArray::number(Owner) + " 1000000000 0 0 0 0 0 0 " +
           QByteArray::number(Model.size()) + " 0 0 " + Model;
}

QByteArray Lines(const QList<QByteArray>& Items) {
    QByteArray Result;
    for (const QByteArray& Item : Items)
        Result += Item + "\r\n";
    return Result;
}

void WriteFile(const QString& Path, const QByteArray& Bytes) {
    QFile File(Path);
    QVERIFY(File.open(QIODevice::WriteOnly));
    QCOMPARE(File.write(Bytes), Bytes.size());
}

QByteArray ReadFile(const QString& Path) {
    QFile File(Path);
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray("<missing>");
}

QStringList Rows(const QListView* List) {
    const auto* Model = qobject_cast<const QStringListModel*>(List->model());
    return Model ? Model->stringList() : QStringList{"<no model>"};
}

} // namespace

class MainFormTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakePlatform> Fake;
    std::unique_ptr<TMainForm> Form;
    std::unique_ptr<QTemporaryDir> Dir;

    QString PathOf(const QString& Name) const { return Dir->filePath(Name); }

    QStringList EnabledActions() const {
        QStringList Enabled;
        for (const QString& Name : AllActions) {
            const auto* Action = Form->findChild<QAction*>(Name);
            if (Action && Action->isEnabled())
                Enabled.append(Name);
        }
        return Enabled;
    }

    // The summary of "no document": empty labels and lists, no rows.
    void VerifyNoDocumentShown() {
        QCOMPARE(Form->FileName->text(), QString());
        QCOMPARE(Form->PropObjCount->text(), QString());
        QCOMPARE(Form->PropFileVer->text(), QString());
        QCOMPARE(Rows(Form->CitNumList), QStringList());
        QCOMPARE(Rows(Form->ModelList), QStringList());
        QCOMPARE(Form->ListBox1Count(), 0);
    }

    // Runs an action the way a click does; fails the test when it cannot be clicked.
    void Click(const QString& Name) {
        auto* Action = Form->findChild<QAction*>(Name);
        QVERIFY2(Action, qPrintable(Name));
        QVERIFY2(Action->isEnabled(), qPrintable(Name + " is disabled"));
        Action->trigger();
        QVERIFY(WaitUntilIdle(*Form));
    }

    // Opens a file through the open dialog and forgets what that recorded.
    void Open(const QString& Path) {
        Fake->OpenFileAnswers.enqueue(Path);
        Click("OpenFile");
        QVERIFY2(Fake->Errors.isEmpty(), qPrintable(Fake->Errors.join('\n')));
        Fake->Reset();
    }

    // A header-less file of two objects, answered in the version dialog by Answer.
    void OpenHeaderless(const QString& Path, std::function<int(TFrmSetVersion&)> Answer) {
        WriteFile(Path, Lines({Line3(11, "a.rwx"), Line3(12, "b.rwx")}));
        Fake->OpenFileAnswers.enqueue(Path);
        Fake->ModalHandlers.enqueue([Answer](QDialog& Dialog) {
            auto* Version = qobject_cast<TFrmSetVersion*>(&Dialog);
            return Version ? Answer(*Version) : int(QDialog::Rejected);
        });
        Click("OpenFile");
    }

    void AnswerRevert(QMessageBox::StandardButton Button) {
        Fake->MessageAnswers.enqueue(Button);
        Click("RevertFile");
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void init() {
        Fake = std::make_unique<FakePlatform>();
        Dir = std::make_unique<QTemporaryDir>();
        QVERIFY(Dir->isValid());
        Form = std::make_unique<TMainForm>();
    }

    void cleanup() {
        Form.reset();
        Fake.reset();
        Dir.reset();
        TLongLoop::SetYieldInterval(25);
    }

    void startState() {
        QCOMPARE(Form->objectName(), QStringLiteral("MainForm"));
        // The title as the window manager shows it, without Qt's mark for unsaved changes.
        Form->winId();
        QCOMPARE(Form->windowHandle()->title(), QStringLiteral("propdump editor"));
        QCOMPARE(Form->centralWidget()->size(), QSize(705, 370));
        QCOMPARE(Form->PageControl1->count(), 4);
        QCOMPARE(Form->PageControl1->tabText(Form->PageControl1->currentIndex()),
                 QStringLiteral("Objects"));
        VerifyNoDocumentShown();
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(EnabledActions(),
                 QStringList({"OpenFile", "ExitApp", "DoCitNumReplace", "ReplaceModels",
                              "NormalizeModels", "DenormalizeModels", "DoSearch",
                              "ClearSearchResults"}));
        QCOMPARE(Form->ListBox2->count(), 1);
        QCOMPARE(Form->ListBox2->item(0)->text(), QStringLiteral("none"));
        QCOMPARE(Form->GroupBox3->title(), QStringLiteral("Results: 0"));
        QVERIFY(Fake->Log.isEmpty());

        // The menu items and buttons follow their actions.
        auto* Save1 = Form->findChild<QAction*>("Save1");
        QVERIFY(Save1);
        QVERIFY(!Save1->isEnabled());
        QCOMPARE(Save1->text(), QStringLiteral("&Save"));
        QCOMPARE(Form->findChild<QAction*>("Saveas1")->shortcut(), QKeySequence("Ctrl+A"));
        QVERIFY(!Form->btnDeleteResults->isEnabled());
        Form->DeleteSearchResults->setEnabled(true);
        QVERIFY(Form->btnDeleteResults->isEnabled());
        for (const char* Button : {"ToolButton1", "ToolButton2", "ToolButton3", "ToolButton5",
                                   "ToolButton7", "ToolButton8"})
            QVERIFY2(!Form->findChild<QToolButton*>(Button)->icon().isNull(), Button);

        QStringList Sections;
        for (int Index = 0; Index < Form->HeaderControl1->count(); ++Index)
            Sections.append(
                Form->HeaderControl1->model()->headerData(Index, Qt::Horizontal).toString() + ' ' +
                QString::number(Form->HeaderControl1->sectionSize(Index)));
        QCOMPARE(Sections, QStringList({"Cit# 50", "Date/Time 125", "Location 125", "Model 125",
                                        "Description 125", "Action 110"}));
        QPoint Note;
        for (const QLabel* Label : Form->GroupBox1->findChildren<QLabel*>())
            if (Label->text().startsWith("(use"))
                Note = Label->pos();
        QCOMPARE(Note, QPoint(238, 24));

        // The layouts are made for Tahoma 8 pt; where the free face that stands in for it is
        // installed, the window uses it, bold included.
        if (!QFile::exists("/usr/share/wine/fonts/tahoma.ttf"))
            return;
        const QFont Font = Form->ListBox1->font();
        QCOMPARE(QFontInfo(Font).family(), QStringLiteral("Tahoma"));
        QCOMPARE(QFontInfo(Font).pointSize(), 8);
        QVERIFY2(InkOf(Font, 1, true) > InkOf(Font, 1, false) * 5 / 4,
                 qPrintable(QStringLiteral("bold %1, regular %2")
                                .arg(InkOf(Font, 1, true))
                                .arg(InkOf(Font, 1, false))));
        // Letters at the advances of the face's bitmaps: no gap inside a word wider than the
        // one between two letters n.
        const int LetterGap = WidestGap(Font, "nn");
        QCOMPARE(LetterGap, 1);
        for (const char* Word : {"Normalize", "Denormalize", "Date/Time", "Camera", "Emitter",
                                 "CitNums", "File", "Location"})
            QVERIFY2(WidestGap(Font, Word) <= LetterGap,
                     qPrintable(QStringLiteral("%1: %2").arg(Word).arg(WidestGap(Font, Word))));
    }

    // The widest run of blank columns between the first and the last inked one.
    static int WidestGap(const QFont& Font, const char* Word) {
        QImage Image(200, 20, QImage::Format_RGB32);
        Image.fill(Qt::white);
        QPainter Canvas(&Image);
        Canvas.setFont(Font);
        Canvas.drawText(2, 15, QString::fromLatin1(Word));
        Canvas.end();
        std::vector<bool> Inked(static_cast<std::size_t>(Image.width()));
        for (int X = 0; X < Image.width(); ++X)
            for (int Y = 0; Y < Image.height(); ++Y)
                if (qGray(Image.pixel(X, Y)) < 128)
                    Inked[static_cast<std::size_t>(X)] = true;
        const auto First = std::find(Inked.begin(), Inked.end(), true);
        const auto Last = std::find(Inked.rbegin(), Inked.rend(), true).base();
        int Widest = 0;
        int Run = 0;
        for (auto Column = First; Column < Last; ++Column) {
            Run = *Column ? 0 : Run + 1;
            Widest = std::max(Widest, Run);
        }
        return Widest;
    }

    // A document with a header: labels, lists in the right order and case rules, actions.
    void openWithHeader() {
        QList<QByteArray> Items = {Line3(7, "tree.rwx"),      Line3(5, "Box.rwx"),
                                   Line3(7, "TREE.RWX"),      Line3(-1, "zebra"),
                                   Line3(5, "\xE9t\xE9.rwx"), Line3(5, "apple.rwx"),
                                   Line3(5, "\xC9T\xC9.RWX"), Line3(5, "ete.rwx")};
        while (Items.size() < 1234)
            Items.append(Line3(5, "box.RWX"));
        const QString Path = PathOf("big.pd");
        WriteFile(Path, Lines(QList<QByteArray>{"propdump version 3"} + Items));
        QSignalSpy Count(Form.get(), &TMainForm::ListBox1CountChanged);
        Form->PageControl1->setCurrentIndex(TMainForm::SearchTab);

        Fake->OpenFileAnswers.enqueue(Path);
        Click("OpenFile");

        QCOMPARE(Fake->Errors, QStringList());
        QCOMPARE(Form->PropObjCount->text(), QStringLiteral("Objects in propdump: 1,234"));
        QCOMPARE(Form->PropFileVer->text(), QStringLiteral("File version 3"));
        QCOMPARE(Form->FileNameText(), Path);
        QCOMPARE(Form->PageControl1->currentIndex(), TMainForm::ObjectsTab);
        QCOMPARE(Rows(Form->CitNumList), QStringList({"7", "5", "-1"}));
        // In a reader's order, whatever the letter case: é next to e, not after z.
        QCOMPARE(Rows(Form->ModelList),
                 QStringList({"apple.rwx", "Box.rwx", "ete.rwx", QString::fromUtf8("été.rwx"),
                              "tree.rwx", "zebra"}));
        QCOMPARE(Form->ListBox1Count(), 1234);
        QCOMPARE(Count.size(), 1);
        QCOMPARE(Count.first().first().toInt(), 1234);
        QVERIFY(EnabledActions().contains("SaveFile"));
        for (const QString& Name : FileActions)
            QVERIFY2(EnabledActions().contains(Name), qPrintable(Name));
        QCOMPARE(Fake->Log, QStringList({"cursor push", "cursor pop", "sound Asterisk"}));
    }

    // The window's shortcuts win over the text boxes' own keys wherever the focus is; a box
    // keeps a key only while the command bound to it is disabled.
    void shortcutsWinInEveryControl() {
        const QString Path = PathOf("keys.pd");
        WriteFile(Path, Lines({"propdump version 3", Line3(1, "a")}));
        Form->show();
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
        QList<QWidget*> Focusable;
        for (QWidget* Widget : Form->findChildren<QWidget*>())
            if (Widget->focusPolicy() != Qt::NoFocus && Widget->isEnabled() &&
                !Widget->inherits("QMenuBar"))
                Focusable << Widget;
        QVERIFY(Focusable.contains(Form->FindModelName));

        // Close last, since it disables the others.
        const QList<QAction*> Commands = {Form->OpenFile, Form->SaveFile, Form->SaveFileAs,
                                          Form->RevertFile, Form->CloseFile};
        for (QWidget* Widget : Focusable) {
            Open(Path);
            for (int Tab = 0; Tab < Form->PageControl1->count() && !Widget->isVisible(); ++Tab)
                Form->PageControl1->setCurrentIndex(Tab);
            if (!Widget->isVisible()) // the tab bar's scroll buttons
                continue;
            Widget->setFocus();
            QVERIFY2(Widget->hasFocus(), qPrintable(Widget->objectName()));
            for (QAction* Command : Commands) {
                // Except Close: in a text box Ctrl+K deletes to the end of the line, on the
                // desktops that bind it so, and never closes the document.
                auto* Box = qobject_cast<QLineEdit*>(Widget);
                const bool BoxKeeps = Box && Command == Form->CloseFile;
                if (Box) {
                    Box->setText("abcd");
                    Box->setCursorPosition(2);
                }
                QSignalSpy Ran(Command, &QAction::triggered);
                QTest::keySequence(Widget, Command->shortcut());
                QVERIFY2(Ran.size() == (BoxKeeps ? 0 : 1),
                         qPrintable(Widget->objectName() + ' ' + Command->objectName()));
                if (!BoxKeeps)
                    continue;
                QVERIFY(!Form->Propdump.FileName.empty());
                const bool Deletes = QKeySequence::keyBindings(QKeySequence::DeleteEndOfLine)
                                         .contains(Command->shortcut());
                QCOMPARE(Box->text(), QString(Deletes ? "ab" : "abcd"));
            }
        }

        // Closed, so Save as is disabled: Ctrl+A selects all in the box again. Its menu offers
        // select-all at any time.
        Form->CloseFileExecute();
        QLineEdit* Box = Form->FindModelName;
        Form->PageControl1->setCurrentIndex(TMainForm::ModelsTab);
        Box->setText("tree");
        Box->setFocus();
        Box->deselect();
        QTest::keyClick(Box, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(Box->selectedText(), QStringLiteral("tree"));
        Box->deselect();
        const std::unique_ptr<QMenu> Menu(Box->createStandardContextMenu());
        for (QAction* Item : Menu->actions())
            if (Item->text().startsWith("Select All"))
                Item->trigger();
        QCOMPARE(Box->selectedText(), QStringLiteral("tree"));
    }

    // Only the controls given a hint show one: the buttons bound to actions show none, and a
    // file name shows itself whole only where the label has shortened it, always as plain text.
    void hintsAndPlainFileNames() {
        Form->show();
        const QString Folder = PathOf("<b>old</b>");
        QVERIFY(QDir().mkpath(Folder));
        const QString Short = Folder + "/f.pd";
        const QString Long = Folder + '/' + QString(150, 'x') + ".pd";
        for (const QString& Path : {Short, Long})
            WriteFile(Path, Lines({"propdump version 3", Line3(1, "a")}));
        // What a hint shows the user, as text; empty when it shows none.
        for (const char* Name :
             {"SpeedButton1", "SpeedButton2", "SpeedButton4", "SpeedButton5", "ToolButton3"})
            QCOMPARE(HintAt(Form->findChild<QWidget*>(Name)), QString());
        QCOMPARE(HintAt(Form->SpeedButton3), QStringLiteral("Edit search criteria"));

        Open(Short);
        QCOMPARE(Form->FileName->textFormat(), Qt::PlainText);
        QCOMPARE(Form->FileName->text(), Short);
        QCOMPARE(HintAt(Form->FileName), QString());
        // Too long for the label: the whole path in the hint, in lines no wider than the
        // window, broken after the folder where it can be.
        Open(Long);
        QVERIFY(Form->FileName->text().contains(QChar(0x2026)));
        const QStringList HintLines = HintAt(Form->FileName).split('\n');
        QCOMPARE(HintLines.join(QString()), Long);
        QVERIFY2(HintLines.size() > 1 && HintLines.first().endsWith("</b>/"),
                 qPrintable(HintLines.join('|')));
        for (const QString& Line : HintLines)
            QVERIFY2(QFontMetrics(QToolTip::font()).horizontalAdvance(Line) <= Form->width(),
                     qPrintable(Line));
        QToolTip::hideText();
    }

    // The real message boxes show typed values, file names and errors as they are.
    void messageBoxesShowPlainText() {
        SetPlatform(nullptr);
        QStringList Shown;
        const auto AnswerNextBox = [&Shown] {
            QTimer::singleShot(0, [&Shown] {
                auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!Box)
                    return Shown.append("no box");
                Shown.append(QString::number(Box->textFormat()) + ' ' + Box->text());
                Box->buttons().first()->click();
            });
        };
        AnswerNextBox();
        Form->FindCitNum->setText("<b>12");
        Form->DoCitNumReplace->trigger();
        SetPlatform(Fake.get());
        QCOMPARE(Shown, QStringList({"0 '<b>12' is not a valid integer value."}));
    }

    // The one entry of "Files of type" lists every file, also when the user picks it again, and
    // picking it leaves a typed name alone.
    void fileDialogsListEveryFile() {
        QFileDialog Dialog(Form.get());
        Dialog.setAcceptMode(QFileDialog::AcceptSave);
        SetAllFilesFilter(Dialog);
        auto* Types = Dialog.findChild<QComboBox*>("fileTypeCombo");
        auto* Files = Dialog.findChild<QFileSystemModel*>();
        auto* Name = Dialog.findChild<QLineEdit*>("fileNameEdit");
        QVERIFY(Types && Files && Name);
        QCOMPARE(Types->count(), 1);
        QCOMPARE(Types->itemText(0), QStringLiteral("All Files (*.*)"));
        QVERIFY(QDir::match(Files->nameFilters(), "README"));
        Name->setText("out.pd");
        emit Types->activated(0);
        QVERIFY(QDir::match(Files->nameFilters(), "README"));
        QVERIFY(QDir::match(Files->nameFilters(), "a.b"));
        QCOMPARE(Name->text(), QStringLiteral("out.pd"));
    }

    void openCancelledChangesNothing() {
        Form->SearchResults->Append(TSearchResultsModel::MakeRow(1, "5", "d", "l", "m"));
        Click("OpenFile");
        QCOMPARE(Form->SearchResults->RowCount(), 1);
        QCOMPARE(Form->PropObjCount->text(), QString());
        QVERIFY(Fake->Log.isEmpty());
    }

    void openWithoutHeaderAsksForTheVersion() {
        const QString Path = PathOf("noheader.pd");
        QString Name, Caption, Label;
        QStringList Items;
        int Before = 0;
        int Chosen = 0;
        OpenHeaderless(Path, [&](TFrmSetVersion& Dialog) {
            Name = Dialog.objectName();
            Caption = Dialog.windowTitle();
            Label = Dialog.Label1->text();
            for (QAbstractButton* Item : Dialog.RadioItems->buttons())
                Items.append(Item->text());
            Before = Dialog.SelectedVersion();
            Dialog.RadioItems->button(1)->click();
            Chosen = Dialog.SelectedVersion();
            Dialog.OkButton->click();
            return Dialog.result();
        });
        QCOMPARE(Name, QStringLiteral("FrmSetVersion"));
        QCOMPARE(Caption, QStringLiteral("Ambiguous File Version"));
        QCOMPARE(Label, Path);
        QCOMPARE(Items, QStringList({"Version 2 (Zelk 2.x, 3.0-3.2)", "Version 3 (Zelk 3.3-3.6)",
                                     "Version 4 (Zelk 4.1)"}));
        QCOMPARE(Before, 1);
        QCOMPARE(Chosen, 3);
        QCOMPARE(Fake->Errors, QStringList());
        QCOMPARE(Form->Propdump.Count(), 2);
        QCOMPARE(Form->Propdump.Item(0).Owner, 11);
        QCOMPARE(Form->PropFileVer->text(), QStringLiteral("File version 3"));
        QCOMPARE(Rows(Form->CitNumList), QStringList({"11", "12"}));
        // The dialog's own sound when it shows, then the end of the busy bracket.
        QCOMPARE(Fake->Log,
                 QStringList({"cursor push", "sound Asterisk", "cursor pop", "sound Asterisk"}));

        // Never saved with a header, so reverting cannot tell the version.
        Fake->Reset();
        AnswerRevert(QMessageBox::Yes);
        QCOMPARE(Fake->Errors,
                 QStringList({"Cannot read \"noheader.pd\": Unknown propdump format."}));
        QCOMPARE(Form->Propdump.Count(), 2);

        // Saving writes the header; from then on Revert works.
        Fake->Reset();
        Click("SaveFile");
        QCOMPARE(ReadFile(Path),
                 Lines({"propdump version 3", Line3(11, "a.rwx"), Line3(12, "b.rwx")}));
        AnswerRevert(QMessageBox::Yes);
        QCOMPARE(Fake->Errors, QStringList());
        QCOMPARE(Form->Propdump.Count(), 2);
    }

    void versionDialogCancelOrNoChoiceKeepsThePreviousDocument() {
        const QString First = PathOf("first.pd");
        WriteFile(First, Lines({"propdump version 2", "4 0 0 0 0 0 3 0 0 one"}));
        Open(First);

        OpenHeaderless(PathOf("cancel.pd"), [](TFrmSetVersion& Dialog) {
            Dialog.CancelButton->click();
            return Dialog.result();
        });
        QCOMPARE(Fake->Errors, QStringList());
        QCOMPARE(Fake->Log,
                 QStringList({"cursor push", "sound Asterisk", "cursor pop", "sound Asterisk"}));
        QCOMPARE(Form->FileNameText(), First);
        QCOMPARE(Form->Propdump.Count(), 1);

        Fake->Reset();
        OpenHeaderless(PathOf("nochoice.pd"), [](TFrmSetVersion& Dialog) {
            Dialog.OkButton->click();
            return Dialog.result();
        });
        QCOMPARE(Fake->Errors,
                 QStringList({"Cannot read \"nochoice.pd\": '1' is not a known propdump file "
                              "version."}));
        QCOMPARE(Form->FileNameText(), First);
        QCOMPARE(Form->Propdump.FileName, First.toStdString());
        QCOMPARE(Form->Propdump.Count(), 1);
        QCOMPARE(Form->PropFileVer->text(), QStringLiteral("File version 2"));
    }

    void brokenFileShowsTheLineAndKeepsThePreviousDocument() {
        const QString Good = PathOf("good.pd");
        WriteFile(Good, Lines({"propdump version 3", Line3(1, "a"), Line3(2, "b")}));
        Open(Good);
        const QString Broken = PathOf("broken.pd");
        WriteFile(Broken, Lines({"propdump version 3", Line3(1, "a"), Line3(2, "b"), "garbage"}));

        Fake->OpenFileAnswers.enqueue(Broken);
        Click("OpenFile");

        // Cursor back and the sound first, then the error.
        QCOMPARE(Fake->Log, QStringList({"cursor push", "cursor pop", "sound Asterisk",
                                         "error Cannot read \"broken.pd\", line 4: Line "
                                         "format not understood."}));
        QCOMPARE(Fake->CursorDepth, 0);
        QCOMPARE(Form->FileNameText(), Good);
        QCOMPARE(Form->Propdump.FileName, Good.toStdString());
        QCOMPARE(Form->Propdump.Count(), 2);
        QCOMPARE(Form->PropObjCount->text(), QStringLiteral("Objects in propdump: 2"));
        for (const QString& Name : FileActions)
            QVERIFY2(EnabledActions().contains(Name), qPrintable(Name));
    }

    void closeWithAndWithoutDocument() {
        Form->CloseFile->trigger(); // disabled without a document
        QVERIFY(Fake->Log.isEmpty());
        // From code, too, Close without a document does nothing.
        Form->CloseFileExecute();
        QVERIFY(Fake->Log.isEmpty());

        const QString Path = PathOf("c.pd");
        WriteFile(Path, Lines({"propdump version 3", Line3(1, "a")}));
        Open(Path);
        Form->SearchResults->Append(TSearchResultsModel::MakeRow(1, "1", "d", "l", "a"));
        Click("CloseFile");

        VerifyNoDocumentShown();
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(Form->SearchResults->RowCount(), 0);
        for (const QString& Name : FileActions)
            QVERIFY2(!EnabledActions().contains(Name), qPrintable(Name));
        // Clearing the results sounds once, the bracket once more.
        QCOMPARE(Fake->Log,
                 QStringList({"cursor push", "sound Asterisk", "cursor pop", "sound Asterisk"}));
    }

    void revert() {
        Form->RevertFileExecute();
        QVERIFY(Fake->Log.isEmpty());

        const QString Path = PathOf("r.pd");
        WriteFile(Path, Lines({"propdump version 3", Line3(1, "a")}));
        Open(Path);
        WriteFile(Path, Lines({"propdump version 3", Line3(1, "a"), Line3(2, "b")}));

        AnswerRevert(QMessageBox::No);
        QCOMPARE(Fake->Messages.size(), 1);
        QCOMPARE(Fake->Messages.first().Text,
                 QStringLiteral("Do you want to reload the propdump file?"));
        QCOMPARE(Fake->Messages.first().Type, TMsgDlgType::Confirmation);
        QCOMPARE(Fake->Messages.first().Buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(Fake->Sounds, QList<TSoundKind>({TSoundKind::Question}));
        QCOMPARE(Form->Propdump.Count(), 1);

        Fake->Reset();
        AnswerRevert(QMessageBox::Yes);
        QCOMPARE(Form->Propdump.Count(), 2);
        QCOMPARE(Form->PropObjCount->text(), QStringLiteral("Objects in propdump: 2"));
        QCOMPARE(Fake->Sounds, QList<TSoundKind>({TSoundKind::Question, TSoundKind::Asterisk}));
    }

    void saveAndSaveAs() {
        const QString Path = PathOf("s.pd");
        WriteFile(Path, Lines({"propdump version 3", Line3(1, "a"), Line3(2, "b")}));
        Open(Path);
        Form->Propdump.Item(0).Owner = 42;

        Click("SaveFile");
        QCOMPARE(ReadFile(Path), Lines({"propdump version 3", Line3(42, "a"), Line3(2, "b")}));
        QCOMPARE(Fake->Log, QStringList({"sound Asterisk"}));

        // Save as a new name: written there, and later commands use that name.
        Fake->Reset();
        const QString Copy = PathOf("copy.pd");
        Fake->SaveFileAnswers.enqueue(Copy);
        Click("SaveFileAs");
        QCOMPARE(ReadFile(Copy), ReadFile(Path));
        QCOMPARE(Form->FileNameText(), Copy);
        QCOMPARE(Fake->Log, QStringList({"sound Asterisk"}));
        Form->Propdump.Item(1).Owner = 43;
        Click("SaveFile");
        QCOMPARE(ReadFile(Copy), Lines({"propdump version 3", Line3(42, "a"), Line3(43, "b")}));
        QCOMPARE(ReadFile(Path), Lines({"propdump version 3", Line3(42, "a"), Line3(2, "b")}));
        WriteFile(Copy, Lines({"propdump version 3", Line3(9, "z")}));
        AnswerRevert(QMessageBox::Yes);
        QCOMPARE(Form->Propdump.Item(0).Owner, 9);

        // A save that fails names the file it did write, not the one it could not.
        Fake->Reset();
        Fake->SaveFileAnswers.enqueue(PathOf("missing-folder/out.pd"));
        Click("SaveFileAs");
        QCOMPARE(Fake->Errors.size(), 1);
        QVERIFY(!Fake->Sounds.contains(TSoundKind::Asterisk));
        QCOMPARE(Form->FileNameText(), Copy);
        QCOMPARE(Form->FileName->text(), Copy);
        QCOMPARE(Form->Propdump.FileName, Copy.toStdString());
        QVERIFY(!QFile::exists(PathOf("missing-folder/out.pd")));
    }

    void errorDisplayText_data() {
        QTest::addColumn<QString>("Message");
        QTest::addColumn<int>("Line");
        QTest::addColumn<QString>("Shown");
        QTest::newRow("plain") << "File contains no data" << 0 << "File contains no data.";
        QTest::newRow("full stop") << "Done." << 0 << "Done.";
        QTest::newRow("sorts before") << "Stop!" << 0 << "Stop!";
        QTest::newRow("bracket") << "a (b)" << 0 << "a (b)";
        QTest::newRow("sorts after") << "Why?" << 0 << "Why?.";
        QTest::newRow("empty") << "" << 0 << "";
        QTest::newRow("line") << "Line format not understood" << 17
                              << "Line format not understood (line 17).";
    }
    void errorDisplayText() {
        QFETCH(QString, Message);
        QFETCH(int, Line);
        QFETCH(QString, Shown);
        QCOMPARE(ErrorDisplayText(Message, Line), Shown);
    }

    // A load error names the file without its folder, and its line with thousands separators.
    void loadErrorNamesTheFile() {
        const auto Shown = [](const std::exception& Error, bool WithLine = true) {
            return ErrorDisplayText(LoadErrorText("/data/worlds/world.pd", Error, WithLine));
        };
        QCOMPARE(Shown(EPropdumpError("Line format not understood", 1000002)),
                 "Cannot read \"world.pd\", line 1,000,002: Line format not understood.");
        QCOMPARE(Shown(EPropdumpError("'1' is not a known propdump file version", 1), false),
                 "Cannot read \"world.pd\": '1' is not a known propdump file version.");
        QCOMPARE(Shown(std::system_error(ENOENT, std::generic_category(),
                                         "Cannot open file \"/data/worlds/world.pd\"")),
                 "Cannot read \"world.pd\": No such file or directory.");
    }

    void commandWrapperShowsEveryError() {
        RunCommand(nullptr, [] { throw EPropdumpError("Line format not understood", 3); });
        RunCommand(nullptr, [] { throw std::runtime_error("caf\xE9 is closed"); });
        RunCommand(nullptr, [] { throw std::runtime_error("caf\xC3\xA9 is open"); });
        RunCommand(nullptr, [] { throw 42; });
        RunCommand(nullptr, [] {});
        QCOMPARE(Fake->Errors,
                 QStringList({"Line format not understood (line 3).",
                              QString::fromUtf8("café is closed."),
                              QString::fromUtf8("café is open."), "Unexpected error."}));
    }

    void countsUseTheLocaleSeparator() {
        QCOMPARE(FormatCount(0), QStringLiteral("0"));
        QCOMPARE(FormatCount(999), QStringLiteral("999"));
        QCOMPARE(FormatCount(12345), QStringLiteral("12,345"));
        QCOMPARE(FormatCount(-1234567), QStringLiteral("-1,234,567"));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QString German = FormatCount(1234);
        QLocale::setDefault(QLocale::c());
        QCOMPARE(German, QStringLiteral("1.234"));
    }

    void clearSearchResults() {
        Form->SearchResults->Append(TSearchResultsModel::MakeRow(2, "5", "d", "l", "m"));
        Form->GroupBox3->setTitle("Results: 1");
        Form->ProgressBar1->setValue(50);
        Form->DeleteSearchResults->setEnabled(true);

        Form->DoSearch->setEnabled(false); // a search is running
        Form->ClearSearchResults->trigger();
        QCOMPARE(Form->SearchResults->RowCount(), 1);

        Form->DoSearch->setEnabled(true);
        Click("ClearSearchResults");
        QCOMPARE(Form->SearchResults->RowCount(), 0);
        QCOMPARE(Form->GroupBox3->title(), QStringLiteral("Results: 0"));
        QCOMPARE(Form->ProgressBar1->value(), 0);
        QVERIFY(Form->DeleteSearchResults->isEnabled());
        Click("ClearSearchResults");
        QCOMPARE(Fake->Sounds, QList<TSoundKind>({TSoundKind::Asterisk}));
    }

    void searchResultsModel() {
        TSearchResultsModel Model;
        QAbstractItemModelTester Tester(&Model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        Model.Append(TSearchResultsModel::MakeRow(3, "-5", "01 Jan 2001", "1N 2W", "tree\x1d.rwx"));
        Model.SetRows({TSearchResultsModel::MakeRow(7, "1", "d", "l", ""),
                       TSearchResultsModel::MakeRow(9, "2", "e", "k", "m")});
        QCOMPARE(Model.RowCount(), 2);
        QCOMPARE(Model.Position(1), 9);
        QCOMPARE(Model.data(Model.index(1, 0)).toString(), QStringLiteral("9"));
        QCOMPARE(Model.data(Model.index(1, 3)).toString(), QStringLiteral("k"));
        QCOMPARE(Model.data(Model.index(0, 4)).toString(), QString());
        Model.Clear();
        Model.Append(TSearchResultsModel::MakeRow(3, "-5", "01 Jan 2001", "1N 2W", "tree\x1d.rwx"));
        QStringList Cells;
        for (int Column = 0; Column < Model.columnCount(); ++Column)
            Cells.append(Model.data(Model.index(0, Column)).toString());
        QCOMPARE(Cells, QStringList({"3", "-5", "01 Jan 2001", "1N 2W", "tree\x1d.rwx"}));
        QCOMPARE(Form->ListView2->model(), Form->SearchResults);
        QCOMPARE(Form->ListView2->header()->sectionSize(3), 175);
    }

    void suspendedActionsDoNothing() {
        const QString Path = PathOf("a.pd");
        WriteFile(Path, Lines({"propdump version 3", Line3(1, "a")}));
        Fake->OpenFileAnswers.enqueue(Path);
        {
            TActionList::TSuspendGuard Outer(*Form->ActionList1);
            { TActionList::TSuspendGuard Inner(*Form->ActionList1); }
            Form->OpenFile->trigger();
            QVERIFY(!Form->ActionList1->Execute("OpenFile"));
            QCOMPARE(Fake->OpenFileAnswers.size(), 1);
        }
        QVERIFY(!Form->ActionList1->Execute("SaveFile")); // disabled
        QVERIFY(Form->ActionList1->Execute("OpenFile"));
        QCOMPARE(Fake->OpenFileAnswers.size(), 0);
        QCOMPARE(Form->Propdump.Count(), 1);
    }

    // A button whose action was never bound does nothing when clicked; binding anything but an
    // action of the list is refused at once rather than leaving one.
    void everyActionIsBound() {
        // The window's keys are its commands: every one of them is an action of the list.
        QCOMPARE(Form->ActionList1->Actions(), Form->actions());
        QStringList Unbound;
        for (QAction* Action : Form->ActionList1->Actions())
            if (!Form->ActionList1->HasHandler(Action))
                Unbound << Action->objectName();
        QCOMPARE(Unbound, QStringList());
        QAction Foreign;
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument,
                                 Form->ActionList1->SetHandler(&Foreign, [] {}));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument,
                                 Form->ActionList1->SetHandler(nullptr, [] {}));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument,
                                 Form->ActionList1->SetHandler(Form->OpenFile, {}));
    }

    // The refresh lets the window paint once; a command started right then must not change
    // the document half-way through the refresh.
    void refreshIgnoresCommandsWhileItPaints() {
        const QString Path = PathOf("p.pd");
        WriteFile(Path, Lines({"propdump version 3", Line3(1, "a")}));
        Open(Path);
        Fake->OnProcessEvents = [&] { Form->CloseFile->trigger(); };
        AnswerRevert(QMessageBox::Yes);
        QCOMPARE(Form->Propdump.FileName, Path.toStdString());
        QCOMPARE(Form->PropObjCount->text(), QStringLiteral("Objects in propdump: 1"));
        QVERIFY(Form->CloseFile->isEnabled());
    }

    void longLoopYieldsByTimeAndShowsExactProgress() {
        {
            TLongLoop Loop(*Form, 1000);
            for (int Index = 0; Index < 1000; ++Index)
                QVERIFY(Loop.Step());
            Loop.Finish();
            // A fast walk does not stop at every item.
            QVERIFY(Fake->ProcessEventsCalls <= 2);
            QCOMPARE(Form->ProgressBar1->value(), Form->ProgressBar1->maximum());
        }

        TLongLoop::SetYieldInterval(0);
        QList<int> Seen;
        Fake->OnProcessEvents = [&] {
            Seen.append(Form->ProgressBar1->value());
            // Nothing may start while the walk runs.
            QVERIFY(!Form->ActionList1->Execute("OpenFile"));
        };
        {
            TLongLoop Loop(*Form, 3);
            while (Loop.Done() < 3)
                QVERIFY(Loop.Step());
            QCOMPARE(Form->ProgressBar1->maximum(), 3);
        }
        QCOMPARE(Seen, QList<int>({1, 2, 3}));
        QVERIFY(!Form->ActionList1->IsSuspended());
    }

    void closingDuringALongLoopStopsItFirst() {
        Form->show();
        {
            TLongLoop Loop(*Form, 5);
            QVERIFY(Loop.Step());
            QVERIFY(!Form->close());
            QVERIFY(Form->isVisible());
            QVERIFY(Fake->IsShuttingDown());
            QVERIFY(!Loop.Step());
        }
        QTRY_VERIFY(!Form->isVisible());
    }
};

QTEST_MAIN(MainFormTest)
#include "MainFormTest.moc"
