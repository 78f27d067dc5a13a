#include "support/FakePlatform.h"
#include "support/WaitForIdle.h"

#include "text/DateTimeText.h"
#include "ui/LongLoop.h"
#include "ui/MemoEdit.h"
#include "ui/SearchResultsModel.h"
#include "ui/uFrmObject.h"
#include "ui/uFrmSearch.h"
#include "ui/uMainForm.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStringListModel>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

#include <climits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

Q_DECLARE_METATYPE(TSearchCriteria)

namespace {

constexpr int32_t Moment = 1000000000; // 09 Sep 2001 01:46:40

TPropObject Obj(int32_t Owner, const std::string& Model, int32_t Timestamp = Moment,
                const std::string& Description = {}, const std::string& Action = {},
                int32_t ObjectType = 0) {
    TPropObject Object;
    Object.Owner = Owner;
    Object.Model = Model;
    Object.Timestamp = Timestamp;
    Object.Description = Description;
    Object.Action = Action;
    Object.ObjectType = ObjectType;
    return Object;
}

// The objects most cases run over; "#" is the position in this list plus one.
std::vector<TPropObject> Corpus() {
    return {Obj(1, "tree01.rwx", Moment, "for sale", "create sign"),
            Obj(5, "BUSH.rwx", Moment + 100, "FOR SALE"),
            Obj(7, "bigtree.rwx", -5, "for sale cheap", "create color red"),
            Obj(50, "", INT32_MAX, "for *", "CREATE SIGN"),
            Obj(-5, "Tree02", INT32_MIN, "", "create sign"),
            Obj(57, "treehouse", Moment + 50, "for?")};
}

// One text criterion switched on, its text in the criterion's own field.
TSearchCriteria On(TSearchField Field, const std::string& Text, bool Exclude = false,
                   bool Exact = false) {
    TSearchCriteria Criteria;
    Criteria.Fields.Set(Field, true);
    Criteria.Exclude.Set(Field, Exclude);
    Criteria.ExactMatch.Set(Field, Exact);
    std::string* Texts[] = {&Criteria.CitNumsText, &Criteria.ModelsText, &Criteria.DescriptionText,
                            &Criteria.ActionText};
    *Texts[Field] = Text;
    return Criteria;
}

TSearchCriteria Between(std::optional<int64_t> Earliest, std::optional<int64_t> Latest) {
    TSearchCriteria Criteria;
    Criteria.Fields.Set(sfMinTime, Earliest.has_value());
    Criteria.MinTime = SecondsToDateTime(Earliest.value_or(0));
    Criteria.Fields.Set(sfMaxTime, Latest.has_value());
    Criteria.MaxTime = SecondsToDateTime(Latest.value_or(0));
    return Criteria;
}

TSearchCriteria ObjType(int32_t Type, bool Exclude) {
    TSearchCriteria Criteria;
    Criteria.Fields.Set(sfObjType, true);
    Criteria.Exclude.Set(sfObjType, Exclude);
    Criteria.ObjType = Type;
    return Criteria;
}

QStringList ListRows(const QListView* List) {
    return qobject_cast<const QStringListModel*>(List->model())->stringList();
}

QStringList SummaryLines(const QListWidget* List) {
    QStringList Lines;
    for (int Row = 0; Row < List->count(); ++Row)
        Lines << List->item(Row)->text();
    return Lines;
}

} // namespace

class SearchTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FakePlatform> Fake;
    std::unique_ptr<TMainForm> Form;

    void Load(std::vector<TPropObject> Objects) {
        Form->Propdump.Objects = std::move(Objects);
        Form->Propdump.FileName = "search.pd";
        Form->Propdump.Version = 4;
        Form->RefreshViews();
        Form->show();
        Form->PageControl1->setCurrentIndex(TMainForm::SearchTab);
        Fake->Reset();
    }

    void Click(const char* Name) {
        auto* Action = Form->findChild<QAction*>(QString::fromLatin1(Name));
        QVERIFY2(Action && Action->isEnabled(), Name);
        Action->trigger();
        QVERIFY(WaitUntilIdle(*Form));
    }

    QString Cell(int Row, int Column) const {
        return Form->SearchResults->data(Form->SearchResults->index(Row, Column)).toString();
    }

    // The "#" cells of every row.
    QList<int> Found() const {
        QList<int> Positions;
        for (int Row = 0; Row < Form->SearchResults->RowCount(); ++Row)
            Positions << Cell(Row, 0).toInt();
        return Positions;
    }

    QList<int> Search(const TSearchCriteria& Criteria) {
        Form->SearchCriteria = Criteria;
        Click("DoSearch");
        return Found();
    }

    // The controls as they are whenever nothing runs.
    void VerifyIdle() {
        QVERIFY(Form->DoSearch->isEnabled());
        QVERIFY(!Form->ActionList1->IsSuspended());
        QCOMPARE(Fake->CursorDepth, 0);
        QCOMPARE(Form->DeleteSearchResults->isEnabled(), Form->SearchResults->RowCount() > 0);
    }

    void EditCriteria(std::function<void(TFrmSearch&)> Edit, bool Ok) {
        Fake->ModalHandlers.enqueue([this, Edit, Ok](QDialog& Dialog) {
            auto* Frm = qobject_cast<TFrmSearch*>(&Dialog);
            if (!Frm || Frm->parent() != Form.get())
                return int(QDialog::Rejected);
            Edit(*Frm);
            if (Ok)
                Frm->OkButton->click();
            return Ok ? Frm->result() : int(QDialog::Rejected);
        });
        QTest::mouseClick(Form->SpeedButton3, Qt::LeftButton);
    }

    void DoubleClickRow(int Row) {
        const QPoint At = Form->ListView2->visualRect(Form->SearchResults->index(Row, 1)).center();
        QTest::mouseClick(Form->ListView2->viewport(), Qt::LeftButton, {}, At);
        QTest::mouseDClick(Form->ListView2->viewport(), Qt::LeftButton, {}, At);
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void init() {
        Fake = std::make_unique<FakePlatform>();
        Form = std::make_unique<TMainForm>();
        TLongLoop::SetYieldInterval(25);
    }

    void cleanup() {
        Form.reset();
        Fake.reset();
    }

    void criteriaDialogRoundTrip() {
        QCOMPARE(SummaryLines(Form->ListBox2), QStringList{"none"});
        EditCriteria(
            [](TFrmSearch& Dialog) {
                Dialog.CitNumsField->click();
                Dialog.Memo1->SetText("104,2045");
                Dialog.CitNumsExclude->click();
                Dialog.ObjTypeField->click();
                Dialog.ComboBox1->setCurrentIndex(0);
            },
            true);
        const QStringList Shown = {"Exclude cit#s: 104,2045",
                                   QString::fromUtf8("Include object type: « Zone »")};
        QCOMPARE(SummaryLines(Form->ListBox2), Shown);
        QCOMPARE(Form->SearchCriteria.CitNumsText, std::string("104,2045"));

        // The next dialog starts from what was kept; Cancel throws every change away.
        const TSearchCriteria Kept = Form->SearchCriteria;
        QString Reloaded;
        EditCriteria(
            [&Reloaded](TFrmSearch& Dialog) {
                Reloaded = Dialog.Memo1->Text();
                Dialog.CitNumsField->click();
                Dialog.ModelsField->click();
            },
            false);
        QCOMPARE(Reloaded, QStringLiteral("104,2045"));
        QVERIFY(Form->SearchCriteria == Kept);
        QCOMPARE(SummaryLines(Form->ListBox2), Shown);

        EditCriteria(
            [](TFrmSearch& Dialog) {
                Dialog.CitNumsField->click();
                Dialog.ObjTypeField->click();
            },
            true);
        QCOMPARE(SummaryLines(Form->ListBox2), QStringList{"none"});
        QVERIFY(Fake->ModalHandlers.isEmpty());
        QVERIFY(Form->findChildren<TFrmSearch*>().isEmpty());
    }

    void criteriaFindTheRightObjects_data() {
        QTest::addColumn<TSearchCriteria>("Criteria");
        QTest::addColumn<QList<int>>("Expected");
        using L = QList<int>;
        const L All = {1, 2, 3, 4, 5, 6};
        const int64_t Year2100 = 4102444800LL, Year1800 = -5364662400LL;
        TSearchCriteria Both = On(sfCitNums, "5,7,57");
        Both.Fields.Set(sfModels, true);
        Both.ModelsText = "*tree*";
        // clang-format off
        QTest::newRow("one citnum") << On(sfCitNums, "5") << L{2};
        QTest::newRow("empty piece") << On(sfCitNums, "5,,7") << L{2, 3};
        QTest::newRow("a blank stays in its piece") << On(sfCitNums, "5, 7") << L{2};
        QTest::newRow("leading zero never equals") << On(sfCitNums, "05,-5") << L{5};
        QTest::newRow("empty citnums") << On(sfCitNums, "") << L{};
        QTest::newRow("empty citnums excluded") << On(sfCitNums, "", true) << All;
        QTest::newRow("citnums excluded") << On(sfCitNums, "5,7", true) << L{1, 4, 5, 6};
        QTest::newRow("model patterns") << On(sfModels, "tree*,BUSH.RWX") << L{1, 2, 5, 6};
        QTest::newRow("trailing comma") << On(sfModels, "tree*,") << L{1, 4, 5, 6};
        QTest::newRow("empty models") << On(sfModels, "") << L{};
        QTest::newRow("empty models excluded") << On(sfModels, "", true) << All;
        QTest::newRow("plain text is whole text") << On(sfDescription, "for sale") << L{1, 2};
        QTest::newRow("excluded text") << On(sfDescription, "for sale", true) << L{3, 4, 5, 6};
        QTest::newRow("description pattern") << On(sfDescription, "for *") << L{1, 2, 3, 4};
        QTest::newRow("exact: '*' as it is") << On(sfDescription, "FOR *", false, true) << L{4};
        QTest::newRow("pattern: '?' any one") << On(sfDescription, "FOR ?") << L{4};
        QTest::newRow("exact: '?' as it is") << On(sfDescription, "FOR ?", false, true) << L{};
        QTest::newRow("exact: '?' itself") << On(sfDescription, "FOR?", false, true) << L{6};
        QTest::newRow("exact action") << On(sfAction, "create sign", false, true) << L{1, 4, 5};
        QTest::newRow("action pattern") << On(sfAction, "*color*") << L{3};
        QTest::newRow("both bounds included") << Between(Moment, Moment + 100) << L{1, 2, 6};
        QTest::newRow("latest only: before 1970 too") << Between({}, Moment) << L{1, 3, 5};
        QTest::newRow("earliest only") << Between(Moment + 50, {}) << L{2, 4, 6};
        QTest::newRow("earliest after latest") << Between(Moment + 100, Moment) << L{};
        QTest::newRow("latest beyond 2038") << Between({}, Year2100) << All;
        QTest::newRow("earliest before 1901") << Between(Year1800, -1) << L{3, 5};
        QTest::newRow("criteria joined by and") << Both << L{3, 6};
        // Objects of version 2 and 3 files, like all of these, have type 0.
        QTest::newRow("type Zone excluded") << ObjType(2, true) << All;
        QTest::newRow("type Zone") << ObjType(2, false) << L{};
        // clang-format on
    }

    void criteriaFindTheRightObjects() {
        QFETCH(TSearchCriteria, Criteria);
        QFETCH(QList<int>, Expected);
        Load(Corpus());
        QCOMPARE(Search(Criteria), Expected);
        QVERIFY(Fake->Errors.isEmpty());
        QCOMPARE(Form->GroupBox3->title(), QStringLiteral("Results: %1").arg(Expected.size()));
        QCOMPARE(Fake->Sounds, QList<TSoundKind>{TSoundKind::Asterisk});
        QCOMPARE(Form->ProgressBar1->value(), Form->ProgressBar1->maximum());
        VerifyIdle();
    }

    void rowsShowTheObjects() {
        std::vector<TPropObject> Objects = {Obj(1, "one.rwx"),
                                            Obj(5, "box.rwx"),
                                            Obj(9, "two.rwx"),
                                            Obj(5, "zone", 0, "", "", 2),
                                            Obj(5, "t1.rwx", 0, "", "", 1),
                                            Obj(5, "odd", 0, "", "", 7)};
        Objects[1].X = -6789;
        Objects[1].Y = 1500;
        Objects[1].Z = 12345;
        Objects[1].Yaw = 900;
        Load(Objects);
        QCOMPARE(Search(On(sfCitNums, "5")), QList<int>({2, 4, 5, 6}));
        const QStringList First = {"2", "5", "09 Sep 2001 01:46:40", "12.345N 6.789E 1.50a 90.0",
                                   "box.rwx"};
        for (int Column = 0; Column < First.size(); ++Column)
            QCOMPARE(Cell(0, Column), First[Column]);
        QCOMPARE(Cell(1, 2), QStringLiteral("01 Jan 1970 00:00:00"));
        QCOMPARE(Cell(1, 4), QString::fromUtf8("« Zone »"));
        QCOMPARE(Cell(2, 4), QStringLiteral("t1.rwx"));
        QCOMPARE(Cell(3, 4), QString());
    }

    void countIsShownWithThousandsSeparator() {
        Load(std::vector<TPropObject>(1234, Obj(3, "m")));
        Search(On(sfCitNums, "3"));
        QCOMPARE(Form->GroupBox3->title(), QStringLiteral("Results: 1,234"));
    }

    void noObjectsChangesNothing() {
        Load({});
        Form->SearchResults->SetRows({TSearchResultsModel::MakeRow(9, "1", "d", "l", "m")});
        Form->GroupBox3->setTitle("Results: 1");
        Click("DoSearch");
        QCOMPARE(Fake->Log,
                 QStringList({"sound Asterisk", "message There are no objects in this propdump."}));
        QCOMPARE(Fake->Messages[0].Type, TMsgDlgType::Error);
        QCOMPARE(Fake->Messages[0].Buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(Found(), QList<int>{9});
        QCOMPARE(Form->GroupBox3->title(), QStringLiteral("Results: 1"));
    }

    void noCriteriaClearsAndRestoresFirst() {
        Load(Corpus());
        Search(On(sfCitNums, "5"));
        Fake->Reset();
        Search(TSearchCriteria());
        QCOMPARE(Fake->Log, QStringList({"cursor push", "cursor pop", "sound Asterisk",
                                         "error No search criteria specified."}));
        QCOMPARE(Found(), QList<int>());
        QCOMPARE(Form->GroupBox3->title(), QStringLiteral("Results: 0"));
        VerifyIdle();
    }

    void clearAfterASearch() {
        Load(Corpus());
        Search(On(sfCitNums, "5"));
        Fake->Reset();
        Click("ClearSearchResults");
        QCOMPARE(Found(), QList<int>());
        QCOMPARE(Form->GroupBox3->title(), QStringLiteral("Results: 0"));
        Click("ClearSearchResults");
        QCOMPARE(Fake->Sounds, QList<TSoundKind>{TSoundKind::Asterisk});
        QVERIFY(Form->DeleteSearchResults->isEnabled());

        // Used after Clear, Delete has no rows left and removes nothing.
        Fake->MessageAnswers.enqueue(QMessageBox::Yes);
        Click("DeleteSearchResults");
        QCOMPARE(Form->Propdump.Count(), 6);
        VerifyIdle();
    }

    void errorWhileSearchingKeepsTheRowsFoundSoFar() {
        Load(Corpus());
        TLongLoop::SetYieldInterval(0);
        Fake->OnProcessEvents = [&] {
            if (Form->LongLoopRunning() && Form->ProgressBar1->value() == 4)
                throw std::runtime_error("Out of memory");
        };
        QCOMPARE(Search(On(sfCitNums, "5,7,57")), QList<int>({2, 3}));
        QCOMPARE(Form->GroupBox3->title(), QStringLiteral("Results: 2"));
        QCOMPARE(Fake->Log.mid(Fake->Log.size() - 3),
                 QStringList({"cursor pop", "sound Asterisk", "error Out of memory."}));
        VerifyIdle();
    }

    void deleteRemovesExactlyTheFoundObjects() {
        Load(Corpus());
        Search(On(sfCitNums, "5,7"));
        Fake->MessageAnswers.enqueue(QMessageBox::No);
        Click("DeleteSearchResults");
        QCOMPARE(Fake->Messages.size(), 1);
        QCOMPARE(Fake->Messages[0].Text,
                 QStringLiteral("All the objects you just found will now be deleted from the "
                                "propdump.\r\rIs this what you wanted to do?"));
        QCOMPARE(Fake->Messages[0].Type, TMsgDlgType::Confirmation);
        QCOMPARE(Fake->Messages[0].Buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(Form->Propdump.Count(), 6);
        QCOMPARE(Found(), QList<int>({2, 3}));
        QVERIFY(ListRows(Form->CitNumList).contains("5"));
        QVERIFY(ListRows(Form->ModelList).contains("BUSH.rwx"));

        Fake->MessageAnswers.enqueue(QMessageBox::Yes);
        Click("DeleteSearchResults");
        QStringList Owners;
        for (const TPropObject& Object : Form->Propdump.Objects) {
            Owners << QString::number(Object.Owner);
            QVERIFY(!Object.MarkedForDeletion);
        }
        QCOMPARE(Owners, QStringList({"1", "50", "-5", "57"}));
        QCOMPARE(Form->PropObjCount->text(), QStringLiteral("Objects in propdump: 4"));
        QCOMPARE(Form->ListBox1Count(), 4);
        QVERIFY(!ListRows(Form->CitNumList).contains("5"));
        QVERIFY(!ListRows(Form->ModelList).contains("BUSH.rwx"));
        QCOMPARE(Found(), QList<int>());
        QCOMPARE(Form->GroupBox3->title(), QStringLiteral("Results: 0"));
        VerifyIdle();
    }

    void doubleClickOpensTheObjectReadOnly() {
        Load(Corpus());
        Search(On(sfCitNums, "5,57"));
        const TPropObject* Shown = nullptr;
        bool ReadOnly = false;
        Fake->ModalHandlers.enqueue([&](QDialog& Dialog) {
            if (auto* Frm = qobject_cast<TFrmObject*>(&Dialog)) {
                Shown = Frm->PropObject;
                ReadOnly = !Frm->Editable();
            }
            return int(QDialog::Rejected);
        });
        DoubleClickRow(1);
        QCOMPARE(Shown, &Form->Propdump.Objects[5]);
        QVERIFY(ReadOnly);

        Fake->ModalHandlers.enqueue([](QDialog&) { return int(QDialog::Rejected); });
        Form->ListView2->clearSelection();
        Form->ListView2DblClick();
        QCOMPARE(Fake->ModalHandlers.size(), 1);
    }

    // While the walk yields, nothing may change the rows, the criteria in use or the document.
    void searchCannotBeDisturbedWhileItRuns() {
        Load(Corpus());
        TLongLoop::SetYieldInterval(0);
        Fake->ModalHandlers.enqueue([](QDialog&) { return int(QDialog::Accepted); });
        Fake->OnProcessEvents = [&] {
            if (Form->ProgressBar1->value() != 3)
                return;
            QVERIFY(!Form->DoSearch->isEnabled());
            QTest::mouseClick(Form->SpeedButton3, Qt::LeftButton);
            Form->ListBox1->setCurrentIndex(Form->ListBox1->model()->index(0, 0));
            Form->ListBox1DblClick();
            // Read live, this would turn the rest of the walk upside down.
            Form->SearchCriteria.Exclude.Set(sfCitNums, true);
        };
        QCOMPARE(Search(On(sfCitNums, "5,7")), QList<int>({2, 3}));
        QCOMPARE(Fake->ModalHandlers.size(), 1);
        VerifyIdle();
    }

    void closingStopsTheSearchAndKeepsWhatItFound() {
        Load(Corpus());
        TLongLoop::SetYieldInterval(0);
        Fake->OnProcessEvents = [&] {
            if (Form->ProgressBar1->value() == 4)
                Form->close();
        };
        QCOMPARE(Search(On(sfCitNums, "5,7,57")), QList<int>({2, 3}));
        QCOMPARE(Form->GroupBox3->title(), QStringLiteral("Results: 2"));
        VerifyIdle();
        QTRY_VERIFY(!Form->isVisible());
    }

    void closingDuringADeletionRemovesNothing() {
        Load(Corpus());
        Search(On(sfCitNums, "5,7,57"));
        TLongLoop::SetYieldInterval(0);
        Fake->MessageAnswers.enqueue(QMessageBox::Yes);
        Fake->ModalHandlers.enqueue([](QDialog&) { return int(QDialog::Rejected); });
        Fake->OnProcessEvents = [&] {
            if (Form->ProgressBar1->value() != 2)
                return;
            DoubleClickRow(0);
            Form->close();
        };
        Click("DeleteSearchResults");
        QCOMPARE(Fake->ModalHandlers.size(), 1);
        QCOMPARE(Form->Propdump.Count(), 6);
        for (const TPropObject& Object : Form->Propdump.Objects)
            QVERIFY(!Object.MarkedForDeletion);
        QCOMPARE(Found(), QList<int>());
        VerifyIdle();
    }
};

QTEST_MAIN(SearchTest)
#include "SearchTest.moc"
