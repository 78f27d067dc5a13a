#pragma once

// Draws the rows of the objects list in the columns of its header: each field of the row text in
// its column, shortened with "..." when it does not fit, and a bold label over the model of
// objects of a special type.

#include <QAbstractItemDelegate>
#include <QString>

#include <string_view>
#include <vector>

class QFontMetrics;
class QHeaderView;
class QPainter;
class QPalette;
class TObjectsListModel;

// Text as it fits a column of Width pixels: whole when narrower than the column, otherwise its
// longest start followed by "..." that is narrower, or "..." alone when nothing fits.
QString ShortenToColumn(const QString& Text, const QFontMetrics& Metrics, int Width);

class TObjectsListDelegate : public QAbstractItemDelegate {
    Q_OBJECT
public:
    static constexpr int RowHeight = 16;

    TObjectsListDelegate(const TObjectsListModel& Rows, const QHeaderView& Header,
                         QObject* Parent = nullptr);

    struct TPiece {
        QString Text;
        // From the row's left edge.
        int Left;
        int Width;
        // The field before shortening; equal to Text when it fits.
        QString Whole;
    };
    // The pieces of RowText as they are drawn: field k in header section k, shortened to fit.
    std::vector<TPiece> LayOutRow(std::string_view RowText, const QFontMetrics& Metrics) const;
    // Where the type label starts, from the row's left edge: over the "Model" column.
    int TypeLabelLeft() const;

    // Draws row Index into Rect with the canvas as prepared: its font, its brush as the row's
    // background and its pen as the font colour.
    void ListBox1DrawItem(QPainter& Canvas, int Index, const QRect& Rect, bool Selected,
                          const QPalette& Colours) const;

    void paint(QPainter* Painter, const QStyleOptionViewItem& Option,
               const QModelIndex& Index) const override;
    QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;
    // A field drawn shortened shows its whole text as the hint of its column.
    bool helpEvent(QHelpEvent* Event, QAbstractItemView* View, const QStyleOptionViewItem& Option,
                   const QModelIndex& Index) override;

private:
    int SectionLeft(int Section) const;

    const TObjectsListModel& Rows;
    const QHeaderView& Header;
};
