// What the window adds for people who work with the keyboard alone or with a screen reader:
// names for the controls that have no caption beside them, one Tab order for the whole window,
// and access keys for the menus.

#include "ui/uMainForm.h"

#include "ui/Accessibility.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

void TMainForm::SetUpKeyboardAndScreenReader() {
    CitNumList->setAccessibleName(QStringLiteral("Citizen numbers"));
    ModelList->setAccessibleName(QStringLiteral("Model names"));
    ListBox1->setAccessibleName(QStringLiteral("Objects"));
    ListBox2->setAccessibleName(QStringLiteral("Search criteria"));
    ListView2->setAccessibleName(QStringLiteral("Search results"));
    ProgressBar1->setAccessibleName(QStringLiteral("Progress"));
    GiveMenusAccessKeys(*menuBar());
    // The tool bar's own button for buttons that do not fit: the window's fixed width never
    // shows it, but screen readers list it with the others.
    for (QToolButton* Button : ToolBar1->findChildren<QToolButton*>())
        if (!Button->defaultAction() && Button->text().isEmpty())
            Button->setAccessibleName(QStringLiteral("More commands"));

    // The tool bar, then the tabs, then what each tab holds, top to bottom: Tab walks the shown
    // tab to its end before it comes back to the tool bar.
    QList<QWidget*> Order;
    for (QAction* Action : ToolBar1->actions())
        if (auto* Button = qobject_cast<QToolButton*>(ToolBar1->widgetForAction(Action)))
            Order << Button;
    Order << PageControl1 << CitNumList << FindCitNum << ReplaceCitNum << SpeedButton1 << ModelList
          << FindModelName << ReplaceModelName << SpeedButton2 << NormalizeButton
          << DenormalizeButton << ListBox1 << ListBox2 << SpeedButton3 << SpeedButton4
          << SpeedButton5 << ListView2 << btnDeleteResults << btnMoveResults;
    for (qsizetype Index = 1; Index < Order.size(); ++Index)
        setTabOrder(Order[Index - 1], Order[Index]);
}
