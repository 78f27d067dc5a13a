#pragma once

// The rows of the objects list: one per object of the document, built as text only when a row is
// painted, so that a file of millions of objects costs the list nothing but its count.

#include "model/Propdmp.h"

#include <QAbstractListModel>
#include <QString>

#include <string>

// Ends each field of a row text. Object texts may hold it too; they are then split there.
inline constexpr char ColumnSeparator = '\x1D';

// The row text of Object: owner, date/time, location, model, then description and action, each
// field ended by ColumnSeparator. An action without a description still gets its own column.
std::string ObjectRowText(const TPropObject& Object);
// The row as a screen reader reads it: "owner 104, 09 Sep 2001 01:46:40, 12.345N 6.789E,
// box01.rwx, red box, create color red", empty fields left out, the type label of a special
// object ("type Zone") where the list draws it over the model.
QString ObjectRowWords(const TPropObject& Object);

class TObjectsListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit TObjectsListModel(const TPropdumpFile& Document, QObject* Parent = nullptr);

    // The number of rows shown; follows the document only when told, since a long command
    // may change the document while the list still paints the old count.
    void SetCount(int Count);

    // The object behind Row, or nullptr for a row the document no longer has.
    const TPropObject* RowObject(int Row) const;
    // Fills Text with the row text of Row; false (Text untouched) for a row the document no
    // longer has.
    bool ListBox1Data(int Row, std::string& Text) const;

    int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
    // The row text for Qt::DisplayRole, its words for Qt::AccessibleTextRole; nothing for other
    // roles.
    QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;

private:
    const TPropdumpFile& Document;
    int Count = 0;
};
