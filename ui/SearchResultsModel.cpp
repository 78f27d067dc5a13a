#include "ui/SearchResultsModel.h"

#include "ui/Accessibility.h"

#include <QStringView>

namespace {

// Group separator: cannot come from a number, a date or a position, and a model name that holds
// it only loses what follows in its own (last) cell.
constexpr QChar FieldSeparator(0x1D);

constexpr const char* Captions[TSearchResultsModel::ColumnCount] = {"#", "Cit#", "Date/Time",
                                                                    "Location", "Model"};
constexpr int Widths[TSearchResultsModel::ColumnCount] = {75, 50, 125, 175, 175};

QString Field(const QString& Texts, int Index) {
    qsizetype Start = 0;
    for (int Skipped = 0; Skipped < Index; ++Skipped) {
        const qsizetype Next = Texts.indexOf(FieldSeparator, Start);
        if (Next < 0)
            return {};
        Start = Next + 1;
    }
    // The last field (the model) keeps whatever follows.
    if (Index == TSearchResultsModel::ColumnCount - 2)
        return Texts.mid(Start);
    const qsizetype End = Texts.indexOf(FieldSeparator, Start);
    return Texts.mid(Start, End < 0 ? -1 : End - Start);
}

} // namespace

int TSearchResultsModel::ColumnWidth(int Column) {
    return Column >= 0 && Column < ColumnCount ? Widths[Column] : 0;
}

TSearchResultsModel::TRow TSearchResultsModel::MakeRow(int Position, const QString& Owner,
                                                       const QString& DateTime,
                                                       const QString& Location,
                                                       const QString& Model) {
    TRow Row;
    Row.Position = Position;
    Row.Texts.reserve(Owner.size() + DateTime.size() + Location.size() + Model.size() + 3);
    Row.Texts += Owner;
    Row.Texts += FieldSeparator;
    Row.Texts += DateTime;
    Row.Texts += FieldSeparator;
    Row.Texts += Location;
    Row.Texts += FieldSeparator;
    Row.Texts += Model;
    return Row;
}

TSearchResultsModel::TSearchResultsModel(QObject* Parent) : QAbstractTableModel(Parent) {}

void TSearchResultsModel::Clear() {
    if (Rows.empty())
        return;
    beginResetModel();
    Rows.clear();
    Rows.shrink_to_fit();
    endResetModel();
}

void TSearchResultsModel::Append(TRow Row) {
    const int At = RowCount();
    beginInsertRows(QModelIndex(), At, At);
    Rows.push_back(std::move(Row));
    endInsertRows();
}

void TSearchResultsModel::SetRows(std::vector<TRow> NewRows) {
    beginResetModel();
    Rows = std::move(NewRows);
    endResetModel();
}

void TSearchResultsModel::UpdateTexts(const std::function<bool(int Position, TRow& Row)>& RowOf) {
    if (Rows.empty())
        return;
    for (TRow& Row : Rows) {
        TRow Now;
        if (RowOf(Row.Position, Now))
            Row.Texts = std::move(Now.Texts);
    }
    emit dataChanged(index(0, 0), index(RowCount() - 1, ColumnCount - 1));
}

int TSearchResultsModel::Position(int Row) const {
    return Row >= 0 && Row < RowCount() ? Rows[static_cast<std::size_t>(Row)].Position : 0;
}

int TSearchResultsModel::rowCount(const QModelIndex& Parent) const {
    return Parent.isValid() ? 0 : RowCount();
}

int TSearchResultsModel::columnCount(const QModelIndex& Parent) const {
    return Parent.isValid() ? 0 : ColumnCount;
}

QVariant TSearchResultsModel::data(const QModelIndex& Index, int Role) const {
    if ((Role != Qt::DisplayRole && Role != Qt::AccessibleTextRole) || !Index.isValid() ||
        Index.row() >= RowCount() || Index.column() >= ColumnCount)
        return {};
    const TRow& Row = Rows[static_cast<std::size_t>(Index.row())];
    const QString Text = Index.column() == 0 ? QString::number(Row.Position)
                                             : Field(Row.Texts, Index.column() - 1);
    if (Role == Qt::DisplayRole)
        return Text;
    // Read cell by cell along a row, the words make the same phrase as a row of the objects
    // list, the position first.
    if (Index.column() == 0)
        return QStringLiteral("position ") + Text;
    if (Index.column() == 1)
        return QStringLiteral("owner ") + Text;
    return SpokenField(Text);
}

QVariant TSearchResultsModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
    if (Orientation != Qt::Horizontal || Role != Qt::DisplayRole || Section < 0 ||
        Section >= ColumnCount)
        return {};
    return QString::fromLatin1(Captions[Section]);
}
