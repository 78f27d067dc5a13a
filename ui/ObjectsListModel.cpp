#include "ui/ObjectsListModel.h"

#include "text/DateTimeText.h"
#include "text/PositionInfo.h"
#include "ui/Accessibility.h"
#include "ui/ObjectTypeNames.h"
#include "ui/TextCodec.h"

std::string ObjectRowText(const TPropObject& Object) {
    std::string Text = std::to_string(Object.Owner);
    Text += ColumnSeparator;
    Text += FormatListDateTime(SecondsToDateTime(Object.Timestamp));
    Text += ColumnSeparator;
    Text += PositionToText(Object.X, Object.Y, Object.Z, Object.Yaw);
    Text += ColumnSeparator;
    Text += Object.Model;
    if (!Object.Description.empty()) {
        Text += ColumnSeparator;
        Text += Object.Description;
    }
    if (!Object.Action.empty()) {
        Text += ColumnSeparator;
        if (Object.Description.empty())
            Text += ColumnSeparator;
        Text += Object.Action;
    }
    return Text;
}

QString ObjectRowWords(const TPropObject& Object) {
    const QString Model =
        Object.ObjectType == 0 ? ToQString(Object.Model) : ObjectTypeName(Object.ObjectType);
    return SpokenRow({QStringLiteral("owner ") + QString::number(Object.Owner),
                      ToQString(FormatListDateTime(SecondsToDateTime(Object.Timestamp))),
                      ToQString(PositionToText(Object.X, Object.Y, Object.Z, Object.Yaw)), Model,
                      ToQString(Object.Description), ToQString(Object.Action)});
}

TObjectsListModel::TObjectsListModel(const TPropdumpFile& Document, QObject* Parent)
    : QAbstractListModel(Parent), Document(Document) {}

void TObjectsListModel::SetCount(int NewCount) {
    // A reset, not row insertions: the view then lays out the new count in one pass and
    // nothing is done per row.
    beginResetModel();
    Count = NewCount < 0 ? 0 : NewCount;
    endResetModel();
}

const TPropObject* TObjectsListModel::RowObject(int Row) const {
    if (Row < 0 || Row >= Count || Row >= Document.Count())
        return nullptr;
    return &Document.Item(Row);
}

bool TObjectsListModel::ListBox1Data(int Row, std::string& Text) const {
    const TPropObject* Object = RowObject(Row);
    if (!Object)
        return false;
    Text = ObjectRowText(*Object);
    return true;
}

int TObjectsListModel::rowCount(const QModelIndex& Parent) const {
    return Parent.isValid() ? 0 : Count;
}

QVariant TObjectsListModel::data(const QModelIndex& Index, int Role) const {
    if (!checkIndex(Index, CheckIndexOption::IndexIsValid))
        return {};
    if (Role == Qt::AccessibleTextRole) {
        const TPropObject* Object = RowObject(Index.row());
        return Object ? QVariant(ObjectRowWords(*Object)) : QVariant();
    }
    if (Role != Qt::DisplayRole)
        return {};
    std::string Text;
    if (!ListBox1Data(Index.row(), Text))
        return {};
    return ToQString(Text);
}
