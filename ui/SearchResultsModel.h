#pragma once

// The rows of the search results: one compact snapshot per object found (its position and the
// texts it showed at search time), no widget item per row.

#include <QAbstractTableModel>
#include <QString>

#include <functional>
#include <vector>

class TSearchResultsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Column captions and widths, in order: "#" 75, "Cit#" 50, "Date/Time" 125, "Location" 175,
    // "Model" 175.
    static constexpr int ColumnCount = 5;
    static int ColumnWidth(int Column);

    struct TRow {
        int Position = 0; // 1-based position of the object in the document
        QString Texts;    // owner, date, location and model, joined by FieldSeparator
    };
    static TRow MakeRow(int Position, const QString& Owner, const QString& DateTime,
                        const QString& Location, const QString& Model);

    explicit TSearchResultsModel(QObject* Parent = nullptr);

    void Clear();
    void Append(TRow Row);
    // Replaces every row at once (one reset, so a view redraws once).
    void SetRows(std::vector<TRow> NewRows);
    // Each row's texts anew from RowOf(Position), keeping the rows, their order and the view's
    // selection; a row for which RowOf gives false keeps its texts.
    void UpdateTexts(const std::function<bool(int Position, TRow& Row)>& RowOf);
    int RowCount() const { return static_cast<int>(Rows.size()); }
    // The 1-based document position shown in the "#" column of Row.
    int Position(int Row) const;

    int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
    // The cell's text for Qt::DisplayRole; for Qt::AccessibleTextRole its words ("position 2",
    // "owner 104", "type Zone").
    QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation,
                        int Role = Qt::DisplayRole) const override;

private:
    std::vector<TRow> Rows;
};
