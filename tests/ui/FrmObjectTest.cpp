#include "support/DialogTesting.h"
#include "support/FakePlatform.h"

#include "model/Propdmp.h"
#include "ui/MaskedDateTimeEdit.h"
#include "ui/MemoEdit.h"
#include "ui/uFrmObject.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace {

const QColor LightGreen(192, 220, 192);

TPropObject SampleObject() {
    TPropObject object;
    object.Owner = 104;
    object.Timestamp = 0;
    object.X = -6789;
    object.Y = 1500;
    object.Z = 12345;
    object.Yaw = 900;
    object.Tilt = -5;
    object.Roll = 450;
    object.Model = "box01.rwx";
    object.Description = "red\r\nbox";
    object.Action = "create color red";
    return object;
}

void ExpectSameObject(const TPropObject& Actual, const TPropObject& Expected) {
    QCOMPARE(Actual.Owner, Expected.Owner);
    QCOMPARE(Actual.Timestamp, Expected.Timestamp);
    QCOMPARE(Actual.X, Expected.X);
    QCOMPARE(Actual.Y, Expected.Y);
    QCOMPARE(Actual.Z, Expected.Z);
    QCOMPARE(Actual.Yaw, Expected.Yaw);
    QCOMPARE(Actual.Tilt, Expected.Tilt);
    QCOMPARE(Actual.Roll, Expected.Roll);
    QCOMPARE(Actual.Model, Expected.Model);
    QCOMPARE(Actual.Description, Expected.Description);
    QCOMPARE(Actual.Action, Expected.Action);
}

} // namespace

class FrmObjectTest : public QObject {
    Q_OBJECT

    FakePlatform Fake;
    TPropObject Object;
    std::unique_ptr<TFrmObject> Dialog;

    // The caller's sequence: create, set the object and the editable state, show.
    TFrmObject& Open(bool Editable = true) {
        Dialog = std::make_unique<TFrmObject>();
        Dialog->PropObject = &Object;
        Dialog->SetEditable(Editable);
        Dialog->show();
        return *Dialog;
    }
    template <typename T> T* Find(const char* Name) { return FindControl<T>(*Dialog, Name); }
    QLineEdit* Edit(const char* Name) { return Find<QLineEdit>(Name); }
    TMemoEdit* Memo(const char* Name) { return Find<TMemoEdit>(Name); }
    static QString Described(QWidget* Field) {
        return QAccessible::queryAccessibleInterface(Field)->text(QAccessible::Description);
    }
    void Retype(QLineEdit* Field, const QString& Text) {
        Field->selectAll();
        QTest::keyClick(Field, Qt::Key_Delete);
        TypeText(Field, Text);
    }
    void Retype(TMemoEdit* Field, const QString& Text) {
        Field->selectAll();
        QTest::keyClick(Field, Qt::Key_Delete);
        TypeText(Field, Text);
    }
    void RetypeTimestamp(const QString& Digits) {
        QLineEdit* field = Edit("Edit2");
        field->selectAll();
        field->setCursorPosition(0);
        QTest::keyClicks(field, Digits);
    }
    void PressOk(QMessageBox::StandardButton Answer) {
        Fake.MessageAnswers.enqueue(Answer);
        QTest::mouseClick(Find<QPushButton>("OkButton"), Qt::LeftButton);
    }
    // Changes model, description and action, the fields written before the timestamp.
    void ChangeTexts() {
        Retype(Edit("Edit1"), QStringLiteral("tree02.rwx"));
        Retype(Memo("Memo1"), QStringLiteral("green"));
        Retype(Memo("Memo2"), QStringLiteral("bump"));
    }

private slots:
    void init() {
        Fake.Reset();
        Object = SampleObject();
    }
    void cleanup() { Dialog.reset(); }

    void showsTheObject() {
        Open();
        QCOMPARE(Dialog->objectName(), QStringLiteral("FrmObject"));
        QCOMPARE(Dialog->windowTitle(), QStringLiteral("Edit Object"));
        QCOMPARE(Dialog->size(), QSize(363, 330));
        const char* labels[][2] = {{"Label1", "Model:"},    {"Label2", "Description:"},
                                   {"Label3", "Action:"},   {"Label4", "Timestamp:"},
                                   {"Label5", "Owner:"},    {"Label6", "Location:"},
                                   {"Label7", "Tilt/roll:"}};
        for (const auto& label : labels)
            QCOMPARE(Find<QLabel>(label[0])->text(), QString::fromLatin1(label[1]));
        QCOMPARE(Edit("Edit1")->text(), QStringLiteral("box01.rwx"));
        QCOMPARE(Memo("Memo1")->Text(), QStringLiteral("red\r\nbox"));
        QCOMPARE(Memo("Memo1")->blockCount(), 2);
        QCOMPARE(Memo("Memo2")->Text(), QStringLiteral("create color red"));
        QCOMPARE(Edit("Edit2")->displayText(), QStringLiteral("01/01/1970 00:00:00"));
        QCOMPARE(Edit("Edit3")->text(), QStringLiteral("104"));
        QCOMPARE(Edit("Edit4")->text(), QStringLiteral("12.345N 6.789E 1.50a 90.0"));
        QCOMPARE(Edit("Edit5")->text(), QStringLiteral("-5"));
        QCOMPARE(Edit("Edit6")->text(), QStringLiteral("450"));
        QCOMPARE(Find<QToolButton>("SpeedButton1")->toolTip(),
                 QStringLiteral("Use today's date/time"));
        QCOMPARE(Edit("Edit2")->toolTip(), QStringLiteral("mm/dd/yyyy hh:mm:ss"));
        QCOMPARE(Find<QPushButton>("OkButton")->text(), QStringLiteral("OK"));
        QCOMPARE(Find<QPushButton>("CancelButton")->text(), QStringLiteral("&Cancel"));
        QVERIFY(!Dialog->ChangesMade);

        QCOMPARE(TabOrder(Edit("Edit1"), 11),
                 QStringList({"Edit1", "Memo1", "Memo2", "Edit2", "SpeedButton1", "Edit3", "Edit4",
                              "Edit5", "Edit6", "OkButton", "CancelButton"}));
    }

    void colourFollowsEditableAndChangedState() {
        Open();
        const char* entries[] = {"Edit1", "Memo1", "Memo2", "Edit2",
                                 "Edit3", "Edit4", "Edit5", "Edit6"};
        for (const char* name : entries)
            QCOMPARE(Background(Find<QWidget>(name)), WindowColour());
        QVERIFY(Find<QToolButton>("SpeedButton1")->isEnabled());

        QTest::keyClicks(Edit("Edit3"), QStringLiteral("5"));
        QCOMPARE(Background(Edit("Edit3")), LightGreen);
        QCOMPARE(Background(Edit("Edit4")), WindowColour());
        // Told to screen readers too, not by colour alone.
        QCOMPARE(Described(Edit("Edit3")), QStringLiteral("changed"));
        QCOMPARE(Described(Edit("Edit4")), QString());
        QVERIFY(Dialog->ChangesMade);
        // Typing the old text back leaves the field changed.
        QTest::keyClick(Edit("Edit3"), Qt::Key_Backspace);
        QCOMPARE(Edit("Edit3")->text(), QStringLiteral("104"));
        QCOMPARE(Background(Edit("Edit3")), LightGreen);
        QVERIFY(Dialog->ChangesMade);
        QTest::keyClicks(Memo("Memo2"), QStringLiteral("x"));
        QCOMPARE(Background(Memo("Memo2")), LightGreen);

        // Showing again fills afresh: nothing counts as changed.
        Dialog->hide();
        Dialog->show();
        QCOMPARE(Background(Edit("Edit3")), WindowColour());
        QCOMPARE(Background(Memo("Memo2")), WindowColour());
        QCOMPARE(Described(Edit("Edit3")), QString());
        QVERIFY(!Dialog->ChangesMade);
    }

    void readOnlyViewChangesNothing() {
        Object.Y = 1234;
        const TPropObject before = Object;
        Open(false);
        const char* lineEdits[] = {"Edit1", "Edit2", "Edit3", "Edit4", "Edit5", "Edit6"};
        for (const char* name : lineEdits) {
            QVERIFY(Edit(name)->isReadOnly());
            QCOMPARE(Background(Edit(name)), ButtonFace());
        }
        for (const char* name : {"Memo1", "Memo2"}) {
            QVERIFY(Memo(name)->isReadOnly());
            QCOMPARE(Background(Memo(name)), ButtonFace());
        }
        QVERIFY(!Find<QToolButton>("SpeedButton1")->isEnabled());
        QTest::keyClicks(Edit("Edit3"), QStringLiteral("77"));
        QTest::keyClicks(Memo("Memo1"), QStringLiteral("more"));
        QCOMPARE(Edit("Edit3")->text(), QStringLiteral("104"));
        QCOMPARE(Memo("Memo1")->Text(), QStringLiteral("red\r\nbox"));
        QVERIFY(!Dialog->ChangesMade);

        PressOk(QMessageBox::Yes);
        QCOMPARE(Fake.Messages.size(), 1);
        QCOMPARE(Fake.Messages[0].Text, QStringLiteral("Apply changes to object?"));
        QCOMPARE(Dialog->result(), int(QDialog::Accepted));
        ExpectSameObject(Object, before);
    }

    void todayButton() {
        Open();
        Fake.MessageAnswers.enqueue(QMessageBox::No);
        QTest::mouseClick(Find<QToolButton>("SpeedButton1"), Qt::LeftButton);
        QCOMPARE(Fake.Messages.size(), 1);
        QCOMPARE(Fake.Messages[0].Text,
                 QStringLiteral("Override timestamp with today's date/time?"));
        QCOMPARE(Fake.Messages[0].Type, TMsgDlgType::Confirmation);
        QCOMPARE(Fake.Messages[0].Buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(Fake.Sounds, QList<TSoundKind>({TSoundKind::Question, TSoundKind::Asterisk}));
        QCOMPARE(Edit("Edit2")->displayText(), QStringLiteral("01/01/1970 00:00:00"));
        QVERIFY(!Dialog->ChangesMade);
        QCOMPARE(Background(Edit("Edit2")), WindowColour());

        Fake.Reset();
        Fake.MessageAnswers.enqueue(QMessageBox::Yes);
        // The keyboard reaches the button too: Enter on it is a click.
        Find<QToolButton>("SpeedButton1")->setFocus();
        QTest::keyClick(Find<QToolButton>("SpeedButton1"), Qt::Key_Return);
        QCOMPARE(Fake.Sounds, QList<TSoundKind>({TSoundKind::Question, TSoundKind::Asterisk}));
        // The fake clock reads 2024-05-17 13:45:30.250; the milliseconds are dropped.
        QCOMPARE(Edit("Edit2")->displayText(), QStringLiteral("05/17/2024 13:45:30"));
        QCOMPARE(Background(Edit("Edit2")), LightGreen);
        QVERIFY(Dialog->ChangesMade);
        // A filled-in timestamp is a change: Cancel asks before abandoning it.
        Fake.MessageAnswers.enqueue(QMessageBox::No);
        QTest::mouseClick(Find<QPushButton>("CancelButton"), Qt::LeftButton);
        QCOMPARE(Fake.Messages.last().Text,
                 QStringLiteral("You are about to LOSE changes you made. Continue?"));
        QVERIFY(Dialog->isVisible());

        PressOk(QMessageBox::Yes);
        QCOMPARE(Object.Timestamp, 1715953530);
    }

    void okAnswers() {
        Object.Y = 1234;
        const TPropObject before = Object;
        Open();
        Retype(Edit("Edit1"), QStringLiteral("tree02.rwx"));

        // Cancel and a closed box keep the dialog open; No closes it as cancelled.
        PressOk(QMessageBox::Cancel);
        PressOk(QMessageBox::NoButton);
        QVERIFY(Dialog->isVisible());
        QCOMPARE(Fake.Messages.size(), 2);
        QCOMPARE(Fake.Messages[0].Buttons,
                 QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(Fake.Sounds, QList<TSoundKind>({TSoundKind::Question, TSoundKind::Question}));
        PressOk(QMessageBox::No);
        QVERIFY(!Dialog->isVisible());
        QCOMPARE(Dialog->result(), int(QDialog::Rejected));
        ExpectSameObject(Object, before);
    }

    void okWithoutChangesKeepsEveryValue() {
        Object.Y = 1234;
        const TPropObject before = Object;
        Open();
        PressOk(QMessageBox::Yes);
        QCOMPARE(Fake.Messages.size(), 1);
        QVERIFY(Fake.Errors.isEmpty());
        QCOMPARE(Dialog->result(), int(QDialog::Accepted));
        // The location shows two decimals of the altitude; untouched, 1234 must not become 1230.
        ExpectSameObject(Object, before);
    }

    void okWritesTheChangedFields() {
        Object.Y = 1234;
        Open();
        ChangeTexts();
        QTest::keyClick(Memo("Memo1"), Qt::Key_Return);
        QTest::keyClicks(Memo("Memo1"), QStringLiteral("leaf"));
        RetypeTimestamp(QStringLiteral("03042021050607"));
        Retype(Edit("Edit3"), QStringLiteral("-7"));
        Retype(Edit("Edit4"), QStringLiteral("1.5S 2W 0.25a 45"));
        Retype(Edit("Edit5"), QStringLiteral("12"));
        Retype(Edit("Edit6"), QStringLiteral("-2147483648"));
        PressOk(QMessageBox::Yes);
        QVERIFY(Fake.Errors.isEmpty());
        QCOMPARE(Dialog->result(), int(QDialog::Accepted));
        QCOMPARE(Object.Model, std::string("tree02.rwx"));
        QCOMPARE(Object.Description, std::string("green\r\nleaf"));
        QCOMPARE(Object.Action, std::string("bump"));
        QCOMPARE(Object.Timestamp, 1614834367);
        QCOMPARE(Object.Owner, -7);
        QCOMPARE(Object.Z, -1500);
        QCOMPARE(Object.X, 2000);
        QCOMPARE(Object.Y, 250);
        QCOMPARE(Object.Yaw, 450);
        QCOMPARE(Object.Tilt, 12);
        QCOMPARE(Object.Roll, int32_t(-2147483647 - 1));
    }

    void typedLineBreakKeepsTheTextsOwnStyle() {
        Object.Description = "one\ntwo";
        Open();
        QTest::keyClick(Memo("Memo1"), Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(Memo("Memo1"), Qt::Key_Return);
        QTest::keyClicks(Memo("Memo1"), QStringLiteral("three"));
        PressOk(QMessageBox::Yes);
        QCOMPARE(Object.Description, std::string("one\ntwo\nthree"));
    }

    void cancelAsksOnlyAfterChanges() {
        Open();
        QTest::mouseClick(Find<QPushButton>("CancelButton"), Qt::LeftButton);
        QVERIFY(Fake.Messages.isEmpty());
        QCOMPARE(Dialog->result(), int(QDialog::Rejected));
        QVERIFY(!Dialog->isVisible());

        Open();
        QTest::keyClicks(Edit("Edit5"), QStringLiteral("1"));
        Fake.MessageAnswers.enqueue(QMessageBox::No);
        QTest::mouseClick(Find<QPushButton>("CancelButton"), Qt::LeftButton);
        QCOMPARE(Fake.Messages.size(), 1);
        QCOMPARE(Fake.Messages[0].Text,
                 QStringLiteral("You are about to LOSE changes you made. Continue?"));
        QCOMPARE(Fake.Messages[0].Buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(Dialog->isVisible());

        // Escape is the Cancel button, question included.
        Fake.MessageAnswers.enqueue(QMessageBox::Yes);
        QTest::keyClick(Edit("Edit5"), Qt::Key_Escape);
        QCOMPARE(Fake.Messages.size(), 2);
        QVERIFY(!Dialog->isVisible());
        QCOMPARE(Dialog->result(), int(QDialog::Rejected));
        QCOMPARE(Object.Tilt, -5);
    }

    void windowFrameClosesWithoutAsking() {
        Open();
        QTest::keyClicks(Edit("Edit3"), QStringLiteral("9"));
        Dialog->close();
        QVERIFY(Fake.Messages.isEmpty());
        QVERIFY(!Dialog->isVisible());
        QCOMPARE(Dialog->result(), int(QDialog::Rejected));
    }

    void enterInAFieldDoesNotConfirm() {
        Open();
        QTest::keyClick(Edit("Edit3"), Qt::Key_Return);
        QVERIFY(Fake.Messages.isEmpty());
        QVERIFY(Dialog->isVisible());
    }

    // A value OK cannot convert is refused and leaves the object as it was, also the fields typed
    // before it; Cancel afterwards keeps it so.
    void refusedOkChangesNothing_data() {
        QTest::addColumn<QString>("Timestamp");
        QTest::addColumn<QString>("Owner");
        QTest::addColumn<QString>("Error");
        QTest::newRow("bad owner") << "03042021050607" << "12x"
                                   << "'12x' is not a valid integer value.";
        QTest::newRow("bad timestamp") << "02302020100000" << "55"
                                       << "Invalid argument to date encode.";
    }
    void refusedOkChangesNothing() {
        QFETCH(QString, Timestamp);
        QFETCH(QString, Owner);
        QFETCH(QString, Error);
        Open();
        const std::string Before = Object.FormatLine(4);
        ChangeTexts();
        RetypeTimestamp(Timestamp);
        Retype(Edit("Edit3"), Owner);
        Retype(Edit("Edit5"), QStringLiteral("33"));
        PressOk(QMessageBox::Yes);
        QCOMPARE(Fake.Errors, QStringList({Error}));
        QVERIFY(Dialog->isVisible());
        QCOMPARE(Object.FormatLine(4), Before);

        Fake.MessageAnswers.enqueue(QMessageBox::Yes);
        QTest::mouseClick(Find<QPushButton>("CancelButton"), Qt::LeftButton);
        QCOMPARE(Dialog->result(), int(QDialog::Rejected));
        QCOMPARE(Object.FormatLine(4), Before);
    }

    void timestampOutsideTheRangeIsRefused() {
        Open();
        RetypeTimestamp(QStringLiteral("01192038031408"));
        PressOk(QMessageBox::Yes);
        QCOMPARE(Fake.Errors.size(), 1);
        QVERIFY2(Fake.Errors[0].contains(QStringLiteral("outside the range")),
                 qPrintable(Fake.Errors[0]));
        QCOMPARE(Object.Timestamp, 0);
        QVERIFY(Dialog->isVisible());

        RetypeTimestamp(QStringLiteral("01192038031407"));
        PressOk(QMessageBox::Yes);
        QCOMPARE(Object.Timestamp, 2147483647);
    }

    void locationThatCannotBeReadMovesToZero() {
        Open();
        Retype(Edit("Edit4"), QStringLiteral("abc"));
        PressOk(QMessageBox::Yes);
        QVERIFY(Fake.Errors.isEmpty());
        QCOMPARE(Dialog->result(), int(QDialog::Accepted));
        QCOMPARE(Object.X, 0);
        QCOMPARE(Object.Y, 0);
        QCOMPARE(Object.Z, 0);
        QCOMPARE(Object.Yaw, 0);
    }

    void locationOutsideTheRangeIsRefused() {
        Open();
        Retype(Edit("Edit4"), QStringLiteral("3000000N 0W"));
        PressOk(QMessageBox::Yes);
        QCOMPARE(Fake.Errors.size(), 1);
        QCOMPARE(Object.Z, 12345);
        QVERIFY(Dialog->isVisible());
    }

    // A text the file cannot hold, pasted into a field, is refused on OK naming the field, and
    // nothing is written.
    void textTheFileCannotHoldIsRefused_data() {
        QTest::addColumn<QString>("Field");
        QTest::addColumn<QString>("Pasted");
        QTest::addColumn<QString>("Error");
        const QString Nul(QChar(0));
        QTest::newRow("character outside the code page")
            << "Memo1" << QStringLiteral("snow \u2603 man")
            << "The Description contains characters that cannot be saved in a propdump file.";
        QTest::newRow("NUL in the model")
            << "Edit1"
            << "a" + Nul + "b"
            << "The Model contains a NUL character, which cannot be saved in a propdump file.";
        QTest::newRow("NUL in the description") << "Memo1" << Nul
                                                << "The Description contains a NUL character, "
                                                   "which cannot be saved in a propdump file.";
        QTest::newRow("NUL in the action")
            << "Memo2"
            << "go" + Nul
            << "The Action contains a NUL character, which cannot be saved in a propdump file.";
    }
    void textTheFileCannotHoldIsRefused() {
        QFETCH(QString, Field);
        QFETCH(QString, Pasted);
        QFETCH(QString, Error);
        Open();
        QWidget* Target = Find<QWidget>(qPrintable(Field));
        const std::string Before = Object.FormatLine(4);
        ChangeTexts();
        Retype(Edit("Edit3"), QStringLiteral("7"));
        QGuiApplication::clipboard()->setText(Pasted);
        if (auto* Line = qobject_cast<QLineEdit*>(Target))
            Line->selectAll();
        else
            qobject_cast<TMemoEdit*>(Target)->selectAll();
        QTest::keyClick(Target, Qt::Key_V, Qt::ControlModifier);
        PressOk(QMessageBox::Yes);
        QCOMPARE(Fake.Errors, QStringList({Error}));
        QVERIFY(Dialog->isVisible());
        QCOMPARE(Object.FormatLine(4), Before);
    }

    // Inside the dialog the time field keeps its own rules: it cannot be left incomplete, and
    // Escape first takes the field back; only a second Escape is the dialog's Cancel.
    void timestampFieldInsideTheDialog() {
        Open();
        QVERIFY(QTest::qWaitForWindowActive(Dialog.get()));
        QLineEdit* Time = Edit("Edit2");
        Time->setFocus();
        Time->selectAll();
        QTest::keyClick(Time, Qt::Key_Delete);
        Time->setCursorPosition(0);
        QTest::keyClicks(Time, QStringLiteral("0203"));
        QTest::keyClick(Time, Qt::Key_Tab);
        QCOMPARE(Fake.Messages.size(), 1);
        QCOMPARE(Fake.Messages[0].Text,
                 QStringLiteral("Invalid input value.  Use escape key to abandon changes"));
        QVERIFY(Time->hasFocus());

        QTest::keyClick(Time, Qt::Key_Escape);
        QCOMPARE(Time->displayText(), QStringLiteral("01/01/1970 00:00:00"));
        QCOMPARE(Fake.Messages.size(), 1);
        Fake.MessageAnswers.enqueue(QMessageBox::No);
        QTest::keyClick(Time, Qt::Key_Escape);
        QCOMPARE(Fake.Messages.size(), 2);
        QCOMPARE(Fake.Messages[1].Text,
                 QStringLiteral("You are about to LOSE changes you made. Continue?"));
        QVERIFY(Dialog->isVisible());
    }

    void modelRefusesALineBreak() {
        Open();
        QGuiApplication::clipboard()->setText(QStringLiteral("tree\r\n03.rwx"));
        QLineEdit* model = Edit("Edit1");
        model->selectAll();
        QTest::keyClick(model, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(model->text(), QStringLiteral("box01.rwx"));
        QCOMPARE(Fake.Messages.size(), 1);
        QVERIFY(Fake.Messages[0].Text.contains(QStringLiteral("line break")));
        QVERIFY(!Dialog->ChangesMade);
        QCOMPARE(Background(model), WindowColour());
    }
};

QTEST_MAIN(FrmObjectTest)
#include "FrmObjectTest.moc"
