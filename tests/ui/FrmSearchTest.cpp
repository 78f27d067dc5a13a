#include "support/DialogTesting.h"
#include "support/FakePlatform.h"

#include "text/DateTimeText.h"
#include "ui/MaskedDateTimeEdit.h"
#include "ui/MemoEdit.h"
#include "ui/uFrmSearch.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace {

// Every criterion on, with values the dialog can show and store unchanged.
TSearchCriteria FullCriteria() {
    TSearchCriteria criteria;
    for (TSearchField field :
         {sfCitNums, sfModels, sfDescription, sfAction, sfMinTime, sfMaxTime, sfObjType})
        criteria.Fields.Set(field, true);
    criteria.Exclude.Set(sfCitNums, true);
    criteria.Exclude.Set(sfAction, true);
    criteria.Exclude.Set(sfObjType, true);
    criteria.ExactMatch.Set(sfDescription, true);
    criteria.CitNumsText = "104,2045";
    criteria.ModelsText = "tree*,box?.rwx";
    criteria.DescriptionText = "for sale\r\ncheap";
    criteria.ActionText = "create sign \xabhi\xbb";
    criteria.MinTime = SecondsToDateTime(1000000000);
    criteria.MaxTime = SecondsToDateTime(1265169906);
    criteria.ObjType = 4;
    return criteria;
}

} // namespace

class FrmSearchTest : public QObject {
    Q_OBJECT

    FakePlatform Fake;
    std::unique_ptr<TFrmSearch> Dialog;

    TFrmSearch& Open(const TSearchCriteria& Criteria = {}) {
        Dialog = std::make_unique<TFrmSearch>();
        Dialog->Criteria = Criteria;
        Dialog->show();
        return *Dialog;
    }
    template <typename T> T* Find(const char* Name) { return FindControl<T>(*Dialog, Name); }
    QCheckBox* Box(const char* Name) { return Find<QCheckBox>(Name); }
    TMemoEdit* Memo(const char* Name) { return Find<TMemoEdit>(Name); }
    TMaskedDateTimeEdit* Time(const char* Name) { return Find<TMaskedDateTimeEdit>(Name); }
    void Append(const char* Name, const QString& Keys) {
        QTest::keyClick(Memo(Name), Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(Memo(Name), Keys);
    }
    void Tick(const char* Name) { QTest::mouseClick(Box(Name), Qt::LeftButton); }
    void PressOk() { QTest::mouseClick(Find<QPushButton>("OkButton"), Qt::LeftButton); }
    void RetypeTime(const char* Name, const QString& Keys) {
        Time(Name)->selectAll();
        QTest::keyClick(Time(Name), Qt::Key_Delete);
        Time(Name)->setCursorPosition(0);
        QTest::keyClicks(Time(Name), Keys);
    }

private slots:
    void init() { Fake.Reset(); }
    void cleanup() { Dialog.reset(); }

    void freshDialogShowsTheDefaults() {
        Open();
        QCOMPARE(Dialog->objectName(), QStringLiteral("FrmSearch"));
        QCOMPARE(Dialog->windowTitle(), QStringLiteral("Edit Search Criteria"));
        QCOMPARE(Dialog->size(), QSize(353, 490));
        const char* captions[][2] = {{"CitNumsField", "Citizen Numbers:"},
                                     {"ModelsField", "Models:"},
                                     {"DescriptionField", "Description:"},
                                     {"ActionField", "Action:"},
                                     {"MinTimeField", "Earliest time:"},
                                     {"MaxTimeField", "Latest time:"},
                                     {"ObjTypeField", "V4 Object type:"},
                                     {"CitNumsExclude", "exclude"},
                                     {"ModelsExclude", "exclude"},
                                     {"DescriptionExclude", "exclude"},
                                     {"ActionExclude", "exclude"},
                                     {"ObjTypeExclude", "exclude"},
                                     {"DescriptionExactMatch", "exact match"},
                                     {"ActionExactMatch", "exact match"}};
        for (const auto& caption : captions) {
            QCOMPARE(Box(caption[0])->text(), QString::fromLatin1(caption[1]));
            QVERIFY(!Box(caption[0])->isChecked());
            QCOMPARE(Box(caption[0])->cursor().shape(), Qt::PointingHandCursor);
        }
        for (const char* input :
             {"Memo1", "Memo2", "Memo3", "Memo4", "Edit1", "Edit2", "ComboBox1"}) {
            QVERIFY2(!Find<QWidget>(input)->isEnabled(), input);
            QCOMPARE(Background(Find<QWidget>(input)), ButtonFace());
        }
        QVERIFY(!Box("CitNumsExclude")->isEnabled());
        QCOMPARE(Time("Edit1")->Text(), QStringLiteral("06/15/1995 00:00:00"));
        QCOMPARE(Time("Edit2")->Text(), QStringLiteral("12/31/2037 11:59:59"));
        QCOMPARE(Time("Edit1")->toolTip(), QStringLiteral("mm/dd/yyyy hh:mm:ss"));
        auto* combo = Find<QComboBox>("ComboBox1");
        QVERIFY(!combo->isEditable());
        QCOMPARE(combo->currentIndex(), -1);
        QCOMPARE(combo->count(), 4);
        QCOMPARE(combo->itemText(1), QStringLiteral("Particle Emitter"));
        QCOMPARE(Find<QPushButton>("OkButton")->text(), QStringLiteral("&OK"));

        // Tab goes down the form; the object type's "exclude" box comes last.
        const QStringList order = TabOrder(Box("CitNumsField"), 23);
        QCOMPARE(order.mid(19),
                 QStringList({"ComboBox1", "OkButton", "CancelButton", "ObjTypeExclude"}));
        QCOMPARE(order.mid(0, 4),
                 QStringList({"CitNumsField", "Memo1", "CitNumsExclude", "ModelsField"}));
    }

    void criterionBoxEnablesItsInputsAndKeepsTheSets() {
        Open();
        Tick("DescriptionField");
        QVERIFY(Memo("Memo3")->isEnabled());
        QCOMPARE(Background(Memo("Memo3")), WindowColour());
        QVERIFY(Box("DescriptionExactMatch")->isEnabled());
        QVERIFY(Box("DescriptionExclude")->isEnabled());
        QVERIFY(Dialog->Criteria.Fields.Has(sfDescription));
        Tick("DescriptionExactMatch");
        QVERIFY(Dialog->Criteria.ExactMatch.Has(sfDescription));
        Tick("DescriptionField");
        QVERIFY(!Memo("Memo3")->isEnabled());
        QVERIFY(!Box("DescriptionExactMatch")->isEnabled());
        QVERIFY(Box("DescriptionExactMatch")->isChecked());
        QVERIFY(!Dialog->Criteria.Fields.Has(sfDescription));
        QVERIFY(Dialog->Criteria.ExactMatch.Has(sfDescription));

        Tick("ObjTypeField");
        QVERIFY(Find<QComboBox>("ComboBox1")->isEnabled());
        Tick("ObjTypeExclude");
        QVERIFY(Dialog->Criteria.Exclude.Has(sfObjType));
    }

    void loadsAndStoresEveryField() {
        const TSearchCriteria full = FullCriteria();
        Open(full);
        QCOMPARE(Memo("Memo1")->Text(), QStringLiteral("104,2045"));
        QCOMPARE(Memo("Memo2")->Text(), QStringLiteral("tree*,box?.rwx"));
        QCOMPARE(Memo("Memo3")->Text(), QStringLiteral("for sale\r\ncheap"));
        QCOMPARE(Memo("Memo4")->Text(), QStringLiteral(u"create sign \u00abhi\u00bb"));
        QCOMPARE(Time("Edit1")->Text(), QStringLiteral("09/09/2001 01:46:40"));
        QCOMPARE(Time("Edit2")->Text(), QStringLiteral("02/03/2010 04:05:06"));
        QCOMPARE(Find<QComboBox>("ComboBox1")->currentText(), QStringLiteral("Mover"));
        for (const char* ticked :
             {"CitNumsField", "CitNumsExclude", "ModelsField", "DescriptionField",
              "DescriptionExactMatch", "ActionField", "ActionExclude", "MinTimeField",
              "MaxTimeField", "ObjTypeField", "ObjTypeExclude"})
            QVERIFY2(Box(ticked)->isChecked() && Box(ticked)->isEnabled(), ticked);
        for (const char* clear : {"ModelsExclude", "DescriptionExclude", "ActionExactMatch"})
            QVERIFY2(!Box(clear)->isChecked() && Box(clear)->isEnabled(), clear);
        QCOMPARE(Background(Time("Edit1")), WindowColour());

        PressOk();
        QVERIFY(Fake.Errors.isEmpty());
        QCOMPARE(Dialog->result(), int(QDialog::Accepted));
        QVERIFY(Dialog->Criteria == full);

        Open(full);
        Append("Memo1", QStringLiteral(",7"));
        Append("Memo2", QStringLiteral(",x"));
        Append("Memo3", QStringLiteral("\r"));
        Append("Memo4", QStringLiteral("!"));
        RetypeTime("Edit1", QStringLiteral("06151995000000"));
        RetypeTime("Edit2", QStringLiteral("1/2/2020 9:05:00"));
        Find<QComboBox>("ComboBox1")->setCurrentIndex(0);
        Tick("ModelsExclude");
        PressOk();
        QVERIFY(Fake.Errors.isEmpty());
        const TSearchCriteria& stored = Dialog->Criteria;
        QCOMPARE(stored.CitNumsText, std::string("104,2045,7"));
        QCOMPARE(stored.ModelsText, std::string("tree*,box?.rwx,x"));
        QCOMPARE(stored.DescriptionText, std::string("for sale\r\ncheap\r\n"));
        QCOMPARE(stored.ActionText, std::string("create sign \xabhi\xbb!"));
        QCOMPARE(DateTimeToSeconds(stored.MinTime), int64_t(803174400));
        QCOMPARE(DateTimeToSeconds(stored.MaxTime), int64_t(1577955900));
        QCOMPARE(stored.ObjType, 2);
        QVERIFY(stored.Exclude.Has(sfModels));
    }

    void criterionOffKeepsItsValueAndOptions() {
        TSearchCriteria criteria;
        criteria.Exclude.Set(sfCitNums, true);
        criteria.ExactMatch.Set(sfAction, true);
        criteria.CitNumsText = "104";
        criteria.MinTime = SecondsToDateTime(1000000000);
        criteria.ObjType = 5;
        Open(criteria);
        // Inputs of criteria that are off keep their defaults; the options show, disabled.
        QCOMPARE(Memo("Memo1")->Text(), QString());
        QVERIFY(!Memo("Memo1")->isEnabled());
        QVERIFY(Box("CitNumsExclude")->isChecked());
        QVERIFY(!Box("CitNumsExclude")->isEnabled());
        QVERIFY(Box("ActionExactMatch")->isChecked());
        QCOMPARE(Time("Edit1")->Text(), QStringLiteral("06/15/1995 00:00:00"));
        QCOMPARE(Find<QComboBox>("ComboBox1")->currentIndex(), -1);
        PressOk();
        QVERIFY(Dialog->Criteria == criteria);

        // Switched on again, the new input is stored and the old option applies.
        Open(criteria);
        Tick("CitNumsField");
        QTest::keyClicks(Memo("Memo1"), QStringLiteral("55"));
        PressOk();
        QCOMPARE(Dialog->Criteria.CitNumsText, std::string("55"));
        QVERIFY(Dialog->Criteria.Exclude.Has(sfCitNums));
    }

    void citizenNumbersTakeOnlyDigitsAndCommas() {
        Open();
        Tick("CitNumsField");
        TMemoEdit* memo = Memo("Memo1");
        QTest::keyClicks(memo, QStringLiteral("1a2-3 ,4"));
        QCOMPARE(memo->Text(), QStringLiteral("123,4"));
        QCOMPARE(Fake.Sounds, QList<TSoundKind>(3, TSoundKind::Asterisk));
        QTest::keyClick(memo, Qt::Key_Backspace);
        QTest::keyClick(memo, Qt::Key_Return);
        QCOMPARE(memo->Text(), QStringLiteral("123,"));
        QCOMPARE(Fake.Sounds.size(), 4);

        // A paste keeps what could have been typed, with one sound for the rest.
        Fake.Reset();
        QGuiApplication::clipboard()->setText(QStringLiteral("12 x,\r\n34"));
        QTest::keyClick(memo, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(memo->Text(), QStringLiteral("123,12,34"));
        QCOMPARE(Fake.Sounds, QList<TSoundKind>({TSoundKind::Asterisk}));
        // Key combinations with Ctrl are the field's own commands, not characters.
        QTest::keyClick(memo, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(memo->textCursor().selectedText(), QStringLiteral("123,12,34"));
        QCOMPARE(Fake.Sounds.size(), 1);
    }

    void enterBreaksLinesOnlyInDescriptionAndAction() {
        Open(FullCriteria());
        Memo("Memo2")->SetText(QString());
        QTest::keyClicks(Memo("Memo2"), QStringLiteral("a"));
        QTest::keyClick(Memo("Memo2"), Qt::Key_Return);
        QTest::keyClicks(Memo("Memo2"), QStringLiteral("b"));
        QCOMPARE(Memo("Memo2")->Text(), QStringLiteral("ab"));
        QVERIFY(Fake.Sounds.isEmpty());
        QVERIFY(Dialog->isVisible());
        Memo("Memo4")->SetText(QStringLiteral("a"));
        Append("Memo4", QStringLiteral("\rb"));
        PressOk();
        QCOMPARE(Dialog->Criteria.ActionText, std::string("a\r\nb"));
    }

    void textsHoldAtMost255Characters() {
        Open();
        Tick("ModelsField");
        Tick("DescriptionField");
        TMemoEdit* models = Memo("Memo2");
        const QString exactly255(255, u'm');
        QGuiApplication::clipboard()->setText(exactly255);
        QTest::keyClick(models, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClicks(models, QStringLiteral("zz"));
        QCOMPARE(models->Text(), exactly255);

        // A line break takes two of the 255, as it is stored as CR LF.
        TMemoEdit* description = Memo("Memo3");
        QGuiApplication::clipboard()->setText(QString(253, u'd'));
        QTest::keyClick(description, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(description, Qt::Key_Return);
        QCOMPARE(description->TextLength(), 255);
        QTest::keyClick(description, Qt::Key_Return);
        QCOMPARE(description->TextLength(), 255);
        QGuiApplication::clipboard()->setText(QString(300, u'e'));
        QTest::keyClick(description, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(description->TextLength(), 255);

        PressOk();
        QCOMPARE(Dialog->Criteria.ModelsText, std::string(255, 'm'));
        QCOMPARE(Dialog->Criteria.DescriptionText, std::string(253, 'd') + "\r\n");
    }

    void defaultLatestTimeIsElevenInTheMorning() {
        Open();
        Tick("MaxTimeField");
        PressOk();
        QCOMPARE(DateTimeToSeconds(Dialog->Criteria.MaxTime), int64_t(2145873599));
        QCOMPARE(SearchCriteriaSummary(Dialog->Criteria),
                 QStringList({"Latest time: 31 Dec 2037 11:59:59"}));
    }

    void objectTypeWithoutChoiceIsUnknown() {
        Open();
        Tick("ObjTypeField");
        PressOk();
        QCOMPARE(Dialog->Criteria.ObjType, 1);
        QCOMPARE(SearchCriteriaSummary(Dialog->Criteria),
                 QStringList(
                     {QStringLiteral(u"Include object type: \u00ab Unknown Object Type \u00bb")}));
    }

    void cancelStoresNothing() {
        const TSearchCriteria criteria = FullCriteria();
        Open(criteria);
        QTest::keyClicks(Memo("Memo1"), QStringLiteral("9"));
        RetypeTime("Edit1", QStringLiteral("01012000000000"));
        QTest::mouseClick(Find<QPushButton>("CancelButton"), Qt::LeftButton);
        QCOMPARE(Dialog->result(), int(QDialog::Rejected));
        QVERIFY(!Dialog->isVisible());
        QVERIFY(Dialog->Criteria == criteria);

        Open(criteria);
        QTest::keyClicks(Memo("Memo2"), QStringLiteral("q"));
        QTest::keyClick(Memo("Memo2"), Qt::Key_Escape);
        QCOMPARE(Dialog->result(), int(QDialog::Rejected));
        QVERIFY(!Dialog->isVisible());
        QVERIFY(Dialog->Criteria == criteria);
        QVERIFY(Fake.Messages.isEmpty());
    }

    void badTimeKeepsTheDialogOpen_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("error");
        QTest::newRow("month 13") << "13012020100000"
                                  << "Invalid argument to date encode.";
        QTest::newRow("hour 24") << "12312020240000"
                                 << "Invalid argument to time encode.";
        QTest::newRow("year missing") << "1231"
                                      << "'12/31/       :  :  ' is not a valid date and time.";
    }
    void badTimeKeepsTheDialogOpen() {
        QFETCH(QString, typed);
        QFETCH(QString, error);
        Open();
        Tick("ModelsField");
        Tick("MinTimeField");
        QTest::keyClicks(Memo("Memo2"), QStringLiteral("tree*"));
        RetypeTime("Edit1", typed);
        PressOk();
        QCOMPARE(Fake.Errors, QStringList({error}));
        QVERIFY(Dialog->isVisible());
        QCOMPARE(Dialog->result(), int(QDialog::Rejected));
        // Fields before the failing one reached only the dialog's own copy.
        QCOMPARE(Dialog->Criteria.ModelsText, std::string("tree*"));
        QCOMPARE(Dialog->Criteria.MinTime, 0.0);
    }

    void incompleteTimeFieldCannotBeLeft() {
        Open();
        QVERIFY(QTest::qWaitForWindowActive(Dialog.get()));
        Tick("MaxTimeField");
        Time("Edit2")->setFocus();
        RetypeTime("Edit2", QStringLiteral("1231"));
        QTest::keyClick(Time("Edit2"), Qt::Key_Tab);
        QCOMPARE(Fake.Messages.size(), 1);
        QCOMPARE(Fake.Messages[0].Text, TMaskedDateTimeEdit::InvalidInputMessage());
        QVERIFY(Time("Edit2")->hasFocus());
    }

    void characterOutsideTheCodePageIsRefused() {
        Open();
        Tick("ModelsField");
        TypeText(Memo("Memo2"), QStringLiteral(u"\u4e2d"));
        PressOk();
        QCOMPARE(Fake.Errors, QStringList({"The Models criterion contains characters that cannot "
                                           "appear in a propdump file."}));
        QVERIFY(Dialog->isVisible());
    }

    void summaryLines() {
        QCOMPARE(SearchCriteriaSummary(TSearchCriteria{}), QStringList({"none"}));
        TSearchCriteria off = FullCriteria();
        off.Fields = TSearchFields{};
        QCOMPARE(SearchCriteriaSummary(off), QStringList({"none"}));

        // A text of several lines stays on its one row, its line breaks marked.
        TSearchCriteria criteria = FullCriteria();
        criteria.ModelsText = "100%1";
        criteria.ActionText = "create\rsign\n\xabhi\xbb";
        criteria.MinTime = SecondsToDateTime(803174400);
        QCOMPARE(
            SearchCriteriaSummary(criteria),
            QStringList({"Exclude cit#s: 104,2045", "Include models: 100%1",
                         QStringLiteral(u"Include description, exact match: for sale\u00b6cheap"),
                         QStringLiteral(u"Exclude action: create\u00b6sign\u00b6\u00abhi\u00bb"),
                         "Earliest time: 15 Jun 1995 00:00:00", "Latest time: 03 Feb 2010 04:05:06",
                         QStringLiteral(u"Exclude object type: \u00ab Mover \u00bb")}));

        TSearchCriteria empty;
        empty.Fields.Set(sfDescription, true);
        empty.Fields.Set(sfObjType, true);
        empty.ObjType = 9;
        QCOMPARE(SearchCriteriaSummary(empty),
                 QStringList({"Include description: ", "Include object type: ???"}));
    }
};

QTEST_MAIN(FrmSearchTest)
#include "FrmSearchTest.moc"
