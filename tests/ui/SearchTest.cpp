#include "support/FakePlatform.h"

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

// The objects most search cases run over; "#" is the position in this list plus one.
std::vector<TPropObject> Corpus() {
    return {
        Obj(1, "tree01.rwx", Moment, "for sale", "create sign"),
        Obj(5, "BUSH.rwx", Moment + 100, "FOR SALE"),
        Obj(7, "bigtree.rwx", -5, "for sale cheap", "create color red"),
        Obj(50, "", INT32_MAX, "for *", "CREATE SIGN"),
        Obj(-5, "Tree02", INT32_MIN, "", "create sign"),
        Obj(57, "treehouse", Moment + 50, "for?"),
    };
}

struct TCriterion {
    TSearchField Field;
    bool Exclude = false;
    bool ExactMatch = false;
};

TSearchCriteria Criteria(std::initializer_list<TCriterion> On) {
    TSearchCriteria Result;
    for (const TCriterion& Item : On) {
        Result.Fields.Set(Item.Field, true);
        Result.Exclude.Set(Item.Field, Item.Exclude);
        Result.ExactMatch.Set(Item.Field, Item.ExactMatch);
    }
    return Result;
}

TSearchCriteria CitNums(const std::string& Text, bool Exclude = false) {
    TSearchCriteria Result = Criteria({{sfCitNums, Exclude}});
    Result.CitNumsText = Text;
    return Result;
}

TSearchCriteria Models(const std::string& Text, bool Exclude = false) {
    TSearchCriteria Result = Criteria({{sfModels, Exclude}});
    Result.ModelsText = Text;
    return Result;
}

TSearchCriteria Description(const std::string& Text, bool Exclude = false, bool Exact = false) {
    TSearchCriteria Result = Criteria({{sfDescription, Exclude, Exact}});
    Result.DescriptionText = Text;
    return Result;
}

TSearchCriteria Action(const std::string& Text, bool Exact = false) {
    TSearchCriteria Result = Criteria({{sfAction, false, Exact}});
    Result.ActionText = Text;
    return Result;
}

TSearchCriteria Times(const TDateTimeValue* Min, const TDateTimeValue* Max) {
    TSearchCriteria Result;
    if (Min) {
        Result.Fields.Set(sfMinTime, true);
        Result.MinTime = *Min;
    }
    if (Max) {
        Result.Fields.Set(sfMaxTime, true);
        Result.MaxTime = *Max;
    }
    return Result;
}

TSearchCriteria ObjType(int32_t Type, bool Exclude) {
    TSearchCriteria Result = Criteria({{sfObjType, Exclude}});
    Result.ObjType = Type;
    return Result;
}

TDateTimeValue At(int64_t Seconds) {
    return SecondsToDateTime(Seconds);
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

    void Load(std::vector<TPropObject> Objects, int Version = 4) {
        Form->Propdump.Objects = std::move(Objects);
        Form->Propdump.FileName = "search.pd";
        Form->Propdump.Version = Version;
        Form->RefreshViews();
        Fake->Reset();
    }

    void Click(const char* Name) {
        auto* Action = Form->findChild<QAction*>(QString::fromLatin1(Name));
        QVERIFY2(Action && Action->isEnabled(), Name);
        Action->trigger();
    }

    // The "#" cells of every row.
    QList<int> Found() const {
        QList<int> Positions;
        for (int Row = 0; Row < Form->SearchResults->RowCount(); ++Row)
            Positions << Form->SearchResults->data(Form->SearchResults->index(Row, 0)).toInt();
        return Positions;
    }

    QStringList RowCells(int Row) const {
        QStringList Cells;
        for (int Column = 0; Column < TSearchResultsModel::ColumnCount; ++Column)
            Cells << Form->SearchResults->data(Form->SearchResults->index(Row, Column)).toString();
        return Cells;
    }

    QList<int> Search(const TSearchCriteria& Criteria) {
        Form->SearchCriteria = Criteria;
        Click("DoSearch");
        return Found();
    }

    // After any search: the controls as they are when nothing runs.
    void VerifyIdle() {
        QVERIFY(Form->DoSearch->isEnabled());
        QVERIFY(!Form->ActionList1->IsSuspended());
        QCOMPARE(Fake->CursorDepth, 0);
        QCOMPARE(Form->DeleteSearchResults->isEnabled(), Form->SearchResults->RowCount() > 0);
    }

    void OpenEditor(std::function<void(TFrmSearch&)> Edit, bool Ok) {
        Fake->ModalHandlers.enqueue([this, Edit, Ok](QDialog& Dialog) {
            auto* Frm = qobject_cast<TFrmSearch*>(&Dialog);
            if (!Frm || Frm->parent() != Form.get())
                return int(QDialog::Rejected);
            Edit(*Frm);
            if (!Ok)
                return int(QDialog::Rejected);
            Frm->OkButton->click();
            return Frm->result();
        });
        QTest::mouseClick(Form->SpeedButton3, Qt::LeftButton);
    }

    void DoubleClickRow(int Row) {
        const QRect Cell = Form->ListView2->visualRect(Form->SearchResults->index(Row, 1));
        QTest::mouseClick(Form->ListView2->viewport(), Qt::LeftButton, {}, Cell.center());
        QTest::mouseDClick(Form->ListView2->viewport(), Qt::LeftButton, {}, Cell.center());
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

        OpenEditor(
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
        QCOMPARE(Form->SearchCriteria.ObjType, 2);

        // The next dialog starts from what was kept; Cancel throws every change away.
        const TSearchCriteria Kept = Form->SearchCriteria;
        QString Reloaded;
        OpenEditor(
            [&Reloaded](TFrmSearch& Dialog) {
                Reloaded = Dialog.Memo1->Text();
                Dialog.CitNumsField->click();
                Dialog.ModelsField->click();
                Dialog.Memo2->SetText("tree*");
            },
            false);
        QCOMPARE(Reloaded, QStringLiteral("104,2045"));
        QVERIFY(Form->SearchCriteria == Kept);
        QCOMPARE(SummaryLines(Form->ListBox2), Shown);

        OpenEditor(
            [](TFrmSearch& Dialog) {
                Dialog.CitNumsField->click();
                Dialog.ObjTypeField->click();
            },
            true);
        QCOMPARE(SummaryLines(Form->ListBox2), QStringList{"none"});
        QVERIFY(Fake->ModalHandlers.isEmpty());
        // Each dialog lives only as long as its command.
        QVERIFY(Form->findChildren<TFrmSearch*>().isEmpty());
    }

    void criteriaFindTheRightObjects_data() {
        QTest::addColumn<TSearchCriteria>("Criteria");
        QTest::addColumn<QList<int>>("Expected");
        const QList<int> All = {1, 2, 3, 4, 5, 6};

        QTest::newRow("one citnum") << CitNums("5") << QList<int>{2};
        QTest::newRow("empty piece is skipped") << CitNums("5,,7") << QList<int>{2, 3};
        QTest::newRow("a blank stays in its piece") << CitNums("5, 7") << QList<int>{2};
        QTest::newRow("leading zero never equals") << CitNums("05,-5") << QList<int>{5};
        QTest::newRow("empty citnums included") << CitNums("") << QList<int>{};
        QTest::newRow("empty citnums excluded") << CitNums("", true) << All;
        QTest::newRow("citnums excluded") << CitNums("5,7", true) << QList<int>{1, 4, 5, 6};

        QTest::newRow("model patterns") << Models("tree*,BUSH.RWX") << QList<int>{1, 2, 5, 6};
        QTest::newRow("trailing comma finds empty models")
            << Models("tree*,") << QList<int>{1, 4, 5, 6};
        QTest::newRow("empty models excluded") << Models("", true) << All;
        QTest::newRow("single character wildcard") << Models("tree0?") << QList<int>{5};

        QTest::newRow("plain text is the whole description")
            << Description("for sale") << QList<int>{1, 2};
        QTest::newRow("description excluded")
            << Description("for sale", true) << QList<int>{3, 4, 5, 6};
        QTest::newRow("description pattern") << Description("for *") << QList<int>{1, 2, 3, 4};
        QTest::newRow("exact match takes '*' literally")
            << Description("FOR *", false, true) << QList<int>{4};
        QTest::newRow("exact action") << Action("create sign", true) << QList<int>{1, 4, 5};
        QTest::newRow("action pattern") << Action("*color*") << QList<int>{3};

        const TDateTimeValue Early = At(Moment), Late = At(Moment + 100);
        const TDateTimeValue Middle = At(Moment + 50), Past = At(-1);
        const TDateTimeValue Year2100 = At(4102444800LL), Year1800 = At(-5364662400LL);
        QTest::newRow("both bounds included") << Times(&Early, &Late) << QList<int>{1, 2, 6};
        QTest::newRow("latest only finds stamps before 1970")
            << Times(nullptr, &Early) << QList<int>{1, 3, 5};
        QTest::newRow("earliest only") << Times(&Middle, nullptr) << QList<int>{2, 4, 6};
        QTest::newRow("earliest after latest") << Times(&Late, &Early) << QList<int>{};
        QTest::newRow("latest beyond 2038") << Times(nullptr, &Year2100) << All;
        QTest::newRow("earliest before 1901") << Times(&Year1800, &Past) << QList<int>{3, 5};

        TSearchCriteria Both = CitNums("5,7,57");
        Both.Fields.Set(sfModels, true);
        Both.ModelsText = "*tree*";
        QTest::newRow("criteria joined by and") << Both << QList<int>{3, 6};
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

    void objectTypeOverAVersion3File() {
        Load({Obj(1, "a"), Obj(2, "b")}, 3);
        QCOMPARE(Search(ObjType(2, true)), QList<int>({1, 2}));
        QCOMPARE(Search(ObjType(2, false)), QList<int>());
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
        QCOMPARE(Search(CitNums("5")), QList<int>({2, 4, 5, 6}));
        QCOMPARE(RowCells(0), QStringList({"2", "5", "09 Sep 2001 01:46:40",
                                           "12.345N 6.789E 1.50a 90.0", "box.rwx"}));
        QCOMPARE(RowCells(1)[2], QStringLiteral("01 Jan 1970 00:00:00"));
        QCOMPARE(RowCells(1)[4], QString::fromUtf8("« Zone »"));
        QCOMPARE(RowCells(2)[4], QStringLiteral("t1.rwx"));
        QCOMPARE(RowCells(3)[4], QString());
    }

    void countIsShownWithThousandsSeparator() {
        Load(std::vector<TPropObject>(1234, Obj(3, "m")));
        Search(CitNums("3"));
        QCOMPARE(Form->GroupBox3->title(), QStringLiteral("Results: 1,234"));
    }

    void noObjectsChangesNothing() {
        Load({});
        Form->SearchResults->SetRows({TSearchResultsModel::MakeRow(9, "1", "d", "l", "m")});
        Form->GroupBox3->setTitle("Results: 1");
        Fake->Reset();

        Click("DoSearch");
        QCOMPARE(Fake->Messages.size(), 1);
        QCOMPARE(Fake->Messages[0].Text, QStringLiteral("There are no objects in this propdump."));
        QCOMPARE(Fake->Messages[0].Type, TMsgDlgType::Error);
        QCOMPARE(Fake->Messages[0].Buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(Fake->Log, QStringList({"sound Asterisk", "message " + Fake->Messages[0].Text}));
        QCOMPARE(Found(), QList<int>{9});
        QCOMPARE(Form->GroupBox3->title(), QStringLiteral("Results: 1"));
        QVERIFY(Form->DoSearch->isEnabled());
    }

    void noCriteriaClearsAndRestoresFirst() {
        Load(Corpus());
        Search(CitNums("5"));
        Fake->Reset();
        Search(TSearchCriteria());
        QCOMPARE(Fake->Errors, QStringList{"No search criteria specified."});
        QCOMPARE(Fake->Log, QStringList({"cursor push", "cursor pop", "sound Asterisk",
                                         "error No search criteria specified."}));
        QCOMPARE(Found(), QList<int>());
        QCOMPARE(Form->GroupBox3->title(), QStringLiteral("Results: 0"));
        VerifyIdle();
    }

    void clearAfterASearch() {
        Load(Corpus());
        Search(CitNums("5"));
        Fake->Reset();
        Click("ClearSearchResults");
        QCOMPARE(Found(), QList<int>());
        QCOMPARE(Form->GroupBox3->title(), QStringLiteral("Results: 0"));
        Click("ClearSearchResults");
        QCOMPARE(Fake->Sounds, QList<TSoundKind>{TSoundKind::Asterisk});
        QVERIFY(Form->DeleteSearchResults->isEnabled());
    }

    void deleteRemovesExactlyTheFoundObjects() {
        Load(Corpus());
        Search(CitNums("5,7"));
        Fake->Reset();
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
        QVERIFY(Form->DeleteSearchResults->isEnabled());

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
        QVERIFY(!Form->DeleteSearchResults->isEnabled());
        VerifyIdle();
    }

    void doubleClickOpensTheObjectReadOnly() {
        Load(Corpus());
        Form->show();
        Form->PageControl1->setCurrentIndex(TMainForm::SearchTab);
        Search(CitNums("5,57"));
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

        // Nothing selected: nothing opens.
        Fake->ModalHandlers.enqueue([](QDialog&) { return int(QDialog::Rejected); });
        Form->ListView2->clearSelection();
        Form->ListView2DblClick();
        QCOMPARE(Fake->ModalHandlers.size(), 1);
    }

    // While the walk yields, nothing may change the rows, the criteria in use or the document.
    void searchCannotBeDisturbedWhileItRuns() {
        Load(Corpus());
        Form->show();
        Form->PageControl1->setCurrentIndex(TMainForm::SearchTab);
        Search(CitNums("1"));
        TLongLoop::SetYieldInterval(0);
        Fake->ModalHandlers.enqueue([](QDialog&) { return int(QDialog::Accepted); });
        int Calls = 0;
        Fake->OnProcessEvents = [&] {
            if (++Calls != 3)
                return;
            QVERIFY(!Form->DoSearch->isEnabled());
            QTest::mouseClick(Form->SpeedButton3, Qt::LeftButton);
            // Read live, this would turn the rest of the walk upside down.
            Form->SearchCriteria.Exclude.Set(sfCitNums, true);
        };
        QCOMPARE(Search(CitNums("5,7")), QList<int>({2, 3}));
        QCOMPARE(Fake->ModalHandlers.size(), 1);
        VerifyIdle();
    }

    void closingStopsTheSearchAndKeepsWhatItFound() {
        Load(Corpus());
        Form->show();
        TLongLoop::SetYieldInterval(0);
        Fake->OnProcessEvents = [&] {
            if (Form->ProgressBar1->value() == 4)
                Form->close();
        };
        QCOMPARE(Search(CitNums("5,7,57")), QList<int>({2, 3}));
        QCOMPARE(Form->GroupBox3->title(), QStringLiteral("Results: 2"));
        VerifyIdle();
        QTRY_VERIFY(!Form->isVisible());
    }

    void closingDuringADeletionRemovesNothing() {
        Load(Corpus());
        Form->show();
        Form->PageControl1->setCurrentIndex(TMainForm::SearchTab);
        Search(CitNums("5,7,57"));
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
