// What a screen reader hears and what the keyboard alone can do, in every window.

#include "support/DialogTesting.h"
#include "support/FakePlatform.h"

#include "ui/Accessibility.h"
#include "ui/SearchResultsModel.h"
#include "ui/uFrmObject.h"
#include "ui/uFrmSearch.h"
#include "ui/uFrmSetVersion.h"
#include "ui/uMainForm.h"

#include <QAccessible>
#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMetaEnum>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

#include <memory>

namespace {

TPropObject Sample(int32_t Owner, std::string Model, std::string Description = {},
                   std::string Action = {}, int32_t Type = 0) {
    TPropObject Object;
    Object.Owner = Owner;
    Object.Timestamp = 1000000000;
    Object.X = -6789;
    Object.Z = 12345;
    Object.Model = std::move(Model);
    Object.Description = std::move(Description);
    Object.Action = std::move(Action);
    Object.ObjectType = Type;
    return Object;
}

// What a screen reader says of the control named Name in Window: "name (role)", then the text
// of the label read as its label and its shortcut, when it has them.
QString Heard(QWidget& Window, const char* Name) {
    QObject* Control = Window.findChild<QObject*>(QString::fromLatin1(Name));
    QAccessibleInterface* Heard = QAccessible::queryAccessibleInterface(Control);
    // A menu item is known to screen readers as a child of its menu.
    if (Control && Control->inherits("QAction")) {
        QAccessibleInterface* Menu = QAccessible::queryAccessibleInterface(Control->parent());
        for (int Index = 0; Index < Menu->childCount(); ++Index)
            if (Menu->child(Index)->object() == Control)
                Heard = Menu->child(Index);
    }
    if (!Heard)
        return QStringLiteral("nothing");
    QString Text = Heard->text(QAccessible::Name) + " (" +
                   QMetaEnum::fromType<QAccessible::Role>().valueToKey(Heard->role()) + ')';
    for (const auto& [Other, Relation] : Heard->relations(QAccessible::Label))
        if (const auto* Label = qobject_cast<QLabel*>(Other->object()))
            Text += " label " + Label->text();
    if (const QString Keys = Heard->text(QAccessible::Accelerator);
        Heard->role() == QAccessible::MenuItem)
        Text += ' ' + Keys;
    return Text;
}

QStringList HeardAll(QWidget& Window, std::initializer_list<const char*> Names) {
    QStringList Result;
    for (const char* Name : Names)
        Result << QString::fromLatin1(Name) + ": " + Heard(Window, Name);
    return Result;
}

// The cells of Row read one after another.
QString RowWords(QAbstractItemView* View, int Row) {
    QAccessibleTableInterface* Table =
        QAccessible::queryAccessibleInterface(View)->tableInterface();
    QStringList Cells;
    for (int Column = 0; Column < Table->columnCount(); ++Column)
        if (const QString Cell = Table->cellAt(Row, Column)->text(QAccessible::Name);
            !Cell.isEmpty())
            Cells << Cell;
    return Cells.join(QStringLiteral(", "));
}

// The hint shown over Cell of View, at Left or in the middle.
QString HintAt(QAbstractItemView* View, const QModelIndex& Cell, int Left = -1) {
    const QRect Rect = View->visualRect(Cell);
    return HintAt(View->viewport(), QPoint(Left < 0 ? Rect.center().x() : Left, Rect.center().y()));
}

QString FocusName() {
    const QWidget* Focus = QApplication::focusWidget();
    return Focus ? Focus->objectName() : QStringLiteral("<none>");
}

} // namespace

class KeyboardAndReaderTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FakePlatform> Fake;
    std::unique_ptr<TMainForm> Form;

    // Puts Objects into the document and lists every one of them as found.
    void Load(std::vector<TPropObject> Objects) {
        Form->Propdump.Objects = std::move(Objects);
        Form->Propdump.FileName = "objects.txt";
        Form->RefreshViews();
        Form->SearchCriteria.Fields.Set(sfObjType, true);
        Form->SearchCriteria.Exclude.Set(sfObjType, true);
        Form->SearchCriteria.ObjType = -1;
        Form->DoSearch->trigger();
        Fake->Reset();
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void init() {
        Fake = std::make_unique<FakePlatform>();
        Form = std::make_unique<TMainForm>();
        Form->show();
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
    }

    void cleanup() {
        Form.reset();
        Fake.reset();
    }

    void controlsAreNamed() {
        QCOMPARE(HeardAll(*Form, {"Open1", "qt_toolbar_ext_button", "FindCitNum", "CitNumList",
                                  "ModelList", "ListBox1", "ListBox2", "ListView2"}),
                 QStringList({"Open1: Open (MenuItem) Ctrl+O",
                              "qt_toolbar_ext_button: More commands (ButtonMenu)",
                              "FindCitNum: Find citnum (EditableText) label Find citnum:",
                              "CitNumList: Citizen numbers (List)", "ModelList: Model names (List)",
                              "ListBox1: Objects (List)", "ListBox2: Search criteria (List)",
                              "ListView2: Search results (Tree)"}));
        TFrmObject Editor(Form.get());
        QCOMPARE(HeardAll(Editor, {"Edit5", "Edit6", "SpeedButton1"}),
                 QStringList(
                     {"Edit5: Tilt (EditableText) label Tilt/roll:", "Edit6: Roll (EditableText)",
                      "SpeedButton1: Use today's date/time (Button)"}));
        TFrmSearch Criteria(Form.get());
        QCOMPARE(HeardAll(Criteria, {"Memo1", "CitNumsExclude"}),
                 QStringList({"Memo1: Citizen Numbers (EditableText)",
                              "CitNumsExclude: exclude Citizen Numbers (CheckBox)"}));
        TFrmSetVersion Version(Form.get());
        QCOMPARE(Heard(Version, "RadioGroup1"), QStringLiteral("Propdump version (Grouping)"));
    }

    // A row reads as words, empty columns skipped; found objects the same, the position first.
    // A cell drawn shortened shows its whole text as its hint, a whole one none.
    void rowsReadAsWordsAndWholeTexts() {
        const std::string Long = "a_model_name_much_wider_than_its_column.rwx";
        Load({Sample(104, Long, "red\r\nbox", "create color red"),
              Sample(104, "", "", "create sign"), Sample(104, "zone01", "", "", 2)});
        const QModelIndex First = Form->ListBox1->model()->index(0, 0);
        const QString Model = QString::fromStdString(Long);
        QCOMPARE(HintAt(Form->ListBox1, First, Form->HeaderControl1->sectionPosition(3) + 5),
                 Model);
        QCOMPARE(HintAt(Form->ListBox1, First, 5), QString());
        Form->PageControl1->setCurrentIndex(TMainForm::SearchTab);
        QCOMPARE(HintAt(Form->ListView2, Form->SearchResults->index(0, 4)), Model);
        QCOMPARE(HintAt(Form->ListView2, Form->SearchResults->index(0, 0)), QString());

        const QString Start = QStringLiteral("owner 104, 09 Sep 2001 01:46:40, 12.345N 6.789E");
        const QStringList Listed = {", " + Model + ", red box, create color red", ", create sign",
                                    ", type Zone"};
        const QStringList Found = {", " + Model, "", ", type Zone"};
        for (int Row = 0; Row < 3; ++Row) {
            QCOMPARE(RowWords(Form->ListBox1, Row), Start + Listed[Row]);
            QCOMPARE(RowWords(Form->ListView2, Row),
                     QStringLiteral("position %1, ").arg(Row + 1) + Start + Found[Row]);
        }
    }

    // Enter on a row does what a double-click does; in a find or replacement box it clicks the
    // tab's "Apply".
    void enterKey() {
        Load({Sample(5, "a.rwx"), Sample(2, "b.rwx")});
        QStringList Opened;
        const auto Press = [this, &Opened](QWidget* Control, Qt::Key Key, int Tab) {
            Form->PageControl1->setCurrentIndex(Tab);
            Control->setFocus();
            if (auto* View = qobject_cast<QAbstractItemView*>(Control))
                View->setCurrentIndex(View->model()->index(1, 0));
            Fake->ModalHandlers.enqueue([&Opened](QDialog& Dialog) {
                if (auto* Editor = qobject_cast<TFrmObject*>(&Dialog))
                    Opened << QString::fromStdString(Editor->PropObject->Model) +
                                  (Editor->Editable() ? " editable" : " read-only");
                return int(QDialog::Rejected);
            });
            QTest::keyClick(Control, Key,
                            Key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        };
        Press(Form->ListBox1, Qt::Key_Return, TMainForm::ObjectsTab);
        Press(Form->ListBox1, Qt::Key_Enter, TMainForm::ObjectsTab);
        Press(Form->ListView2, Qt::Key_Return, TMainForm::SearchTab);
        QCOMPARE(Opened, QStringList({"b.rwx editable", "b.rwx editable", "b.rwx read-only"}));

        Form->FindCitNum->setText("5");
        Form->ReplaceCitNum->setText("7");
        Press(Form->ReplaceCitNum, Qt::Key_Return, TMainForm::CitNumsTab);
        Form->FindModelName->setText("a.rwx");
        Press(Form->FindModelName, Qt::Key_Enter, TMainForm::ModelsTab);
        QCOMPARE(Fake->Messages.size(), 2);
        QCOMPARE(Fake->Messages[0].Text, QStringLiteral("Models changed: 1"));
        QCOMPARE(Fake->Messages[1].Text, QStringLiteral("Models replaced: 1"));
    }

    // Alt+F opens "File"; after Alt alone a command's key still runs the command, once.
    // Menus added without an access key get the first letter no other menu uses.
    void accessKeysAndShortcuts() {
        QTest::keyClick(Form->ListBox1, Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(Form->File1->isVisible());
        QTest::keyClick(Form->File1, Qt::Key_Escape);
        QTRY_VERIFY(!Form->File1->isVisible());
        QSignalSpy Opened(Form->OpenFile, &QAction::triggered);
        Form->ListBox1->setFocus();
        QTest::keyClick(Form->ListBox1, Qt::Key_Alt);
        QCOMPARE(FocusName(), QStringLiteral("MainMenu1"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(Opened.size(), 1);
        QCOMPARE(FocusName(), QStringLiteral("ListBox1"));

        QMenuBar Bar;
        for (const char* Title : {"&File", "Edit", "View", "Exit", "&&"})
            Bar.addMenu(QString::fromLatin1(Title));
        GiveMenusAccessKeys(Bar);
        QStringList Titles;
        for (const QAction* Menu : Bar.actions())
            Titles << Menu->text();
        QCOMPARE(Titles, QStringList({"&File", "&Edit", "&View", "E&xit", "&&"}));
    }

    // From the tab bar, Tab walks the shown tab to its end, then the tool bar, then comes back.
    // The search button, disabled while it searches, keeps the focus: a second Space must not
    // clear what the first found.
    void focus() {
        Load({Sample(1, "a.rwx")});
        const QStringList Tabs[] = {{"CitNumList", "FindCitNum", "ReplaceCitNum", "SpeedButton1"},
                                    {"ModelList", "FindModelName", "ReplaceModelName",
                                     "SpeedButton2", "NormalizeButton", "DenormalizeButton"},
                                    {"ListBox1"},
                                    {"ListBox2", "SpeedButton3", "SpeedButton4", "SpeedButton5",
                                     "ListView2", "btnDeleteResults", "btnMoveResults"}};
        const QStringList Rest = {"ToolButton1", "ToolButton2", "ToolButton3",        "ToolButton5",
                                  "ToolButton7", "ToolButton8", "qt_tabwidget_tabbar"};
        for (int Tab = 0; Tab < 4; ++Tab) {
            Form->PageControl1->setCurrentIndex(Tab);
            Form->PageControl1->tabBar()->setFocus();
            QStringList Visited;
            while (Visited.size() < Tabs[Tab].size() + Rest.size()) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                Visited << FocusName();
            }
            QCOMPARE(Visited, Tabs[Tab] + Rest);
        }

        Form->SpeedButton4->setFocus();
        QTest::keyClick(Form->SpeedButton4, Qt::Key_Space);
        QCOMPARE(Fake->Sounds, QList<TSoundKind>{TSoundKind::Asterisk});
        QCOMPARE(FocusName(), QStringLiteral("SpeedButton4"));
    }
};

QTEST_MAIN(KeyboardAndReaderTest)
#include "KeyboardAndReaderTest.moc"
