#include "ui/uMainForm.h"

#include "ops/UndoRecord.h"
#include "ui/Accessibility.h"
#include "ui/Command.h"
#include "ui/ObjectsListDelegate.h"
#include "ui/ObjectsListModel.h"
#include "ui/Platform.h"
#include "ui/uFrmObject.h"

#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListView>
#include <QMouseEvent>

#include <functional>
#include <memory>

namespace {

// Runs a handler after every left double-click on the list, on a row or below the last one,
// once the list has finished with the click (its selection included).
class TDoubleClickWatch : public QObject {
public:
    TDoubleClickWatch(std::function<void()> Handler, QObject* Parent)
        : QObject(Parent), Handler(std::move(Handler)) {}

    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() == QEvent::MouseButtonDblClick &&
            static_cast<QMouseEvent*>(Event)->button() == Qt::LeftButton)
            QMetaObject::invokeMethod(this, Handler, Qt::QueuedConnection);
        return QObject::eventFilter(Watched, Event);
    }

private:
    std::function<void()> Handler;
};

} // namespace

void TMainForm::BindListHandlers() {
    auto* Rows = new TObjectsListModel(Propdump, ListBox1);
    Rows->setObjectName(QStringLiteral("ObjectsListModel"));
    ListBox1->setModel(Rows);
    ListBox1->setItemDelegate(new TObjectsListDelegate(*Rows, *HeaderControl1, ListBox1));
    ListBox1->setUniformItemSizes(true);
    // Even with uniform rows the list lays out every row before it paints: ten million of them
    // take a second or more. In batches the first rows paint at once and the rest follows
    // between other events.
    ListBox1->setLayoutMode(QListView::Batched);
    ListBox1->setBatchSize(1 << 18);
    ListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(this, &TMainForm::ListBox1CountChanged, Rows, &TObjectsListModel::SetCount);
    Rows->SetCount(ListBox1Count());

    // The header keeps the widths the user gives its sections, down to nothing, and the list
    // follows them.
    HeaderControl1->setStretchLastSection(false);
    HeaderControl1->setSectionResizeMode(QHeaderView::Interactive);
    HeaderControl1->setMinimumSectionSize(0);
    connect(HeaderControl1, &QHeaderView::sectionResized, this, [this](int Section, int, int) {
        RunCommand(this, [this, Section] { HeaderControl1SectionResize(Section); });
    });

    const auto Open = [this] { RunCommand(this, [this] { ListBox1DblClick(); }); };
    ListBox1->viewport()->installEventFilter(new TDoubleClickWatch(Open, ListBox1));
    OpenWithEnter(*ListBox1, Open);
}

void TMainForm::HeaderControl1SectionResize(int) {
    ListBox1->viewport()->update();
}

void TMainForm::ListBox1DblClick() {
    const QModelIndexList Selected = ListBox1->selectionModel()->selectedIndexes();
    OpenObject(Selected.isEmpty() ? -1 : Selected.first().row());
}

void TMainForm::OpenObject(int Index) {
    // A search, a deletion or a bulk edit is walking the objects: an editor opened now would
    // change them under it.
    if (SearchBusy())
        return;
    // A row the document no longer has counts as no selection: there is no object to open.
    if (Index < 0 || Index >= Propdump.Count()) {
        Platform().PlaySound(TSoundKind::Asterisk);
        return;
    }
    EditObject(Propdump.Item(Index), false);
}

void TMainForm::EditObject(TPropObject& Object, bool ReadOnly) {
    if (Object.ObjectType != 0) {
        Platform().PlaySound(TSoundKind::Asterisk);
        return;
    }
    const auto FrmObject = std::make_unique<TFrmObject>(this);
    FrmObject->PropObject = &Object;
    FrmObject->SetEditable(!ReadOnly);
    const TPropObject Before = Object;
    // OK writes every changed field or, when one is refused, none; Cancel writes nothing.
    if (Platform().RunModal(*FrmObject) != QDialog::Accepted)
        return;
    const auto Position = static_cast<std::size_t>(&Object - Propdump.Objects.data());
    if (Position < Propdump.Objects.size())
        RecordChange([&] { return ObjectEditStep(Position, Before, Object); });
    ListBox1->viewport()->update();
    emit DocumentChanged();
}
