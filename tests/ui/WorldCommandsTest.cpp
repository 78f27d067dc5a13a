// The window's moves, imports and comparisons where they refuse or say something: the dialogs'
// refusals, which leave the dialog open on the field to mend and the document as it was, the
// questions before a change, and the summary line that says where the results come from. What
// the commands write is checked against the tool in tests/cli/ToolVsWindowTest.cpp.

#include "support/FakePlatform.h"

#include "ui/SearchResultsModel.h"
#include "ui/uFrmImport.h"
#include "ui/uFrmMove.h"
#include "ui/uMainForm.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>
#include <functional>
#include <memory>

namespace {

TPropObject At(int32_t Owner, int32_t X, int32_t Z) {
    TPropObject Object;
    Object.Owner = Owner;
    Object.X = X;
    Object.Z = Z;
    Object.Model = "tree";
    return Object;
}

QStringList Lines(const TPropdumpFile& Document) {
    QStringList Result;
    for (const TPropObject& Object : Document.Objects)
        Result << QString::fromLatin1(Object.FormatLine(4));
    return Result;
}

} // namespace

class WorldCommandsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FakePlatform> Fake;
    std::unique_ptr<TMainForm> Form;
    QTemporaryDir Dir;

    // Three objects of owner 5, the last at the world's eastern edge, and one of owner 6.
    void Load() {
        Form->Propdump.Objects = {At(5, 1000, 2000), At(5, -3000, 0), At(5, INT32_MIN + 500, 0),
                                  At(6, 0, 0)};
        Form->Propdump.FileName = "world.pd";
        Form->Propdump.Version = 4;
        Form->ClearHistory();
        Form->RefreshViews();
        Form->SearchCriteria = TSearchCriteria();
        Form->SearchCriteria.Fields.Set(sfCitNums, true);
        Form->SearchCriteria.CitNumsText = "5";
        Form->DoSearch->trigger();
        Fake->Reset();
    }

    QString Write(const char* Name, const QByteArray& Content) {
        QFile File(Dir.filePath(QString::fromLatin1(Name)));
        [&] { QVERIFY(File.open(QIODevice::WriteOnly)); }();
        File.write(Content);
        return File.fileName();
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void init() {
        Fake = std::make_unique<FakePlatform>();
        Form = std::make_unique<TMainForm>();
        Load();
    }

    void cleanup() {
        Form.reset();
        Fake.reset();
    }

    // OK with a text that cannot be used shows why, gives its field the focus and keeps the
    // dialog open; nothing moves until Cancel, and nothing then.
    void theMoveDialogRefusesWhatCannotBeDone() {
        const struct {
            const char* Offset;
            const char* Turn;
            const char* Centre; // null: the middle the dialog shows
            const char* Error;
            const char* Field;
        } Cases[] = {
            {"12X 3W", "", nullptr, "'12X 3W' is not a position such as \"12.5N 7W\"",
             "OffsetEdit"},
            {"", "ninety", nullptr,
             "'ninety' is not an angle in degrees with at most one decimal, such as \"90\" or "
             "\"-12.5\"",
             "TurnEdit"},
            {"", "90", "", "'' is not a position such as \"12.5N 7W\"", "CentreEdit"},
            {"", "360", nullptr, "Nothing would move: type an offset, an angle or both.",
             "OffsetEdit"},
            {"0N 1E", "", nullptr,
             "Object 3 would leave the world's coordinate range: its X would be -2147484148, "
             "which a propdump file cannot hold; nothing was changed.",
             "OffsetEdit"},
        };
        const QStringList Before = Lines(Form->Propdump);
        for (const auto& Case : Cases) {
            Fake->Reset();
            QString Focused, Centre;
            bool StayedOpen = false;
            Fake->ModalHandlers.enqueue([&](QDialog& Dialog) {
                auto& Frm = static_cast<TFrmMove&>(Dialog);
                Centre = Frm.CentreEdit->text();
                Frm.OffsetEdit->setText(Case.Offset);
                Frm.TurnEdit->setText(Case.Turn);
                if (Case.Centre)
                    Frm.CentreEdit->setText(Case.Centre);
                Frm.OkButton->click();
                Focused = Frm.focusWidget() ? Frm.focusWidget()->objectName() : QString();
                StayedOpen = Frm.result() != QDialog::Accepted;
                Frm.CancelButton->click();
                return Frm.result();
            });
            Form->MoveSearchResults->trigger();
            // At first the middle of the found objects' extent.
            QCOMPARE(Centre, QStringLiteral("1N 1073741.074E"));
            QCOMPARE(Fake->Errors, QStringList(Case.Error));
            QCOMPARE(Focused, QString::fromLatin1(Case.Field));
            QVERIFY(StayedOpen);
            QVERIFY(Fake->Messages.isEmpty());
            QCOMPARE(Lines(Form->Propdump), Before);
            QVERIFY(!Form->EditUndo->isEnabled());
        }
    }

    // The question names the count and what happens; No changes nothing. The results then are
    // the objects moved, or the copies, which the summary says.
    void aMoveAsksFirstAndListsWhatItMoved() {
        QVERIFY(Form->MoveSearchResults->isEnabled());
        TMoveChoice Copy{{1000, 0, 0}, 900, 0, 0, true};
        Fake->MessageAnswers << QMessageBox::No << QMessageBox::Yes;
        Form->MoveFoundObjects(Copy);
        QCOMPARE(Fake->Messages.first().Text,
                 QStringLiteral("The 3 found objects will now be copied, the copies turned by 90 "
                                "degrees about 0N 0W, then moved by 0N 1W.\r\rIs this what you "
                                "wanted to do?"));
        QCOMPARE(Form->Propdump.Count(), 4);
        // The copies are no longer what an area search finds: Search runs the criteria again.
        Form->SearchArea = TAreaSearch{TMapArea::FromCorners(-1, -1, 1, 1), true};
        Form->MoveFoundObjects(Copy);
        QVERIFY(!Form->SearchArea);
        QCOMPARE(Form->Propdump.Count(), 7);
        QCOMPARE(Form->SearchResults->Position(0), 5);
        QCOMPARE(Form->ListBox2->item(0)->text(), QStringLiteral("Copies of 3 found objects"));

        Form->ClearSearchResults->trigger();
        QCOMPARE(Form->ListBox2->item(0)->text(), QStringLiteral("Include cit#s: 5"));
        QVERIFY(!Form->MoveSearchResults->isEnabled());
    }

    // An offset the dialog cannot read keeps it open; an offset that would take an imported
    // object out of range refuses the import; an import that finds nothing to bring says so.
    // None of them changes the document.
    void anImportRefusesWhatCannotBeDone() {
        const QString Other =
            Write("other.pd", "propdump version 4\r\n"
                              "9 1 2 3 2147483000 5 0 0 0 4 0 0 0 rock\r\n"
                              "5 0 1000 0 2000 0 0 0 0 4 0 0 0 tree\r\n");
        const struct {
            const char* Offset;
            bool OnlyMissing;
            QString Shown; // the error, or the message
        } Cases[] = {
            {"up", false, "'up' is not a position such as \"12.5N 7W\""},
            {"1N 0E", false,
             "Cannot import from \"other.pd\": Object 1 would leave the world's coordinate range: "
             "its Z would be 2147484000, which a propdump file cannot hold; nothing was "
             "changed."},
            {"", true, "No object of \"other.pd\" is to be imported; nothing was changed."},
        };
        const QStringList Before = Lines(Form->Propdump);
        for (const auto& Case : Cases) {
            Fake->Reset();
            Fake->OpenFileAnswers.enqueue(Other);
            bool StayedOpen = false;
            Fake->ModalHandlers.enqueue([&](QDialog& Dialog) {
                auto& Frm = static_cast<TFrmImport&>(Dialog);
                Frm.OffsetEdit->setText(Case.Offset);
                Frm.MissingCheck->setChecked(Case.OnlyMissing);
                // Only the second object of the other dump meets the criteria (owner 5), and this
                // document has it already.
                Frm.CriteriaCheck->setChecked(Case.OnlyMissing);
                Frm.OkButton->click();
                StayedOpen = Frm.result() != QDialog::Accepted;
                if (StayedOpen)
                    Frm.CancelButton->click();
                return Frm.result();
            });
            Form->ImportObjects->trigger();
            const QStringList Shown = Fake->Errors.isEmpty()
                                          ? QStringList(Fake->Messages.value(0).Text)
                                          : Fake->Errors;
            QCOMPARE(Shown, QStringList(Case.Shown));
            QCOMPARE(StayedOpen, QString(Case.Offset) == "up");
            QCOMPARE(Lines(Form->Propdump), Before);
            QVERIFY(!Form->EditUndo->isEnabled());
        }
    }
};

QTEST_MAIN(WorldCommandsTest)
#include "WorldCommandsTest.moc"
