// What a screen reader hears and what the keyboard alone can do, in every window.

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
#include <QTabBar>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QtTest>

#include <memory>

namespace {

TPropObject Sample(int32_t Owner, std::string Model, std::string Description, std::string Action,
                   int32_t Type = 0) {
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

QString Name(QAccessibleInterface* Control) {
    return Control ? Control->text(QAccessible::Name) : QStringLiteral("<not accessible>");
}

// The text of the label a screen reader reads as Control's label, if any.
QString LabelOf(QAccessibleInterface& Control) {
    for (const auto& [Other, Relation] : Control.relations(QAccessible::Label))
        if (auto* Label = qobject_cast<QLabel*>(Other->object()))
            return Label->text();
    return {};
}

// Cells of Row as a screen reader reads them one after another.
QString RowWords(QAbstractItemView* View, int Row) {
    QAccessibleTableInterface* Table =
        QAccessible::queryAccessibleInterface(View)->tableInterface();
    QStringList Cells;
    for (int Column = 0; Column < Table->columnCount(); ++Column)
        if (const QString Cell = Name(Table->cellAt(Row, Column)); !Cell.isEmpty())
            Cells << Cell;
    return Cells.join(QStringLiteral(", "));
}

// The hint shown over Point of Viewport as plain text; empty when none shows.
QString HintAt(QWidget* Viewport, const QPoint& Point) {
    QToolTip::showText(QPoint(), QStringLiteral("none"));
    QHelpEvent Event(QEvent::ToolTip, Point, Viewport->mapToGlobal(Point));
    QApplication::sendEvent(Viewport, &Event);
    QTextDocument Shown;
    Shown.setHtml(QToolTip::text());
    return Shown.toPlainText() == QStringLiteral("none") ? QString() : Shown.toPlainText();
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
        Form->Propdump.Version = 4;
        Form->RefreshViews();
        Form->SearchCriteria.Fields.Set(sfObjType, true);
        Form->SearchCriteria.Exclude.Set(sfObjType, true);
        Form->SearchCriteria.ObjType = -1;
        Form->DoSearch->trigger();
        QCoreApplication::processEvents();
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

    // Each window's controls as a screen reader names them: inputs after their labels, lists by
    // what they hold, buttons after their commands, menu items by caption with the shortcut apart.
    void controlsAreNamed_data() {
        QTest::addColumn<QString>("Window");
        QTest::addColumn<QString>("Control");
        QTest::addColumn<QString>("Name");
        QTest::addColumn<int>("Role");
        QTest::addColumn<QString>("Label");
        QTest::addColumn<QString>("Shortcut");
        const auto Row = [](const char* Window, const char* Control, const char* Name,
                            QAccessible::Role Role, const char* Label = "",
                            const char* Shortcut = "") {
            QTest::addRow("%s %s", Window, Control)
                << Window << Control << Name << int(Role) << Label << Shortcut;
        };
        Row("MainForm", "Open1", "Open", QAccessible::MenuItem, "", "Ctrl+O");
        Row("MainForm", "Saveas1", "Save as...", QAccessible::MenuItem, "", "Ctrl+A");
        Row("MainForm", "Exit1", "Exit", QAccessible::MenuItem, "", "Alt+F4");
        Row("MainForm", "ToolButton1", "Open", QAccessible::Button);
        Row("MainForm", "ToolButton3", "Save as", QAccessible::Button);
        Row("MainForm", "ToolButton8", "Exit", QAccessible::Button);
        Row("MainForm", "qt_toolbar_ext_button", "More commands", QAccessible::ButtonMenu);
        Row("MainForm", "FindCitNum", "Find citnum", QAccessible::EditableText, "Find citnum:");
        Row("MainForm", "ReplaceCitNum", "Replace with", QAccessible::EditableText,
            "Replace with:");
        Row("MainForm", "FindModelName", "Find", QAccessible::EditableText, "Find:");
        Row("MainForm", "ReplaceModelName", "Replace with", QAccessible::EditableText,
            "Replace with:");
        Row("MainForm", "CitNumList", "Citizen numbers", QAccessible::List);
        Row("MainForm", "ModelList", "Model names", QAccessible::List);
        Row("MainForm", "ListBox1", "Objects", QAccessible::List);
        Row("MainForm", "ListBox2", "Search criteria", QAccessible::List);
        Row("MainForm", "ListView2", "Search results", QAccessible::Tree);
        Row("FrmObject", "Edit1", "Model", QAccessible::EditableText, "Model:");
        Row("FrmObject", "Memo1", "Description", QAccessible::EditableText, "Description:");
        Row("FrmObject", "Edit2", "Timestamp", QAccessible::EditableText, "Timestamp:");
        Row("FrmObject", "SpeedButton1", "Use today's date/time", QAccessible::Button);
        Row("FrmObject", "Edit5", "Tilt", QAccessible::EditableText, "Tilt/roll:");
        Row("FrmObject", "Edit6", "Roll", QAccessible::EditableText);
        Row("FrmSearch", "Memo1", "Citizen Numbers", QAccessible::EditableText);
        Row("FrmSearch", "Edit1", "Earliest time", QAccessible::EditableText);
        Row("FrmSearch", "ComboBox1", "V4 Object type", QAccessible::ComboBox);
        Row("FrmSearch", "CitNumsExclude", "exclude Citizen Numbers", QAccessible::CheckBox);
        Row("FrmSearch", "DescriptionExactMatch", "exact match Description", QAccessible::CheckBox);
        Row("FrmSetVersion", "RadioGroup1", "Propdump version", QAccessible::Grouping);
    }

    void controlsAreNamed() {
        QFETCH(QString, Window);
        QFETCH(QString, Control);
        QFETCH(QString, Name);
        QFETCH(int, Role);
        QFETCH(QString, Label);
        QFETCH(QString, Shortcut);
        std::unique_ptr<QWidget> Dialog;
        if (Window == "FrmObject")
            Dialog = std::make_unique<TFrmObject>(Form.get());
        else if (Window == "FrmSearch")
            Dialog = std::make_unique<TFrmSearch>(Form.get());
        else if (Window == "FrmSetVersion")
            Dialog = std::make_unique<TFrmSetVersion>(Form.get());
        QObject* Found = (Dialog ? Dialog.get() : Form.get())->findChild<QObject*>(Control);
        QVERIFY(Found);
        QAccessibleInterface* Accessible = QAccessible::queryAccessibleInterface(Found);
        // A menu item is known to screen readers as a child of its menu.
        if (auto* Item = qobject_cast<QAction*>(Found)) {
            QAccessibleInterface* Menu = QAccessible::queryAccessibleInterface(Item->parent());
            for (int Index = 0; Index < Menu->childCount(); ++Index)
                if (Menu->child(Index)->object() == Item)
                    Accessible = Menu->child(Index);
        }
        QVERIFY(Accessible);
        QCOMPARE(Accessible->text(QAccessible::Name), Name);
        QCOMPARE(int(Accessible->role()), Role);
        QCOMPARE(LabelOf(*Accessible), Label);
        if (!Shortcut.isEmpty())
            QCOMPARE(Accessible->text(QAccessible::Accelerator), Shortcut);
    }

    // A row reads as words, the columns a row leaves empty skipped; found objects read the
    // same way, their position first.
    void rowsReadAsWords_data() {
        QTest::addColumn<int>("Type");
        QTest::addColumn<QString>("Model");
        QTest::addColumn<QString>("Description");
        QTest::addColumn<QString>("Action");
        QTest::addColumn<QString>("Listed");
        QTest::addColumn<QString>("Found");
        const QString Start = QStringLiteral("owner 104, 09 Sep 2001 01:46:40, 12.345N 6.789E");
        const auto Row = [&Start](const char* Case, int Type, const char* Model,
                                  const char* Description, const char* Action, const char* Listed,
                                  const char* Found) {
            QTest::newRow(Case) << Type << Model << Description << Action << Start + Listed
                                << "position 1, " + Start + Found;
        };
        Row("every column", 0, "box01.rwx", "red\r\nbox", "create color red",
            ", box01.rwx, red box, create color red", ", box01.rwx");
        Row("action alone", 0, "", "", "create sign", ", create sign", "");
        Row("zone", 2, "zone01", "", "", ", type Zone", ", type Zone");
        Row("type beyond the labels", 9, "x.rwx", "", "", ", ???", "");
    }

    void rowsReadAsWords() {
        QFETCH(int, Type);
        QFETCH(QString, Model);
        QFETCH(QString, Description);
        QFETCH(QString, Action);
        QFETCH(QString, Listed);
        QFETCH(QString, Found);
        Load({Sample(104, Model.toStdString(), Description.toStdString(), Action.toStdString(),
                     Type)});
        QCOMPARE(RowWords(Form->ListBox1, 0), Listed);
        // The results list tells its rows only once it has laid them out, which it does when shown.
        Form->PageControl1->setCurrentIndex(TMainForm::SearchTab);
        QCoreApplication::processEvents();
        QCOMPARE(RowWords(Form->ListView2, 0), Found);
    }

    // Enter on a row does what a double-click does: the objects list opens the editor, the
    // search results open it read-only.
    void enterOpensTheRow_data() {
        QTest::addColumn<int>("Tab");
        QTest::addColumn<QString>("List");
        QTest::addColumn<int>("Key");
        QTest::addColumn<bool>("Editable");
        const int Objects = TMainForm::ObjectsTab, Search = TMainForm::SearchTab;
        QTest::newRow("objects, Return") << Objects << "ListBox1" << int(Qt::Key_Return) << true;
        QTest::newRow("objects, keypad Enter")
            << Objects << "ListBox1" << int(Qt::Key_Enter) << true;
        QTest::newRow("results, Return") << Search << "ListView2" << int(Qt::Key_Return) << false;
    }

    void enterOpensTheRow() {
        QFETCH(int, Tab);
        QFETCH(QString, List);
        QFETCH(int, Key);
        QFETCH(bool, Editable);
        Load({Sample(1, "a.rwx", "", ""), Sample(2, "b.rwx", "", "")});
        Form->PageControl1->setCurrentIndex(Tab);
        auto* View = Form->findChild<QAbstractItemView*>(List);
        View->setFocus();
        View->setCurrentIndex(View->model()->index(1, 0));
        QString Opened = "nothing";
        Fake->ModalHandlers.enqueue([&Opened](QDialog& Dialog) {
            if (auto* Editor = qobject_cast<TFrmObject*>(&Dialog))
                Opened = QString::fromStdString(Editor->PropObject->Model) +
                         (Editor->Editable() ? " editable" : " read-only");
            return int(QDialog::Rejected);
        });
        const Qt::KeyboardModifiers Keypad =
            Key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
        QTest::keyClick(View, Qt::Key(Key), Keypad);
        QCOMPARE(Opened, QStringLiteral("b.rwx") + (Editable ? " editable" : " read-only"));
    }

    // Enter in a find or replacement box clicks its tab's "Apply".
    void enterInAReplaceBoxApplies_data() {
        QTest::addColumn<QString>("Box");
        QTest::addColumn<QString>("Report");
        QTest::newRow("find citnum") << "FindCitNum"
                                     << "Models changed: 1";
        QTest::newRow("replacement citnum") << "ReplaceCitNum"
                                            << "Models changed: 1";
        QTest::newRow("find model") << "FindModelName"
                                    << "Models replaced: 1";
        QTest::newRow("replacement model") << "ReplaceModelName"
                                           << "Models replaced: 1";
    }

    void enterInAReplaceBoxApplies() {
        QFETCH(QString, Box);
        QFETCH(QString, Report);
        Load({Sample(5, "a.rwx", "", "")});
        Form->FindCitNum->setText("5");
        Form->ReplaceCitNum->setText("7");
        Form->FindModelName->setText("a.rwx");
        Form->ReplaceModelName->setText("b.rwx");
        auto* Edit = Form->findChild<QLineEdit*>(Box);
        Form->PageControl1->setCurrentWidget(Edit->parentWidget()->parentWidget());
        Edit->setFocus();
        QTest::keyClick(Edit, Qt::Key_Return);
        QCOMPARE(Fake->Messages.size(), 1);
        QCOMPARE(Fake->Messages[0].Text, Report);
    }

    // Alt+F opens the "File" menu; after Alt alone, when the menu bar has the focus, a command's
    // key still runs the command once.
    void menuAccessKeyAndShortcuts() {
        QCOMPARE(Form->File1->title(), QStringLiteral("&File"));
        Form->ListBox1->setFocus();
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
    }

    // Menus added without an access key get the first letter no other menu uses.
    void menusGetFreeAccessKeys() {
        QMenuBar Bar;
        for (const char* Title : {"&File", "Edit", "View", "Exit", "&&"})
            Bar.addMenu(QString::fromLatin1(Title));
        GiveMenusAccessKeys(Bar);
        QStringList Titles;
        for (const QAction* Menu : Bar.actions())
            Titles << Menu->text();
        QCOMPARE(Titles, QStringList({"&File", "&Edit", "&View", "E&xit", "&&"}));
    }

    // The search button is disabled while it searches; Space on it twice must not clear what
    // the first press found.
    void searchButtonKeepsTheFocus() {
        Load({Sample(1, "a.rwx", "", "")});
        Form->PageControl1->setCurrentIndex(TMainForm::SearchTab);
        Form->SpeedButton4->setFocus();
        QTest::keyClick(Form->SpeedButton4, Qt::Key_Space);
        QCOMPARE(Fake->Sounds, QList<TSoundKind>{TSoundKind::Asterisk});
        QCOMPARE(FocusName(), QStringLiteral("SpeedButton4"));
    }

    // From the tab bar, Tab walks the shown tab to its end, then the tool bar, then comes back.
    void tabOrderOfEachTab_data() {
        QTest::addColumn<int>("Tab");
        QTest::addColumn<QStringList>("Order");
        QTest::newRow("CitNums") << int(TMainForm::CitNumsTab)
                                 << QStringList{"CitNumList", "FindCitNum", "ReplaceCitNum",
                                                "SpeedButton1"};
        QTest::newRow("Models") << int(TMainForm::ModelsTab)
                                << QStringList{"ModelList",        "FindModelName",
                                               "ReplaceModelName", "SpeedButton2",
                                               "NormalizeButton",  "DenormalizeButton"};
        QTest::newRow("Objects") << int(TMainForm::ObjectsTab) << QStringList{"ListBox1"};
        QTest::newRow("Search") << int(TMainForm::SearchTab)
                                << QStringList{"ListBox2",     "SpeedButton3", "SpeedButton4",
                                               "SpeedButton5", "ListView2",    "btnDeleteResults"};
    }

    void tabOrderOfEachTab() {
        QFETCH(int, Tab);
        QFETCH(QStringList, Order);
        Load({Sample(1, "a.rwx", "", "")});
        Order << "ToolButton1"
              << "ToolButton2"
              << "ToolButton3"
              << "ToolButton5"
              << "ToolButton7"
              << "ToolButton8"
              << "qt_tabwidget_tabbar";
        Form->PageControl1->setCurrentIndex(Tab);
        Form->PageControl1->tabBar()->setFocus();
        QStringList Visited;
        for (qsizetype Step = 0; Step < Order.size(); ++Step) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            Visited << FocusName();
        }
        QCOMPARE(Visited, Order);
    }

    // A cell drawn shortened shows its whole text as its hint; a whole one shows none.
    void shortenedCellsHintTheirWholeText() {
        const QString Model = QStringLiteral("a_model_name_much_wider_than_its_column.rwx");
        Load({Sample(1, Model.toStdString(), "", "")});
        Form->PageControl1->setCurrentIndex(TMainForm::ObjectsTab);
        const QRect Row = Form->ListBox1->visualRect(Form->ListBox1->model()->index(0, 0));
        const int ModelLeft = Form->HeaderControl1->sectionPosition(3);
        QCOMPARE(HintAt(Form->ListBox1->viewport(), Row.topLeft() + QPoint(ModelLeft + 5, 3)),
                 Model);
        QCOMPARE(HintAt(Form->ListBox1->viewport(), Row.topLeft() + QPoint(5, 3)), QString());

        Form->PageControl1->setCurrentIndex(TMainForm::SearchTab);
        const QModelIndex Found = Form->SearchResults->index(0, 4);
        QCOMPARE(HintAt(Form->ListView2->viewport(), Form->ListView2->visualRect(Found).center()),
                 Model);
        const QModelIndex Position = Form->SearchResults->index(0, 0);
        QCOMPARE(
            HintAt(Form->ListView2->viewport(), Form->ListView2->visualRect(Position).center()),
            QString());
    }
};

QTEST_MAIN(KeyboardAndReaderTest)
#include "KeyboardAndReaderTest.moc"
