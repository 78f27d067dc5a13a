#include "support/FakePlatform.h"
#include "support/WaitForIdle.h"

#include "ui/LongLoop.h"
#include "ui/TextCodec.h"
#include "ui/uMainForm.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QProgressBar>
#include <QStringListModel>
#include <QTabWidget>
#include <QtTest>

#include <memory>
#include <stdexcept>

namespace {

constexpr int Zone = 2;

struct TObjectFields {
    int32_t Owner;
    const char* Model;
    int32_t ObjectType = 0;
};

QStringList Rows(const QListView* List) {
    const auto* Model = qobject_cast<const QStringListModel*>(List->model());
    return Model ? Model->stringList() : QStringList{"<no model>"};
}

const QString NormalizeQuestion =
    QStringLiteral("This will ADD \".rwx\" to all models which do not already end in \".rwx\".\r\r"
                   "Is this what you wanted to do?");
const QString DenormalizeQuestion =
    QStringLiteral("This will REMOVE \".rwx\" from all models which end in \".rwx\".\r\r"
                   "Is this what you wanted to do?");

} // namespace

class BulkEditTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakePlatform> Fake;
    std::unique_ptr<TMainForm> Form;

    // An open version-4 document holding the Wanted objects, shown as after a load; the fake forgets that.
    void OpenDocument(const QList<TObjectFields>& Wanted) {
        Form->Propdump.Clear();
        for (const TObjectFields& Fields : Wanted) {
            TPropObject Object;
            Object.Owner = Fields.Owner;
            Object.Model = Fields.Model;
            Object.ObjectType = Fields.ObjectType;
            Form->Propdump.Objects.push_back(Object);
        }
        Form->Propdump.FileName = "/nowhere/bulk.pd";
        Form->Propdump.Version = 4;
        Form->RefreshViews();
        Fake->Reset();
    }

    QList<int32_t> Owners() const {
        QList<int32_t> Result;
        for (const TPropObject& Object : Form->Propdump.Objects)
            Result.append(Object.Owner);
        return Result;
    }

    QStringList Models() const {
        QStringList Result;
        for (const TPropObject& Object : Form->Propdump.Objects)
            Result.append(ToQString(Object.Model));
        return Result;
    }

    void Click(const char* Name) {
        auto* Action = Form->findChild<QAction*>(QString::fromLatin1(Name));
        QVERIFY2(Action, Name);
        QVERIFY2(Action->isEnabled(), Name);
        Action->trigger();
        QVERIFY(WaitUntilIdle(*Form));
    }

    void ReplaceCitNum(const QString& Find, const QString& Replacement) {
        Form->FindCitNum->setText(Find);
        Form->ReplaceCitNum->setText(Replacement);
        Click("DoCitNumReplace");
    }

    void ReplaceModel(const QString& Find, const QString& Replacement) {
        Form->FindModelName->setText(Find);
        Form->ReplaceModelName->setText(Replacement);
        Click("ReplaceModels");
    }

    // Every command would change objects owned by 5 or named tree, is confirmed, and yields at
    // every object.
    void PrepareStepByStepWalk() {
        Form->FindCitNum->setText("5");
        Form->ReplaceCitNum->setText("6");
        Form->FindModelName->setText("tree");
        Form->ReplaceModelName->setText("tree.rwx");
        Fake->MessageAnswers.enqueue(QMessageBox::Yes);
        TLongLoop::SetYieldInterval(0);
    }

    void Answer(const char* Action, QMessageBox::StandardButton Button) {
        Fake->MessageAnswers.enqueue(Button);
        Click(Action);
    }

    // A completed walk: the cursor comes and goes around the report, the asterisk ends it.
    static QStringList Walked(const QString& Report, const QStringList& Before = {}) {
        return Before + QStringList{"cursor push", "sound Asterisk", "message " + Report,
                                    "cursor pop", "sound Asterisk"};
    }

    void VerifyReport(const QString& Text) {
        QCOMPARE(Fake->Messages.size(), 1);
        QCOMPARE(Fake->Messages.last().Text, Text);
        QCOMPARE(Fake->Messages.last().Type, TMsgDlgType::Information);
        QCOMPARE(Fake->Messages.last().Buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
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

    void citNumReplacement() {
        OpenDocument({{5, "a"}, {3, "b"}, {5, "c", Zone}, {9, "d"}, {5, "e"}});
        Form->PageControl1->setCurrentIndex(TMainForm::CitNumsTab);
        ReplaceCitNum("5", "7");
        QCOMPARE(Fake->Log, Walked("Models changed: 3"));
        VerifyReport("Models changed: 3");
        QCOMPARE(Owners(), QList<int32_t>({7, 3, 7, 9, 7}));
        QCOMPARE(Rows(Form->CitNumList), QStringList({"7", "3", "9"}));
        // The "Cit#" column of the objects list.
        const QAbstractItemModel* Objects = Form->ListBox1->model();
        QCOMPARE(Objects->rowCount(), 5);
        QCOMPARE(Objects->data(Objects->index(2, 0)).toString().section(QChar(0x1D), 0, 0),
                 QStringLiteral("7"));
        QCOMPARE(Form->ProgressBar1->value(), 0);
        QCOMPARE(Form->PageControl1->currentIndex(), TMainForm::ObjectsTab);

        // -1 is every owner, an owner of -1 included, and the replacement may be -1 itself.
        Fake->Reset();
        Form->Propdump.Objects[1].Owner = -1;
        ReplaceCitNum("-1", "-1");
        VerifyReport("Models changed: 5");
        QCOMPARE(Owners(), QList<int32_t>({-1, -1, -1, -1, -1}));
        QCOMPARE(Rows(Form->CitNumList), QStringList({"-1"}));
    }

    void citNumReportsLargeCountsWithSeparators() {
        QList<TObjectFields> Wanted;
        for (int Index = 0; Index < 1500; ++Index)
            Wanted.append({Index % 3, "m"});
        OpenDocument(Wanted);
        ReplaceCitNum("-1", "2147483647");
        VerifyReport("Models changed: 1,500");
        QCOMPARE(Rows(Form->CitNumList), QStringList({"2147483647"}));
    }

    // Nothing changed, so nothing is refreshed: the progress bar stays full.
    void citNumNobodyHas() {
        OpenDocument({{5, "a"}, {6, "b"}});
        Form->PageControl1->setCurrentIndex(TMainForm::CitNumsTab);
        Form->CitNumItems->setStringList({"not refreshed"});
        ReplaceCitNum("8", "7");
        QCOMPARE(Fake->Log, Walked("Models changed: 0"));
        QCOMPARE(Owners(), QList<int32_t>({5, 6}));
        QCOMPARE(Form->ProgressBar1->value(), Form->ProgressBar1->maximum());
        QCOMPARE(Rows(Form->CitNumList), QStringList({"not refreshed"}));
        QCOMPARE(Form->PageControl1->currentIndex(), TMainForm::CitNumsTab);
    }

    void citNumTextsMustBeNumbers_data() {
        QTest::addColumn<QString>("Find");
        QTest::addColumn<QString>("Replacement");
        QTest::addColumn<QString>("Error");
        QTest::newRow("empty find") << ""
                                    << "7"
                                    << "'' is not a valid integer value.";
        QTest::newRow("letters") << "abc"
                                 << "7"
                                 << "'abc' is not a valid integer value.";
        QTest::newRow("empty replacement") << "5"
                                           << ""
                                           << "'' is not a valid integer value.";
        QTest::newRow("non-ASCII") << QString::fromUtf8("５") << "7"
                                   << QString::fromUtf8("'５' is not a valid integer value.");
    }
    void citNumTextsMustBeNumbers() {
        QFETCH(QString, Find);
        QFETCH(QString, Replacement);
        QFETCH(QString, Error);
        OpenDocument({{5, "a"}});
        Form->ProgressBar1->setValue(40);
        ReplaceCitNum(Find, Replacement);
        QCOMPARE(Fake->Log, QStringList({"error " + Error}));
        QCOMPARE(Owners(), QList<int32_t>({5}));
        QCOMPARE(Form->ProgressBar1->value(), 40);
        QVERIFY(!Form->ActionList1->IsSuspended());
        QVERIFY(!Form->LongLoopRunning());
    }

    void modelReplacementIgnoresLetterCase() {
        OpenDocument({{1, "tree.rwx"},
                      {1, "tree"},
                      {2, "Tree.RWX", Zone},
                      {1, "tree.rwx.bak"},
                      {1, "\xE9t\xE9.rwx"},
                      {1, "box"}});
        Form->PageControl1->setCurrentIndex(TMainForm::ModelsTab);
        ReplaceModel("Tree.RWX", "shrub.rwx");
        QCOMPARE(Fake->Log, Walked("Models replaced: 2"));
        VerifyReport("Models replaced: 2");
        QCOMPARE(Models(), QStringList({"shrub.rwx", "tree", "shrub.rwx", "tree.rwx.bak",
                                        QString::fromUtf8("été.rwx"), "box"}));
        QCOMPARE(Rows(Form->ModelList), QStringList({"box", QString::fromUtf8("été.rwx"),
                                                     "shrub.rwx", "tree", "tree.rwx.bak"}));
        QCOMPARE(Form->FindModelName->selectedText(), QStringLiteral("Tree.RWX"));
        QCOMPARE(Form->ProgressBar1->value(), 0);

        // Accented letters match their capitals by the code page, and the replacement is stored
        // in it.
        Fake->Reset();
        ReplaceModel(QString::fromUtf8("ÉTÉ.RWX"), QString::fromUtf8("€uro"));
        VerifyReport("Models replaced: 1");
        QCOMPARE(Form->Propdump.Objects[4].Model, std::string("\x80uro"));
    }

    // Always refreshed, even when nothing matched.
    void modelReplacementWithoutMatchStillRefreshes() {
        OpenDocument({{1, "tree"}});
        Form->ModelItems->setStringList({"stale"});
        Form->ProgressBar1->setValue(30);
        ReplaceModel("bush", "shrub");
        QCOMPARE(Fake->Log, Walked("Models replaced: 0"));
        QCOMPARE(Rows(Form->ModelList), QStringList({"tree"}));
        QCOMPARE(Form->ProgressBar1->value(), 0);
        QCOMPARE(Form->FindModelName->selectedText(), QStringLiteral("bush"));
    }

    // An empty find text names the objects that have no model.
    void modelReplacementOfTheEmptyName() {
        OpenDocument({{1, ""}, {1, "tree"}, {1, ""}});
        ReplaceModel("", "unnamed");
        VerifyReport("Models replaced: 2");
        QCOMPARE(Models(), QStringList({"unnamed", "tree", "unnamed"}));
    }

    void modelReplacementRefusals_data() {
        QTest::addColumn<QString>("Find");
        QTest::addColumn<QString>("Replacement");
        QTest::addColumn<QStringList>("Log");
        const QStringList Asterisk{"sound Asterisk"};
        QTest::newRow("both empty") << ""
                                    << "" << Asterisk;
        QTest::newRow("equal") << "tree"
                               << "tree" << Asterisk;
        QTest::newRow("line feed")
            << "tree"
            << "a\nb"
            << QStringList{"error The replacement model name cannot contain line breaks."};
        QTest::newRow("carriage return")
            << "tree"
            << "a\rb"
            << QStringList{"error The replacement model name cannot contain line breaks."};
        QTest::newRow("unencodable replacement")
            << "tree" << QString::fromUtf8("木")
            << QStringList{"error The replacement model name contains characters that cannot be "
                           "saved in a propdump file."};
        QTest::newRow("NUL in the replacement")
            << "tree" << QStringLiteral("a") + QChar(0)
            << QStringList{"error The replacement model name cannot contain a NUL character."};
        QTest::newRow("NUL in the find text")
            << QStringLiteral("tr") + QChar(0) + "ee"
            << "bush"
            << QStringList{"error The model name to find contains characters that no propdump "
                           "file can hold, so no object can have it."};
        QTest::newRow("unencodable find")
            << QString::fromUtf8("木") << "tree"
            << QStringList{"error The model name to find contains characters that no propdump "
                           "file can hold, so no object can have it."};
    }
    void modelReplacementRefusals() {
        QFETCH(QString, Find);
        QFETCH(QString, Replacement);
        QFETCH(QStringList, Log);
        OpenDocument({{1, "tree"}, {1, ""}});
        Form->ModelItems->setStringList({"not refreshed"});
        Form->ProgressBar1->setValue(40);
        Form->FindModelName->setText(Find);
        Form->ReplaceModelName->setText(Replacement);
        // The edit must hold what the user would have pasted, or the case proves nothing.
        QCOMPARE(Form->ReplaceModelName->text(), Replacement);
        Click("ReplaceModels");
        QCOMPARE(Fake->Log, Log);
        QCOMPARE(Models(), QStringList({"tree", ""}));
        QCOMPARE(Rows(Form->ModelList), QStringList({"not refreshed"}));
        QCOMPARE(Form->ProgressBar1->value(), 40);
        QVERIFY(!Form->FindModelName->hasSelectedText());
    }

    void normalize() {
        OpenDocument({{1, "tree"},
                      {1, "tree.rwx"},
                      {1, "tree.x"},
                      {1, "wall", Zone},
                      {1, "tree."},
                      {1, "tree.RWX"},
                      {1, ""},
                      {1, "dir.x\\tree"},
                      {1, "c:\\dir\\tree.x"},
                      {1, "a.b:c"},
                      {1, "plain", 4}});
        Answer("NormalizeModels", QMessageBox::Yes);
        QCOMPARE(Fake->Log, Walked("Models normalized: 4",
                                   {"sound Question", "message " + NormalizeQuestion}));
        QCOMPARE(Fake->Messages.first().Type, TMsgDlgType::Confirmation);
        QCOMPARE(Fake->Messages.first().Buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(Models(),
                 QStringList({"tree.rwx", "tree.rwx", "tree.x", "wall", "tree.", "tree.RWX", ".rwx",
                              "dir.x\\tree.rwx", "c:\\dir\\tree.x", "a.b:c.rwx", "plain"}));
        QCOMPARE(Rows(Form->ModelList).first(), QStringLiteral(".rwx"));
    }

    void denormalize() {
        OpenDocument({{1, "tree.rwx"},
                      {1, "TREE.RWX"},
                      {1, "dir.rwx\\tree"},
                      {1, "a.rwx.rwx"},
                      {1, "wall.rwx", Zone},
                      {1, ".rwx"},
                      {1, "rwx"},
                      {1, "tree.rwx."}});
        Answer("DenormalizeModels", QMessageBox::Yes);
        QCOMPARE(Fake->Log, Walked("Models denormalized: 4",
                                   {"sound Question", "message " + DenormalizeQuestion}));
        QCOMPARE(Models(), QStringList({"tree", "TREE", "dir.rwx\\tree", "a.rwx", "wall.rwx", "",
                                        "rwx", "tree.rwx."}));
        QCOMPARE(Rows(Form->ModelList),
                 QStringList({"a.rwx", "dir.rwx\\tree", "rwx", "tree", "tree.rwx.", "wall.rwx"}));
    }

    // No, or closing the box, changes nothing and makes no sound beyond the question's.
    void confirmationDeclined_data() {
        QTest::addColumn<QString>("Action");
        QTest::addColumn<QString>("Question");
        QTest::addColumn<int>("Answer");
        QTest::newRow("normalize, No")
            << "NormalizeModels" << NormalizeQuestion << int(QMessageBox::No);
        QTest::newRow("normalize, closed")
            << "NormalizeModels" << NormalizeQuestion << int(QMessageBox::NoButton);
        QTest::newRow("denormalize, No")
            << "DenormalizeModels" << DenormalizeQuestion << int(QMessageBox::No);
    }
    void confirmationDeclined() {
        QFETCH(QString, Action);
        QFETCH(QString, Question);
        QFETCH(int, Answer);
        OpenDocument({{1, "tree"}, {1, "bush.rwx"}});
        Form->ProgressBar1->setValue(40);
        this->Answer(qPrintable(Action), QMessageBox::StandardButton(Answer));
        QCOMPARE(Fake->Log, QStringList({"sound Question", "message " + Question}));
        QCOMPARE(Models(), QStringList({"tree", "bush.rwx"}));
        QCOMPARE(Form->ProgressBar1->value(), 40);
    }

    // Without a document every command walks nothing and reports 0; only the model
    // replacement refreshes, which leaves the views empty.
    void withoutADocument() {
        ReplaceCitNum("-1", "3");
        QCOMPARE(Fake->Log, Walked("Models changed: 0"));
        Fake->Reset();
        Answer("NormalizeModels", QMessageBox::Yes);
        QCOMPARE(Fake->Messages.last().Text, QStringLiteral("Models normalized: 0"));
        Fake->Reset();
        Answer("DenormalizeModels", QMessageBox::Yes);
        QCOMPARE(Fake->Messages.last().Text, QStringLiteral("Models denormalized: 0"));
        Fake->Reset();
        ReplaceModel("a", "b");
        QCOMPARE(Fake->Log, Walked("Models replaced: 0"));
        QCOMPARE(Form->FileName->text(), QString());
        QCOMPARE(Rows(Form->ModelList), QStringList());
        QVERIFY(!Form->SaveFile->isEnabled());
    }

    // While a command walks, the window's commands do nothing, and the progress bar shows the
    // exact count at each yield.
    void actionsSuspendedDuringEveryWalk_data() {
        QTest::addColumn<QString>("Action");
        QTest::newRow("cit#") << "DoCitNumReplace";
        QTest::newRow("replace") << "ReplaceModels";
        QTest::newRow("normalize") << "NormalizeModels";
        QTest::newRow("denormalize") << "DenormalizeModels";
    }
    void actionsSuspendedDuringEveryWalk() {
        QFETCH(QString, Action);
        OpenDocument({{5, "tree"}, {5, "tree"}, {5, "tree"}});
        PrepareStepByStepWalk();
        QList<int> Progress;
        Fake->OnProcessEvents = [&] {
            Progress.append(Form->ProgressBar1->value());
            Fake->OpenFileAnswers.enqueue("/nowhere/other.pd");
            Form->OpenFile->trigger();
            Form->CloseFile->trigger();
            Form->DoCitNumReplace->trigger();
            Form->ReplaceModels->trigger();
        };
        Click(qPrintable(Action));
        // The refresh at the end may paint once more, with the actions still suspended.
        QCOMPARE(Progress.mid(0, 3), QList<int>({1, 2, 3}));
        // The open dialog was never asked for, the document is still there, nothing ran twice.
        QCOMPARE(Fake->OpenFileAnswers.size(), Progress.size());
        QCOMPARE(Form->Propdump.FileName, std::string("/nowhere/bulk.pd"));
        QCOMPARE(Form->Propdump.Count(), 3);
        QCOMPARE(Fake->Messages.size(), Action.contains("ormalize") ? 2 : 1);
        QVERIFY(Fake->Errors.isEmpty());
        QVERIFY(!Form->ActionList1->IsSuspended());
        QCOMPARE(Fake->CursorDepth, 0);
    }

    // An error in the middle of a walk: what was changed stays changed and is shown, the cursor
    // and the commands come back, and then the error is shown.
    void errorInTheMiddleOfAWalk() {
        OpenDocument({{5, "tree"}, {5, "tree"}, {5, "tree"}});
        PrepareStepByStepWalk();
        Fake->OnProcessEvents = [&] {
            if (Form->LongLoopRunning() && Form->ProgressBar1->value() == 2)
                throw std::runtime_error("The disk went away");
        };
        Click("DoCitNumReplace");
        QCOMPARE(Fake->Log.mid(Fake->Log.size() - 3),
                 QStringList({"cursor pop", "sound Asterisk", "error The disk went away."}));
        QCOMPARE(Rows(Form->CitNumList), QStringList({"6", "5"}));
        QVERIFY(!Form->ActionList1->IsSuspended());
        QVERIFY(!Form->LongLoopRunning());
        QCOMPARE(Fake->CursorDepth, 0);
    }

    // Closing the window stops the walk at its next yield; what was changed stays changed and
    // is refreshed, and once the command is over the window asks about the change and closes.
    void closingStopsTheWalk_data() {
        QTest::addColumn<QString>("Action");
        QTest::addColumn<QStringList>("Expected");
        QTest::addColumn<QStringList>("Messages");
        QTest::addColumn<QList<QMessageBox::StandardButton>>("Answers");
        const QString Question = "Save changes to \"bulk.pd\"?";
        QTest::newRow("cit#") << "DoCitNumReplace" << QStringList({"6", "6", "5", "5"})
                              << QStringList({"Models changed: 2", Question})
                              << QList({QMessageBox::Ok, QMessageBox::Discard});
        QTest::newRow("replace") << "ReplaceModels"
                                 << QStringList({"tree.rwx", "tree.rwx", "tree", "tree"})
                                 << QStringList({Question}) << QList({QMessageBox::Discard});
        QTest::newRow("normalize")
            << "NormalizeModels" << QStringList({"tree.rwx", "tree.rwx", "tree", "tree"})
            << QStringList({NormalizeQuestion, "Models normalized: 2", Question})
            << QList({QMessageBox::Yes, QMessageBox::Ok, QMessageBox::Discard});
    }
    void closingStopsTheWalk() {
        QFETCH(QString, Action);
        QFETCH(QStringList, Expected);
        QFETCH(QStringList, Messages);
        QFETCH(QList<QMessageBox::StandardButton>, Answers);
        OpenDocument({{5, "tree"}, {5, "tree"}, {5, "tree"}, {5, "tree"}});
        Form->show();
        PrepareStepByStepWalk();
        Fake->MessageAnswers.clear();
        Fake->MessageAnswers.append(Answers);
        Fake->OnProcessEvents = [&] {
            if (Form->LongLoopRunning() && Form->ProgressBar1->value() == 3)
                Form->close();
        };
        Click(qPrintable(Action));

        const QStringList Now =
            Action == "DoCitNumReplace"
                ? QStringList({QString::number(Form->Propdump.Objects[0].Owner),
                               QString::number(Form->Propdump.Objects[1].Owner),
                               QString::number(Form->Propdump.Objects[2].Owner),
                               QString::number(Form->Propdump.Objects[3].Owner)})
                : Models();
        QCOMPARE(Now, Expected);
        QCOMPARE(Form->ProgressBar1->value(), 0);
        QTRY_VERIFY(!Form->isVisible());
        QStringList Shown;
        for (const FakePlatform::Message& Message : Fake->Messages)
            Shown.append(Message.Text);
        QCOMPARE(Shown, Messages);
        // The walk's command ends before the question comes.
        const auto Asked = Fake->Log.lastIndexOf("sound Question");
        QCOMPARE(Fake->Log.mid(Asked - 2, 2), QStringList({"cursor pop", "sound Asterisk"}));
    }
};

QTEST_MAIN(BulkEditTest)
#include "BulkEditTest.moc"
