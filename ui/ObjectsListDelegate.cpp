#include "ui/ObjectsListDelegate.h"

#include "model/CFunctions.h"
#include "ui/Accessibility.h"
#include "ui/Contrast.h"
#include "ui/FormFont.h"
#include "ui/ObjectTypeNames.h"
#include "ui/ObjectsListModel.h"
#include "ui/TextCodec.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QHeaderView>
#include <QHelpEvent>
#include <QPainter>
#include <QPalette>
#include <QStyleOptionViewItem>

#include <string>

namespace {

const QString Ellipsis = QStringLiteral("...");

void DrawAtTop(QPainter& Canvas, const QFontMetrics& Metrics, int Left, int Top,
               const QString& Text) {
    Canvas.drawText(QPoint(Left, Top + Metrics.ascent()), Text);
}

} // namespace

QString ShortenToColumn(const QString& Text, const QFontMetrics& Metrics, int Width) {
    if (Metrics.horizontalAdvance(Text) < Width)
        return Text;
    // The wanted start is the longest one whose candidate is narrower than the column. A longer
    // start never makes a narrower candidate, so halving finds it with a handful of
    // measurements instead of one per dropped character, which stalls on long descriptions.
    qsizetype Fits = -1;
    qsizetype Low = 0;
    qsizetype High = Text.size() - 1;
    while (Low <= High) {
        const qsizetype Middle = Low + (High - Low) / 2;
        if (Metrics.horizontalAdvance(Text.left(Middle) + Ellipsis) < Width) {
            Fits = Middle;
            Low = Middle + 1;
        } else {
            High = Middle - 1;
        }
    }
    return Fits < 0 ? Ellipsis : Text.left(Fits) + Ellipsis;
}

TObjectsListDelegate::TObjectsListDelegate(const TObjectsListModel& Rows, const QHeaderView& Header,
                                           QObject* Parent)
    : QAbstractItemDelegate(Parent), Rows(Rows), Header(Header) {}

int TObjectsListDelegate::SectionLeft(int Section) const {
    int Left = -Header.offset();
    for (int Index = 0; Index < Section; ++Index)
        Left += Header.sectionSize(Index);
    return Left;
}

int TObjectsListDelegate::TypeLabelLeft() const {
    return SectionLeft(3);
}

std::vector<TObjectsListDelegate::TPiece>
TObjectsListDelegate::LayOutRow(std::string_view RowText, const QFontMetrics& Metrics) const {
    const int Columns = Header.count();
    const std::vector<std::string> Fields =
        SplitText(RowText, {std::string(1, ColumnSeparator)}, Columns);
    std::vector<TPiece> Pieces;
    Pieces.reserve(Fields.size());
    int Left = -Header.offset();
    for (int Column = 0; Column < Columns && Column < static_cast<int>(Fields.size()); ++Column) {
        const int Width = Header.sectionSize(Column);
        QString Whole = ToQString(Fields[static_cast<std::size_t>(Column)]);
        QString Shown = ShortenToColumn(Whole, Metrics, Width);
        Pieces.push_back({std::move(Shown), Left, Width, std::move(Whole)});
        Left += Width;
    }
    return Pieces;
}

void TObjectsListDelegate::ListBox1DrawItem(QPainter& Canvas, int Index, const QRect& Rect,
                                            bool Selected, const QPalette& Colours) const {
    // A row the document no longer has (it shrank before the list was told) is drawn empty.
    const QColor Background = Canvas.brush().color();
    Canvas.fillRect(Rect, Background);
    const TPropObject* Object = Rows.RowObject(Index);
    std::string RowText;
    if (!Object || !Rows.ListBox1Data(Index, RowText))
        return;

    const QFontMetrics Metrics = Canvas.fontMetrics();
    for (const TPiece& Piece : LayOutRow(RowText, Metrics))
        DrawAtTop(Canvas, Metrics, Rect.left() + Piece.Left, Rect.top(), Piece.Text);

    if (Object->ObjectType == 0)
        return;
    QFont Bold = Canvas.font();
    Bold.setBold(true);
    const QFontMetrics BoldMetrics(Bold, Canvas.device());
    const QString Label = ObjectTypeName(Object->ObjectType);
    const int Left = Rect.left() + TypeLabelLeft();
    // The label is written on the row's own background so that the model text beneath it
    // cannot show through.
    Canvas.fillRect(QRect(Left, Rect.top(), BoldMetrics.horizontalAdvance(Label),
                          qMin(BoldMetrics.height(), Rect.height())),
                    Background);
    const QPen ListPen = Canvas.pen();
    Canvas.setPen(TypeLabelColour(Colours, Selected));
    DrawBoldText(Canvas, QPointF(Left, Rect.top() + BoldMetrics.ascent()), Label);
    Canvas.setPen(ListPen);
}

void TObjectsListDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option,
                                 const QModelIndex& Index) const {
    const bool Selected = Option.state & QStyle::State_Selected;
    const QPalette& Colours = Option.palette;
    // System colours, as the list's own drawing uses them: they do not fade when the list
    // loses the focus.
    const QColor Background =
        Colours.color(QPalette::Active, Selected ? QPalette::Highlight : QPalette::Base);
    const QColor FontColour =
        Colours.color(QPalette::Active, Selected ? QPalette::HighlightedText : QPalette::Text);

    Painter->save();
    Painter->setFont(Option.font);
    Painter->setBrush(Background);
    Painter->setPen(FontColour);
    ListBox1DrawItem(*Painter, Index.row(), Option.rect, Selected, Colours);
    if (Option.state & QStyle::State_HasFocus) {
        Painter->setBrush(Qt::NoBrush);
        Painter->setPen(QPen(FontColour, 0, Qt::DotLine));
        Painter->drawRect(Option.rect.adjusted(0, 0, -1, -1));
    }
    Painter->restore();
}

bool TObjectsListDelegate::helpEvent(QHelpEvent* Event, QAbstractItemView* View,
                                     const QStyleOptionViewItem& Option, const QModelIndex& Index) {
    if (!Event || !View || Event->type() != QEvent::ToolTip)
        return QAbstractItemDelegate::helpEvent(Event, View, Option, Index);
    std::string RowText;
    const int X = Event->pos().x() - Option.rect.left();
    if (Index.isValid() && Rows.ListBox1Data(Index.row(), RowText)) {
        const QFontMetrics Metrics(Option.font, View->viewport());
        for (const TPiece& Piece : LayOutRow(RowText, Metrics))
            if (X >= Piece.Left && X < Piece.Left + Piece.Width)
                return ShowWholeText(*Event, *View,
                                     QRect(Option.rect.left() + Piece.Left, Option.rect.top(),
                                           Piece.Width, Option.rect.height()),
                                     Piece.Whole, Piece.Text != Piece.Whole);
    }
    return ShowWholeText(*Event, *View, Option.rect, QString(), false);
}

QSize TObjectsListDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
    // The list stretches every row to its own width; asking for no more keeps it from
    // scrolling sideways, so the columns stay under the header.
    return QSize(1, RowHeight);
}
