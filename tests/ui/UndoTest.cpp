#include "support/FakePlatform.h"
#include "support/WaitForIdle.h"

#include "ui/LongLoop.h"
#include "ui/SearchResultsModel.h"
#include "ui/uFrmImport.h"
#include "ui/uFrmMove.h"
#include "ui/uFrmObject.h"
#include "ui/uMainForm.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

// Every field of every object in document order, as the file would hold them, and the marks.
QStringList Lines(const TPropdumpFile& Document) {
    QStringList Result;
    for (const TPropObject& Object : Document.Objects)
        Result << QString::fromLatin1(Object.FormatLine(4)) +
                      (Object.MarkedForDeletion ? "  marked" : "");
    return Result;
}

QStringList Rows(const QListView* List) {
    return qobject_cast<const QStringListModel*>(List->model())->stringList();
}

// 1,234 objects: owners 5, 7 and 9 in turn, model names that every bulk edit changes.
std::vector<TPropObject> Objects() {
    const char* const Models[] = {"tree", "TREE.RWX", "bush.rwx", "Tree.rwx"};
    std::vector<TPropObject> Result(1234);
    for (std::size_t i = 0; i < Result.size(); ++i) {
        Result[i].Owner = static_cast<int32_t>(5 + 2 * (i % 3));
        Result[i].Timestamp = static_cast<int32_t>(1000000000 + i);
        Result[i].Model = Models[i % 4];
        Result[i].Description = "for sale";
    }
    return Result;
}

} // namespace

class UndoTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FakePlatform> Fake;
    std::unique_ptr<TMainForm> Form;

    void Load() {
        Form->Propdump.Objects = Objects();
        Form->Propdump.FileName = "undo.pd";
        Form->Propdump.Version = 4;
        Form->ClearHistory();
        Form->RefreshViews();
        Fake->Reset();
    }

    void Click(QAction* Action) {
        QVERIFY2(Action->isEnabled(), qPrintable(Action->objectName()));
        Action->trigger();
        QVERIFY(WaitUntilIdle(*Form));
        QVERIFY2(Fake->Errors.isEmpty(), qPrintable(Fake->Errors.join('\n')));
    }

    // The Edit menu's two items as the user reads them.
    QStringList Menu() const {
        QStringList Items;
        for (const char* Name : {"Undo1", "Redo1"}) {
            const auto* Item = Form->findChild<QAction*>(Name);
            // The item carries its shortcut, which the menu shows after the caption.
            Items << (Item->isEnabled() ? "" : "(off) ") + Item->text() + '\t' +
                         Item->shortcut().toString();
        }
        return Items;
    }

    void Search(const std::string& Owners) {
        Form->SearchCriteria = TSearchCriteria();
        Form->SearchCriteria.Fields.Set(sfCitNums, true);
        Form->SearchCriteria.CitNumsText = Owners;
        Click(Form->DoSearch);
    }

    void Confirmed(QAction* Action) {
        Fake->MessageAnswers.enqueue(QMessageBox::Yes);
        Click(Action);
    }

    void Replace(QLineEdit* Find, QLineEdit* Replacement, const QString& From, const QString& To,
                 QAction* Action) {
        Find->setText(From);
        Replacement->setText(To);
        Click(Action);
    }

    // The found objects through "Move...", by Offset, or copied there.
    void MoveFound(const QString& Offset, bool Copy) {
        Fake->ModalHandlers.enqueue([Offset, Copy](QDialog& Dialog) {
            auto* Frm = qobject_cast<TFrmMove*>(&Dialog);
            Frm->OffsetEdit->setText(Offset);
            Frm->CopyCheck->setChecked(Copy);
            Frm->OkButton->click();
            return Frm->result();
        });
        Confirmed(Form->MoveSearchResults);
    }

    // Every object of a file of three, through File > "Import objects...".
    void Import() {
        QTemporaryDir Dir;
        QFile Other(Dir.filePath("other.pd"));
        QVERIFY(Other.open(QIODevice::WriteOnly));
        Other.write("propdump version 4\r\n"
                    "5 1 2 3 4 5 0 0 0 4 0 0 0 rock\r\n"
                    "6 1 2 3 4 5 0 0 0 4 0 0 0 moss\r\n"
                    "7 1 2 3 4 5 0 0 0 4 0 0 0 pond\r\n");
        Other.close();
        Fake->OpenFileAnswers.enqueue(Other.fileName());
        Fake->ModalHandlers.enqueue([](QDialog& Dialog) {
            qobject_cast<TFrmImport*>(&Dialog)->OkButton->click();
            return Dialog.result();
        });
        Click(Form->ImportObjects);
    }

    // The object at Position through the editor, with a new owner typed in.
    void EditOwner(int Position, const QString& Owner) {
        Fake->ModalHandlers.enqueue([this, Owner](QDialog& Dialog) {
            auto* Frm = qobject_cast<TFrmObject*>(&Dialog);
            Frm->Edit3->selectAll();
            QTest::keyClicks(Frm->Edit3, Owner);
            Fake->MessageAnswers.enqueue(QMessageBox::Yes);
            Frm->OkButton->click();
            return Frm->result();
        });
        Form->EditObject(Form->Propdump.Item(Position), false);
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void init() {
        Fake = std::make_unique<FakePlatform>();
        Form = std::make_unique<TMainForm>();
    }

    void cleanup() {
        Form.reset();
        Fake.reset();
        TLongLoop::SetYieldInterval(25);
    }

    // Each change, undone and redone through the menu: the document as it was and as the change
    // left it, the views refreshed as the change itself refreshed them, the names in the menu.
    // Objects that come back or go away take the search results with them: their "#" would no
    // longer name the objects found.
    void everyChangeComesBackAndGoesAgain() {
        const struct {
            QString Name;
            std::function<void()> Change;
            bool Refreshes;
        } Cases[] = {
            {"Edit of object 17", [this] { EditOwner(16, "77"); }, false},
            {"Delete of 411 found objects",
             [this] {
                 Search("7");
                 Confirmed(Form->DeleteSearchResults);
             },
             true},
            {"Citizen number replacement (1,234 objects)",
             [this] {
                 Replace(Form->FindCitNum, Form->ReplaceCitNum, "-1", "77", Form->DoCitNumReplace);
             },
             true},
            {"Model replacement (617 objects)",
             [this] {
                 Replace(Form->FindModelName, Form->ReplaceModelName, "tree.rwx", "shrub",
                         Form->ReplaceModels);
             },
             true},
            {"Normalize", [this] { Confirmed(Form->NormalizeModels); }, true},
            {"Denormalize", [this] { Confirmed(Form->DenormalizeModels); }, true},
            {"Move of 411 objects",
             [this] {
                 Search("7");
                 MoveFound("2N 1W", false);
             },
             true},
            {"Copy of 411 objects",
             [this] {
                 Search("7");
                 MoveFound("", true);
             },
             true},
            {"Import of 3 objects", [this] { Import(); }, true},
        };
        const QString Off = "(off) &Undo\tCtrl+Z", RedoOff = "(off) &Redo\tCtrl+Y";
        for (const auto& Case : Cases) {
            Load();
            QCOMPARE(Menu(), QStringList({Off, RedoOff}));
            const QStringList Before = Lines(Form->Propdump);
            const QStringList OwnersBefore = Rows(Form->CitNumList);
            Case.Change();
            const QStringList After = Lines(Form->Propdump);
            const QStringList OwnersAfter = Rows(Form->CitNumList);
            QVERIFY2(After != Before, qPrintable(Case.Name));
            QCOMPARE(Menu(), QStringList({"&Undo " + Case.Name + "\tCtrl+Z", RedoOff}));

            Search("5,77");
            Form->PageControl1->setCurrentIndex(TMainForm::SearchTab);
            const int Found = Form->SearchResults->RowCount();
            const bool Positions = Case.Name.startsWith("Delete") || Case.Name.startsWith("Copy") ||
                                   Case.Name.startsWith("Import");
            QSignalSpy Changed(Form.get(), &TMainForm::DocumentChanged);
            QSignalSpy Counted(Form.get(), &TMainForm::ListBox1CountChanged);
            Click(Form->EditUndo);
            QCOMPARE(Lines(Form->Propdump), Before);
            QCOMPARE(Menu(), QStringList({Off, "&Redo " + Case.Name + "\tCtrl+Y"}));
            QCOMPARE(Changed.size(), 1);
            // A refresh rebuilds the lists and shows the objects; a repaint leaves them be.
            QCOMPARE(Counted.size(), Case.Refreshes ? 1 : 0);
            QCOMPARE(Rows(Form->CitNumList), Case.Refreshes ? OwnersBefore : OwnersAfter);
            QCOMPARE(Form->PageControl1->currentIndex(),
                     Case.Refreshes ? TMainForm::ObjectsTab : TMainForm::SearchTab);
            QCOMPARE(Form->SearchResults->RowCount(), Positions ? 0 : Found);
            QCOMPARE(Form->DeleteSearchResults->isEnabled(), !Positions);

            Click(Form->EditRedo);
            QCOMPARE(Lines(Form->Propdump), After);
            QCOMPARE(Rows(Form->CitNumList), OwnersAfter);
            QCOMPARE(Menu(), QStringList({"&Undo " + Case.Name + "\tCtrl+Z", RedoOff}));
            QCOMPARE(Changed.size(), 2);
        }
        // A new change ends the redoing.
        Click(Form->EditUndo);
        Confirmed(Form->NormalizeModels);
        QCOMPARE(Menu(), QStringList({"&Undo Normalize\tCtrl+Z", RedoOff}));
    }

    // Open, Close and Revert start a new history; Save and Save as keep it.
    void aNewDocumentStartsANewHistory() {
        QTemporaryDir Dir;
        const QString Path = Dir.filePath("a.pd");
        QFile File(Path);
        QVERIFY(File.open(QIODevice::WriteOnly));
        File.write("propdump version 3\r\n5 1000000000 0 0 0 0 0 0 4 0 0 tree\r\n");
        File.close();
        int Owner = 100;
        // A change, then Command: does the history still hold the change?
        auto Kept = [&](QAction* Command, QMessageBox::StandardButton Answer) {
            Replace(Form->FindCitNum, Form->ReplaceCitNum, "-1", QString::number(++Owner),
                    Form->DoCitNumReplace);
            Fake->Reset();
            Fake->OpenFileAnswers.enqueue(Path);
            Fake->SaveFileAnswers.enqueue(Dir.filePath("b.pd"));
            Fake->MessageAnswers.enqueue(Answer);
            Click(Command);
            return Form->EditUndo->isEnabled() || Form->EditRedo->isEnabled();
        };
        Fake->OpenFileAnswers.enqueue(Path);
        Click(Form->OpenFile);
        QVERIFY(Kept(Form->SaveFile, QMessageBox::NoButton));
        QVERIFY(Kept(Form->SaveFileAs, QMessageBox::NoButton));
        QVERIFY(Kept(Form->RevertFile, QMessageBox::No));
        QVERIFY(!Kept(Form->RevertFile, QMessageBox::Yes));
        QVERIFY(!Kept(Form->OpenFile, QMessageBox::Discard));
        QVERIFY(!Kept(Form->CloseFile, QMessageBox::Discard));
    }

    // A change whose step the history cannot keep is announced before it runs: No changes
    // nothing, Yes makes the change without a step, and the Edit menu then says that earlier
    // changes cannot be undone. Dropping the oldest steps to make room is said there too.
    void aChangeTheHistoryCannotKeepIsAnnouncedFirst() {
        const struct {
            const char* Name;
            bool Confirms; // the command's own question comes first
            std::function<void()> Change;
        } Cases[] = {
            {"delete", true,
             [this] {
                 Search("7");
                 Click(Form->DeleteSearchResults);
             }},
            {"citizen number", false,
             [this] {
                 Replace(Form->FindCitNum, Form->ReplaceCitNum, "-1", "77", Form->DoCitNumReplace);
             }},
        };
        for (const auto& Case : Cases) {
            for (const bool Continue : {false, true}) {
                Load();
                Form->UndoHistory.SetLimit(1024);
                EditOwner(16, "77");
                const QStringList Before = Lines(Form->Propdump);
                Fake->Reset();
                if (Case.Confirms)
                    Fake->MessageAnswers.enqueue(QMessageBox::Yes);
                Fake->MessageAnswers.enqueue(Continue ? QMessageBox::Yes : QMessageBox::No);
                Case.Change();
                const auto Asked =
                    std::find_if(Fake->Messages.begin(), Fake->Messages.end(), [](const auto& M) {
                        return M.Text == "This change cannot be undone. Continue?";
                    });
                QVERIFY2(Asked != Fake->Messages.end(), Case.Name);
                QCOMPARE(Asked->Buttons, QMessageBox::Yes | QMessageBox::No);
                QCOMPARE(Asked->Default, QMessageBox::No);
                QCOMPARE(Asked->Type, TMsgDlgType::Warning);
                QCOMPARE(Lines(Form->Propdump) != Before, Continue);
                QCOMPARE(Form->EditUndo->text(), Continue
                                                     ? QStringLiteral("&Undo")
                                                     : QStringLiteral("&Undo Edit of object 17"));
                QCOMPARE(Form->EditUndoLimit->isVisible(), Continue);
                if (Continue)
                    QCOMPARE(Form->EditUndoLimit->text(),
                             QStringLiteral("Earlier changes cannot be undone"));
                if (Case.Confirms)
                    QCOMPARE(Form->SearchResults->RowCount(), Continue ? 0 : 410);
            }
        }

        // Room for one object edit: the second drops the first, and the menu says so.
        Load();
        EditOwner(16, "77");
        Form->UndoHistory.SetLimit(Form->UndoHistory.Bytes());
        QVERIFY(!Form->EditUndoLimit->isVisible());
        EditOwner(17, "78");
        QCOMPARE(Menu().first(), QStringLiteral("&Undo Edit of object 18\tCtrl+Z"));
        QVERIFY(Form->EditUndoLimit->isVisible());
        QVERIFY(Form->Edit1->actions().contains(Form->EditUndoLimit));
        QCOMPARE(Form->EditUndoLimit->text(), QStringLiteral("Only the last change can be undone"));
        Click(Form->EditUndo);
        QCOMPARE(Form->EditUndoLimit->text(), QStringLiteral("Earlier changes cannot be undone"));
        QVERIFY(Form->HasUnsavedChanges());
    }

    // Keys pressed for real: in a text box they take back the typing, elsewhere the change; while
    // a long command runs, neither the keys nor the menu do anything.
    void keysUndoTheTypingInATextBoxAndTheDocumentElsewhere() {
        Load();
        Form->show();
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
        const QStringList Before = Lines(Form->Propdump);
        Confirmed(Form->NormalizeModels);
        const QStringList After = Lines(Form->Propdump);

        Form->PageControl1->setCurrentIndex(TMainForm::ModelsTab);
        QLineEdit* Box = Form->FindModelName;
        Box->setFocus();
        QTest::keyClicks(Box, "abc");
        QTest::keyClick(Box, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Box->text(), QString());
        QTest::keyClick(Box, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(Box->text(), QStringLiteral("abc"));
        QTest::keyClick(Box, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(Box, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(Box->text(), QStringLiteral("abc"));
        QCOMPARE(Lines(Form->Propdump), After);

        Form->PageControl1->setCurrentIndex(TMainForm::ObjectsTab);
        QWidget* List = Form->ListBox1;
        List->setFocus();
        QTest::keyClick(List, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Lines(Form->Propdump), Before);
        QTest::keyClick(List, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(Lines(Form->Propdump), After);
        QTest::keyClick(List, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(List, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(Lines(Form->Propdump), After);

        TLongLoop::SetYieldInterval(0);
        bool Tried = false;
        Fake->OnProcessEvents = [&] {
            if (Tried || !Form->LongLoopRunning())
                return;
            Tried = true;
            Form->EditUndo->trigger();
            QTest::keyClick(List, Qt::Key_Z, Qt::ControlModifier);
        };
        Replace(Form->FindCitNum, Form->ReplaceCitNum, "5", "6", Form->DoCitNumReplace);
        QVERIFY(Tried);
        QCOMPARE(Form->EditUndo->text(),
                 QStringLiteral("&Undo Citizen number replacement (412 objects)"));
        Click(Form->EditUndo);
        QCOMPARE(Lines(Form->Propdump), After);
    }
};

QTEST_MAIN(UndoTest)
#include "UndoTest.moc"
