#include "support/FakePlatform.h"

#include "model/Convert.h"
#include "text/DateTimeText.h"
#include "ui/MaskedDateTimeEdit.h"

#include <QDialog>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

class MaskedDateTimeEditTest : public QObject {
    Q_OBJECT

    FakePlatform Fake;

    // A shown, active window with the field and a second field to move to.
    struct TWindow {
        QDialog Dialog;
        TMaskedDateTimeEdit* Field = new TMaskedDateTimeEdit(&Dialog);
        QLineEdit* Next = new QLineEdit(&Dialog);
        TWindow() {
            auto* layout = new QVBoxLayout(&Dialog);
            layout->addWidget(Field);
            layout->addWidget(Next);
            Dialog.show();
            Dialog.activateWindow();
        }
    };

private slots:
    void init() { Fake.Reset(); }

    void readsOmittedDigitsAsLeadingBlanks_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("complete");
        QTest::newRow("every digit") << "12312020235959"
                                     << "12/31/2020 23:59:59" << true;
        QTest::newRow("short month, day and hour") << "1/2/2020 9:05:00"
                                                   << " 1/ 2/2020  9:05:00" << true;
        QTest::newRow("nothing") << ""
                                 << "  /  /       :  :  " << false;
        QTest::newRow("no hour digit") << "01012020 :00:00"
                                       << "01/01/2020   :00:00" << false;
        QTest::newRow("short year") << "0101202"
                                    << "01/01/ 202   :  :  " << false;
        QTest::newRow("month left empty") << "/2/2020 10:00:00"
                                          << "  / 2/2020 10:00:00" << true;
    }
    void readsOmittedDigitsAsLeadingBlanks() {
        QFETCH(QString, typed);
        QFETCH(QString, text);
        QFETCH(bool, complete);
        TMaskedDateTimeEdit field;
        field.SetText(QString());
        field.setCursorPosition(0);
        QTest::keyClicks(&field, typed);
        QCOMPARE(field.Text(), text);
        QCOMPARE(field.IsComplete(), complete);
    }

    void leadingBlanksReadAsTheSameTime() {
        TMaskedDateTimeEdit field;
        field.setCursorPosition(0);
        QTest::keyClicks(&field, QStringLiteral("1/2/2020 9:05:00"));
        QCOMPARE(DateTimeToSeconds(field.DateTime()), int64_t(1577955900));
    }

    void textWithoutAWholeYearKeepsOnlyTheDate() {
        TMaskedDateTimeEdit field;
        field.SetText(QStringLiteral("06/15/  95 10:00:00"));
        QCOMPARE(field.Text(), QStringLiteral("06/15/       :  :  "));
    }

    void showsBlanksAsUnderscores() {
        TMaskedDateTimeEdit field;
        QCOMPARE(field.displayText(), QStringLiteral("__/__/____ __:__:__"));
        field.SetText(QStringLiteral(" 1/ 2/2020  9:05:00"));
        QCOMPARE(field.displayText(), QStringLiteral("_1/_2/2020 _9:05:00"));
        QCOMPARE(field.Text(), QStringLiteral(" 1/ 2/2020  9:05:00"));
    }

    void incompleteFieldIsNotReadAsADate() {
        TMaskedDateTimeEdit field;
        field.setCursorPosition(0);
        QTest::keyClicks(&field, QStringLiteral("061519 00:00:00"));
        try {
            field.DateTime();
            QFAIL("an incomplete year was read");
        } catch (const EConvertError& Error) {
            QCOMPARE(QString::fromStdString(Error.what()),
                     QStringLiteral("'06/15/  19 00:00:00' is not a valid date and time"));
        }
    }

    void leavingAnIncompleteFieldIsRefused() {
        TWindow window;
        QVERIFY(QTest::qWaitForWindowActive(&window.Dialog));
        window.Field->setFocus();
        window.Field->setCursorPosition(0);
        QTest::keyClicks(window.Field, QStringLiteral("12312020"));
        QTest::keyClick(window.Field, Qt::Key_Tab);
        QCOMPARE(Fake.Messages.size(), 1);
        QCOMPARE(Fake.Messages[0].Text,
                 QStringLiteral("Invalid input value.  Use escape key to abandon changes"));
        QCOMPARE(Fake.Sounds.size(), 1);
        QVERIFY(window.Field->hasFocus());
        // The cursor waits at the first missing digit.
        QCOMPARE(window.Field->cursorPosition(), 11);

        QTest::keyClicks(window.Field, QStringLiteral("9:05:00"));
        QTest::keyClick(window.Field, Qt::Key_Tab);
        QCOMPARE(Fake.Messages.size(), 1);
        QVERIFY(window.Next->hasFocus());
        QCOMPARE(window.Field->displayText(), QStringLiteral("12/31/2020 _9:05:00"));
    }

    void escapeAbandonsTheChanges() {
        TWindow window;
        QVERIFY(QTest::qWaitForWindowActive(&window.Dialog));
        window.Field->SetText(QStringLiteral("06/15/1995 00:00:00"));
        window.Field->setFocus();
        window.Field->selectAll();
        QTest::keyClick(window.Field, Qt::Key_Delete);
        QTest::keyClicks(window.Field, QStringLiteral("07"));
        QTest::keyClick(window.Field, Qt::Key_Tab);
        QCOMPARE(Fake.Messages.size(), 1);
        QTest::keyClick(window.Field, Qt::Key_Escape);
        QCOMPARE(window.Field->Text(), QStringLiteral("06/15/1995 00:00:00"));
        // The Escape went to the field, not to the dialog.
        QVERIFY(window.Dialog.isVisible());
        QTest::keyClick(window.Field, Qt::Key_Escape);
        QVERIFY(!window.Dialog.isVisible());
    }
};

QTEST_MAIN(MaskedDateTimeEditTest)
#include "MaskedDateTimeEditTest.moc"
