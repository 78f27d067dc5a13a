#include "ui/MapView.h"

#include "text/PositionInfo.h"
#include "ui/Contrast.h"

#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// A pixel's count and, in the top bit, whether a found object is on it.
constexpr uint32_t FoundBit = 0x80000000u;
constexpr uint32_t CountMask = ~FoundBit;

// Objects per pixel, from few to many: each class about three times the one before, so that
// both a lone object and a crowded town square are seen.
constexpr std::array<uint32_t, TMapView::DensityClassCount> DensityFrom = {1, 2, 4, 10, 32, 100, 316};

// On a light canvas the classes run from pale to dark, on a dark one from dim to bright: the
// more objects, the more a pixel stands out. Even the faintest stays plain to see as a lone
// pixel on its canvas.
const TMapColours LightColours = {
    qRgb(0xff, 0xff, 0xff),
    {qRgb(0x7f, 0xcd, 0xbb), qRgb(0x41, 0xb6, 0xc4), qRgb(0x1d, 0x91, 0xc0), qRgb(0x22, 0x5e, 0xa8),
     qRgb(0x25, 0x34, 0x94), qRgb(0x08, 0x1d, 0x58), qRgb(0x03, 0x0b, 0x2a)},
    qRgb(0xf0, 0x3b, 0x20),
    qRgb(0xd4, 0x00, 0x7a),
    QColor(Qt::black),
};
const TMapColours DarkColours = {
    qRgb(0x1e, 0x1e, 0x1e),
    {qRgb(0x1d, 0x91, 0xc0), qRgb(0x41, 0xb6, 0xc4), qRgb(0x7f, 0xcd, 0xbb), qRgb(0xc7, 0xe9, 0xb4),
     qRgb(0xed, 0xf8, 0xb1), qRgb(0xff, 0xff, 0xcc), qRgb(0xff, 0xff, 0xff)},
    qRgb(0xf0, 0x3b, 0x20),
    qRgb(0xff, 0x4f, 0xb0),
    QColor(0xf0, 0xf0, 0xf0),
};

QColor Faint(QColor Colour, int Alpha) {
    Colour.setAlpha(Alpha);
    return Colour;
}

constexpr int FitMargin = 12;
constexpr double HitRadius = 8;
// The pointer tells the nearest object from the next one only when the next one is at least
// this much farther away.
constexpr double ApartPixels = 2;
constexpr double WheelStep = 1.25;
// The closest view: a thousandth of a unit over 64 pixels.
constexpr double MaxScale = 64;
// The farthest: the whole 32-bit range of positions across the view's shorter side.
constexpr double WorldSpan = 4294967296.0;
constexpr int DragThreshold = 3;
// Objects are drawn as dots rather than pixels while at most one pixel in this many has any.
constexpr std::size_t SparseShare = 12;

int32_t ClampToInt32(double Value) {
    const double Rounded = std::round(Value);
    if (Rounded <= std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    if (Rounded >= std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(Rounded);
}

// 1, 2 or 5 times a power of ten, in thousandths: the longest such length not over Limit.
double NiceLength(double Limit) {
    double Length = 1;
    while (Length * 10 <= Limit)
        Length *= 10;
    if (Length * 5 <= Limit)
        return Length * 5;
    if (Length * 2 <= Limit)
        return Length * 2;
    return Length;
}

// Thousandths as the position text writes units: 2500 -> "2.5", 1000000 -> "1000".
QString UnitsText(double Thousandths) {
    QString Text = QString::number(Thousandths / 1000, 'f', 3);
    while (Text.endsWith(QLatin1Char('0')))
        Text.chop(1);
    if (Text.endsWith(QLatin1Char('.')))
        Text.chop(1);
    return Text;
}

} // namespace

TMapView::TMapView(QWidget* Parent) : QWidget(Parent) {
    setObjectName(QStringLiteral("MapView"));
    setAccessibleName(QStringLiteral("World map"));
    setAccessibleDescription(
        QStringLiteral("Objects seen from above, north up. Wheel or plus and minus keys zoom, "
                       "dragging or the arrow keys pan, Home shows every object, Shift+drag "
                       "draws an area, Ctrl+drag from a found object moves the found objects."));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 150);
    setCursor(Qt::OpenHandCursor);
    SetColours(TMapColours::For(palette()));
}

TMapColours TMapColours::For(const QPalette& Colours) {
    TMapColours Scheme = IsDarkPalette(Colours) ? DarkColours : LightColours;
    // The canvas is a field of the theme like the lists beside it.
    Scheme.Background = Colours.color(QPalette::Active, QPalette::Base).rgb();
    Scheme.Ink = ReadableOn(Colours.color(QPalette::Active, QPalette::Text), QColor(Scheme.Background));
    return Scheme;
}

QRgb TMapView::DensityColour(uint32_t Count) const {
    QRgb Colour = Colours.Density.front();
    for (std::size_t Class = 0; Class < DensityFrom.size(); ++Class)
        if (Count >= DensityFrom[Class])
            Colour = Colours.Density[Class];
    return Colour;
}

void TMapView::SetColours(const TMapColours& Scheme) {
    static_assert(LookupSize == DensityFrom.back());
    Colours = Scheme;
    Lookup[0] = Colours.Background;
    for (uint32_t Count = 1; Count < LookupSize; ++Count)
        Lookup[Count] = DensityColour(Count);
    ViewChanged();
}

void TMapView::changeEvent(QEvent* Event) {
    QWidget::changeEvent(Event);
    if (Event->type() == QEvent::PaletteChange)
        SetColours(TMapColours::For(palette()));
}

void TMapView::PointsChanged(bool Refit) {
    if (Refit)
        Fit();
    if (Selected >= MapPoints.Count())
        Selected = -1;
    Hover = {};
    ViewChanged();
}

void TMapView::SetSelected(int Index) {
    const int Valid = Index >= 0 && Index < MapPoints.Count() ? Index : -1;
    if (Valid == Selected)
        return;
    Selected = Valid;
    update();
}

void TMapView::SetMessage(const QString& Text) {
    Message = Text;
    update();
}

void TMapView::Fit() {
    Fitted = true;
    const double Width = std::max(1, width() - 2 * FitMargin);
    const double Height = std::max(1, height() - 2 * FitMargin);
    if (MapPoints.Count() == 0) {
        CenterEast = 0;
        CenterNorth = 0;
        PixelsPerUnit = std::min(Width, Height) / 200000.0;
    } else {
        // East is -X, so the west-most object has the largest X.
        const double West = -static_cast<double>(MapPoints.MaxX());
        const double East = -static_cast<double>(MapPoints.MinX());
        const double South = MapPoints.MinZ();
        const double North = MapPoints.MaxZ();
        CenterEast = (West + East) / 2;
        CenterNorth = (South + North) / 2;
        // A lone spot (or a line) still gets a view some units across.
        const double SpanEast = std::max(East - West, 1000.0);
        const double SpanNorth = std::max(North - South, 1000.0);
        PixelsPerUnit = std::min(Width / SpanEast, Height / SpanNorth);
    }
    ClampScale();
    ViewChanged();
}

void TMapView::ClampScale() {
    const double MinScale = std::max(1, std::min(width(), height())) / WorldSpan;
    PixelsPerUnit = std::clamp(PixelsPerUnit, MinScale, MaxScale);
}

void TMapView::ZoomAt(QPointF Pixel, double Factor) {
    const double Before = PixelsPerUnit;
    const double East = CenterEast + (Pixel.x() - width() / 2.0) / Before;
    const double North = CenterNorth - (Pixel.y() - height() / 2.0) / Before;
    PixelsPerUnit = Before * Factor;
    ClampScale();
    CenterEast = East - (Pixel.x() - width() / 2.0) / PixelsPerUnit;
    CenterNorth = North + (Pixel.y() - height() / 2.0) / PixelsPerUnit;
    Fitted = false;
    ViewChanged();
}

void TMapView::PanBy(QPointF Pixels) {
    CenterEast -= Pixels.x() / PixelsPerUnit;
    CenterNorth += Pixels.y() / PixelsPerUnit;
    Fitted = false;
    ViewChanged();
}

void TMapView::SetAreaMode(bool On) {
    AreaMode = On;
    setCursor(On ? Qt::CrossCursor : Qt::OpenHandCursor);
}

void TMapView::SetArea(const std::optional<TMapArea>& Area) {
    SelectedArea = Area;
    update();
    emit AreaChanged();
}

QPointF TMapView::ToScreen(int32_t X, int32_t Z) const {
    return {width() / 2.0 + (-static_cast<double>(X) - CenterEast) * PixelsPerUnit,
            height() / 2.0 - (static_cast<double>(Z) - CenterNorth) * PixelsPerUnit};
}

void TMapView::ToWorld(QPoint Pixel, int32_t& X, int32_t& Z) const {
    const double East = CenterEast + (Pixel.x() + 0.5 - width() / 2.0) / PixelsPerUnit;
    const double North = CenterNorth - (Pixel.y() + 0.5 - height() / 2.0) / PixelsPerUnit;
    X = ClampToInt32(-East);
    Z = ClampToInt32(North);
}

void TMapView::ViewChanged() {
    Dirty = true;
    update();
}

const QImage& TMapView::Raster() {
    if (Dirty || Canvas.size() != size())
        Render();
    return Canvas;
}

void TMapView::Render() {
    Dirty = false;
    const int Width = std::max(1, width());
    const int Height = std::max(1, height());
    if (Canvas.size() != QSize(Width, Height))
        Canvas = QImage(Width, Height, QImage::Format_RGB32);
    // 32-bit pixels have no padding at the end of a line: the picture is one array of counts.
    auto* Pixels = reinterpret_cast<uint32_t*>(Canvas.bits());
    const std::size_t PixelCount =
        static_cast<std::size_t>(Width) * static_cast<std::size_t>(Height);
    std::memset(Pixels, 0, PixelCount * sizeof(uint32_t));

    // Screen x = OriginX - X * Scale (east is -X), screen y = OriginY - Z * Scale.
    const double Scale = PixelsPerUnit;
    const double OriginX = Width / 2.0 - CenterEast * Scale;
    const double OriginY = Height / 2.0 + CenterNorth * Scale;
    const double Right = Width;
    const double Bottom = Height;
    const int32_t* Xs = MapPoints.XData();
    const int32_t* Zs = MapPoints.ZData();
    const std::size_t Count = static_cast<std::size_t>(MapPoints.Count());
    const bool AnyFound = MapPoints.AnyFound();
    for (std::size_t Index = 0; Index < Count; ++Index) {
        const double PixelX = OriginX - Xs[Index] * Scale;
        const double PixelY = OriginY - Zs[Index] * Scale;
        if (!(PixelX >= 0 && PixelX < Right && PixelY >= 0 && PixelY < Bottom))
            continue;
        uint32_t& Pixel =
            Pixels[static_cast<std::size_t>(PixelY) * static_cast<std::size_t>(Width) +
                   static_cast<std::size_t>(PixelX)];
        ++Pixel;
        if (AnyFound && MapPoints.IsFound(Index))
            Pixel |= FoundBit;
    }

    const QRgb Found = Colours.Found;
    const QRgb Darkest = Colours.Density.back();
    std::size_t Occupied = 0;
    for (std::size_t Index = 0; Index < PixelCount; ++Index) {
        const uint32_t Value = Pixels[Index];
        const uint32_t Objects = Value & CountMask;
        Occupied += Value != 0;
        Pixels[Index] = (Value & FoundBit)     ? Found
                        : Objects < LookupSize ? Lookup[Objects]
                                               : Darkest;
    }
    if (Occupied * SparseShare < PixelCount)
        Enlarge(Occupied);
}

// Where objects stand far apart, a lone pixel is lost on the screen: each becomes a dot three
// pixels across, drawn only where there is nothing else to draw.
void TMapView::Enlarge(std::size_t Occupied) {
    auto* Pixels = reinterpret_cast<uint32_t*>(Canvas.bits());
    const int Width = Canvas.width();
    const int Height = Canvas.height();
    const QRgb Background = Colours.Background;
    std::vector<uint32_t> Dots;
    Dots.reserve(Occupied);
    for (uint32_t Index = 0; Index < static_cast<uint32_t>(Width * Height); ++Index)
        if (Pixels[Index] != Background)
            Dots.push_back(Index);
    for (const uint32_t Index : Dots) {
        const int X = static_cast<int>(Index % static_cast<uint32_t>(Width));
        const int Y = static_cast<int>(Index / static_cast<uint32_t>(Width));
        const QRgb Colour = Pixels[Index];
        for (int Row = std::max(0, Y - 1); Row <= std::min(Height - 1, Y + 1); ++Row)
            for (int Column = std::max(0, X - 1); Column <= std::min(Width - 1, X + 1); ++Column)
                if (Pixels[Row * Width + Column] == Background)
                    Pixels[Row * Width + Column] = Colour;
    }
}

TMapView::THit TMapView::HitAt(QPoint Pixel) const {
    const double Scale = PixelsPerUnit;
    const double OriginX = width() / 2.0 - CenterEast * Scale;
    const double OriginY = height() / 2.0 + CenterNorth * Scale;
    const double PointerX = Pixel.x() + 0.5;
    const double PointerY = Pixel.y() + 0.5;
    const int32_t* Xs = MapPoints.XData();
    const int32_t* Zs = MapPoints.ZData();
    const int Count = MapPoints.Count();

    THit Hit;
    double Nearest = HitRadius * HitRadius;
    for (int Index = 0; Index < Count; ++Index) {
        const double Dx = OriginX - Xs[Index] * Scale - PointerX;
        if (Dx > HitRadius || Dx < -HitRadius)
            continue;
        const double Dy = OriginY - Zs[Index] * Scale - PointerY;
        const double Distance = Dx * Dx + Dy * Dy;
        if (Distance < Nearest) {
            Nearest = Distance;
            Hit.Index = Index;
        }
    }
    if (Hit.Index < 0)
        return Hit;

    // The pointer names the nearest object only when every object at another place is clearly
    // farther away; objects at the very same place are counted instead.
    const int32_t HitX = Xs[Hit.Index];
    const int32_t HitZ = Zs[Hit.Index];
    const double Clear = std::sqrt(Nearest) + ApartPixels;
    for (int Index = 0; Index < Count; ++Index) {
        if (Index == Hit.Index)
            continue;
        if (Xs[Index] == HitX && Zs[Index] == HitZ) {
            ++Hit.Others;
            continue;
        }
        const double Dx = OriginX - Xs[Index] * Scale - PointerX;
        if (Dx >= Clear || Dx <= -Clear)
            continue;
        const double Dy = OriginY - Zs[Index] * Scale - PointerY;
        if (Dx * Dx + Dy * Dy < Clear * Clear) {
            // Pointing between objects names none; pointing at a cluster asks for a closer look.
            Hit = {};
            Hit.Crowded = Nearest <= ApartPixels * ApartPixels;
            break;
        }
    }
    return Hit;
}

QImage TMapView::Picture() {
    return grab().toImage();
}

std::size_t TMapView::MemoryBytes() const {
    return MapPoints.MemoryBytes() + static_cast<std::size_t>(Canvas.sizeInBytes());
}

void TMapView::paintEvent(QPaintEvent*) {
    QPainter Painter(this);
    Painter.drawImage(0, 0, Raster());
    Painter.setRenderHint(QPainter::Antialiasing);
    DrawArea(Painter);
    DrawMoveDrag(Painter);
    DrawSelected(Painter);
    DrawScaleBar(Painter);
    DrawLegend(Painter);
    if (!Message.isEmpty()) {
        Painter.setPen(Colours.Ink);
        Painter.drawText(rect().adjusted(20, 20, -20, -20), Qt::AlignCenter | Qt::TextWordWrap,
                         Message);
    }
}

void TMapView::DrawArea(QPainter& Painter) const {
    QRectF Band;
    if (Drag == TDrag::Area)
        Band = QRectF(QPointF(PressAt), QPointF(DragAt)).normalized().adjusted(0, 0, 1, 1);
    else if (SelectedArea)
        // Both edges are inside the area: the rectangle ends after the east and south pixels.
        Band = QRectF(ToScreen(SelectedArea->MaxX, SelectedArea->MaxZ),
                      ToScreen(SelectedArea->MinX, SelectedArea->MinZ))
                   .normalized()
                   .adjusted(0, 0, 1, 1);
    if (Band.isNull())
        return;
    Painter.save();
    Painter.setBrush(QColor(255, 200, 0, 40));
    QPen Pen(Colours.Ink);
    Pen.setStyle(Qt::DashLine);
    Pen.setWidth(2);
    Painter.setPen(Pen);
    Painter.drawRect(Band);
    Painter.restore();
}

std::optional<TOffset> TMapView::MoveDragOffset() const {
    if (Drag != TDrag::Move)
        return std::nullopt;
    return OffsetOfDrag(DragAt - PressAt);
}

TOffset TMapView::OffsetOfDrag(QPoint Pixels) const {
    // A power of ten no larger than a pixel: the offset reads as round as the view allows, and
    // the objects land within a pixel of where the drag showed them.
    const double PerPixel = 1 / PixelsPerUnit;
    double Step = 1;
    while (Step * 10 <= PerPixel)
        Step *= 10;
    const auto Rounded = [Step, PerPixel](int Pixels) {
        return ClampToInt32(std::round(Pixels * PerPixel / Step) * Step);
    };
    // Right is east (-X), down is south (-Z).
    return {Rounded(-Pixels.x()), 0, Rounded(-Pixels.y())};
}

void TMapView::EndMoveDrag() {
    Drag = TDrag::None;
    Lifted = QImage();
    // What was under the pointer when the drag began is told afresh.
    Hover = {};
    setCursor(AreaMode ? Qt::CrossCursor : Qt::OpenHandCursor);
    update();
    emit MoveDragChanged();
}

void TMapView::DrawMoveDrag(QPainter& Painter) const {
    if (Drag != TDrag::Move)
        return;
    Painter.save();
    // The objects stay where they are until the drop; their lifted copy shows where they go.
    Painter.setOpacity(0.75);
    Painter.drawImage(DragAt - PressAt, Lifted);
    Painter.setOpacity(1);
    const TOffset By = OffsetOfDrag(DragAt - PressAt);
    const QString Text = QString::fromStdString(PositionToText(By.X, By.Y, By.Z, 0));
    const QFontMetrics Metrics = Painter.fontMetrics();
    QRect Box(DragAt + QPoint(14, 10),
              QSize(Metrics.horizontalAdvance(Text) + 10, Metrics.height() + 6));
    // Inside the view, whichever corner the pointer is near.
    if (Box.right() > width())
        Box.moveRight(DragAt.x() - 10);
    if (Box.bottom() > height())
        Box.moveBottom(DragAt.y() - 10);
    // On the canvas's own colour, as the scale bar's and the legend's panels.
    Painter.setPen(Faint(Colours.Ink, 90));
    Painter.setBrush(QColor(Colours.Background));
    Painter.drawRect(Box);
    Painter.setPen(Colours.Ink);
    Painter.drawText(Box, Qt::AlignCenter, Text);
    Painter.restore();
}

bool TMapView::FoundNear(QPoint Pixel) const {
    const QPointF Pointer(Pixel.x() + 0.5, Pixel.y() + 0.5);
    for (int Index = 0; Index < MapPoints.Count() && MapPoints.AnyFound(); ++Index) {
        if (!MapPoints.IsFound(static_cast<std::size_t>(Index)))
            continue;
        const QPointF Away = ToScreen(MapPoints.XOf(Index), MapPoints.ZOf(Index)) - Pointer;
        if (QPointF::dotProduct(Away, Away) <= HitRadius * HitRadius)
            return true;
    }
    return false;
}

void TMapView::DrawSelected(QPainter& Painter) const {
    if (Selected < 0 || Selected >= MapPoints.Count())
        return;
    const QPointF At = ToScreen(MapPoints.XOf(Selected), MapPoints.ZOf(Selected));
    const QPointF Centre(std::floor(At.x()) + 0.5, std::floor(At.y()) + 0.5);
    Painter.save();
    Painter.setBrush(Qt::NoBrush);
    // A ring of the canvas's colour sets the mark off from the objects around it.
    Painter.setPen(QPen(QColor(Colours.Background), 5));
    Painter.drawEllipse(Centre, 7, 7);
    Painter.setPen(QPen(QColor(Colours.Selected), 3));
    Painter.drawEllipse(Centre, 7, 7);
    Painter.restore();
}

void TMapView::DrawScaleBar(QPainter& Painter) const {
    const double Length = NiceLength(120 / PixelsPerUnit);
    const double Pixels = Length * PixelsPerUnit;
    const QPointF Start(12, height() - 14);
    const QString Label = UnitsText(Length) + QStringLiteral(" units");
    Painter.save();
    const QFontMetrics Metrics = Painter.fontMetrics();
    const QRectF Panel(Start.x() - 6, Start.y() - Metrics.height() - 8,
                       std::max(Pixels, double(Metrics.horizontalAdvance(Label))) + 12,
                       Metrics.height() + 16);
    // The panels of the scale bar and the legend hide the objects beneath them, so that their
    // text reads on the canvas's own colour whatever is drawn there.
    Painter.setPen(Qt::NoPen);
    Painter.setBrush(QColor(Colours.Background));
    Painter.drawRect(Panel);
    Painter.setPen(QPen(Colours.Ink, 2));
    Painter.drawLine(Start, Start + QPointF(Pixels, 0));
    Painter.drawLine(Start + QPointF(0, -4), Start + QPointF(0, 4));
    Painter.drawLine(Start + QPointF(Pixels, -4), Start + QPointF(Pixels, 4));
    Painter.drawText(QPointF(Start.x(), Start.y() - 6), Label);
    Painter.restore();
}

void TMapView::DrawLegend(QPainter& Painter) const {
    const QFontMetrics Metrics = Painter.fontMetrics();
    const int Line = Metrics.height() + 2;
    const int Swatch = Metrics.height() - 2;
    QStringList Labels;
    for (std::size_t Class = 0; Class < DensityFrom.size(); ++Class) {
        const uint32_t From = DensityFrom[Class];
        if (Class + 1 == DensityFrom.size())
            Labels << QStringLiteral("%1 or more").arg(From);
        else if (DensityFrom[Class + 1] - 1 == From)
            Labels << QString::number(From);
        else
            Labels << QStringLiteral("%1 to %2").arg(From).arg(DensityFrom[Class + 1] - 1);
    }
    const QString Title = QStringLiteral("Objects per pixel");
    const QString FoundText = QStringLiteral("Found by the search");
    const QString SelectedText = QStringLiteral("Selected in the list");
    int TextWidth =
        std::max({Metrics.horizontalAdvance(Title), Metrics.horizontalAdvance(FoundText),
                  Metrics.horizontalAdvance(SelectedText)});
    for (const QString& Label : Labels)
        TextWidth = std::max(TextWidth, Metrics.horizontalAdvance(Label) + Swatch + 6);
    const int Rows = static_cast<int>(Labels.size()) + 3;
    const QRect Panel(width() - TextWidth - Swatch - 28, 8, TextWidth + Swatch + 20,
                      Rows * Line + 10);

    Painter.save();
    Painter.setPen(Faint(Colours.Ink, 60));
    Painter.setBrush(QColor(Colours.Background));
    Painter.drawRect(Panel);
    Painter.setPen(Colours.Ink);
    int Top = Panel.top() + 5;
    Painter.drawText(QRect(Panel.left() + 8, Top, TextWidth + Swatch, Line), Qt::AlignVCenter,
                     Title);
    const auto Row = [&](const QString& Text, QRgb Colour, bool Ring) {
        Top += Line;
        const QRect Box(Panel.left() + 8, Top + (Line - Swatch) / 2, Swatch, Swatch);
        if (Ring) {
            Painter.setBrush(Qt::NoBrush);
            Painter.setPen(QPen(QColor(Colour), 2));
            Painter.drawEllipse(Box.adjusted(1, 1, -1, -1));
        } else {
            Painter.setPen(Faint(Colours.Ink, 90));
            Painter.setBrush(QColor(Colour));
            Painter.drawRect(Box);
        }
        Painter.setPen(Colours.Ink);
        Painter.drawText(QRect(Box.right() + 6, Top, TextWidth, Line), Qt::AlignVCenter, Text);
    };
    for (std::size_t Class = 0; Class < DensityFrom.size(); ++Class)
        Row(Labels[static_cast<qsizetype>(Class)], Colours.Density[Class], false);
    Row(FoundText, Colours.Found, false);
    Row(SelectedText, Colours.Selected, true);
    Painter.restore();
}

void TMapView::resizeEvent(QResizeEvent* Event) {
    QWidget::resizeEvent(Event);
    if (Fitted)
        Fit();
    else
        ViewChanged();
}

void TMapView::mousePressEvent(QMouseEvent* Event) {
    const bool Left = Event->button() == Qt::LeftButton;
    if (!Left && Event->button() != Qt::MiddleButton)
        return QWidget::mousePressEvent(Event);
    PressAt = DragAt = Event->position().toPoint();
    if (Left && (Event->modifiers() & Qt::ControlModifier) && FoundNear(PressAt)) {
        Drag = TDrag::Move;
        // The picture shows the found objects in a colour of their own, and nothing else in it.
        const QImage& Picture = Raster();
        Lifted = QImage(Picture.size(), QImage::Format_ARGB32_Premultiplied);
        Lifted.fill(Qt::transparent);
        for (int Y = 0; Y < Picture.height(); ++Y) {
            const auto* From = reinterpret_cast<const QRgb*>(Picture.constScanLine(Y));
            auto* To = reinterpret_cast<QRgb*>(Lifted.scanLine(Y));
            for (int X = 0; X < Picture.width(); ++X)
                if (From[X] == Colours.Found)
                    To[X] = Colours.Found;
        }
        setCursor(Qt::SizeAllCursor);
        update();
        emit MoveDragChanged();
        return;
    }
    Drag =
        Left && (AreaMode || (Event->modifiers() & Qt::ShiftModifier)) ? TDrag::Area : TDrag::Pan;
    if (Drag == TDrag::Pan)
        setCursor(Qt::ClosedHandCursor);
}

void TMapView::mouseMoveEvent(QMouseEvent* Event) {
    const QPoint At = Event->position().toPoint();
    int32_t X = 0;
    int32_t Z = 0;
    ToWorld(At, X, Z);
    emit PointerMoved(X, Z);
    switch (Drag) {
    case TDrag::Pan:
        PanBy(At - DragAt);
        DragAt = At;
        return;
    case TDrag::Area:
        DragAt = At;
        update();
        return;
    case TDrag::Move:
        DragAt = At;
        update();
        emit MoveDragChanged();
        return;
    case TDrag::None:
        UpdateHover(At);
        return;
    }
}

void TMapView::mouseReleaseEvent(QMouseEvent* Event) {
    if (Drag == TDrag::Move) {
        DragAt = Event->position().toPoint();
        const TOffset By = OffsetOfDrag(DragAt - PressAt);
        EndMoveDrag();
        UpdateHover(DragAt);
        if (By != TOffset{})
            emit FoundObjectsDropped(By);
        return;
    }
    const TDrag Ended = Drag;
    Drag = TDrag::None;
    setCursor(AreaMode ? Qt::CrossCursor : Qt::OpenHandCursor);
    const QPoint At = Event->position().toPoint();
    if (Ended != TDrag::Area) {
        UpdateHover(At);
        return;
    }
    // A click without a drag draws no area and keeps the one there is.
    if ((At - PressAt).manhattanLength() < DragThreshold) {
        update();
        return;
    }
    int32_t X1 = 0, Z1 = 0, X2 = 0, Z2 = 0;
    ToWorld(PressAt, X1, Z1);
    ToWorld(At, X2, Z2);
    SetArea(TMapArea::FromCorners(X1, Z1, X2, Z2));
    UpdateHover(At);
}

void TMapView::mouseDoubleClickEvent(QMouseEvent* Event) {
    if (Event->button() != Qt::LeftButton)
        return QWidget::mouseDoubleClickEvent(Event);
    Drag = TDrag::None;
    emit ObjectDoubleClicked(HitAt(Event->position().toPoint()).Index);
}

void TMapView::wheelEvent(QWheelEvent* Event) {
    const double Steps = Event->angleDelta().y() / 120.0;
    if (Steps == 0)
        return;
    ZoomAt(Event->position(), std::pow(WheelStep, Steps));
    UpdateHover(Event->position().toPoint());
}

void TMapView::keyPressEvent(QKeyEvent* Event) {
    const QPointF Centre(width() / 2.0, height() / 2.0);
    const double Step = std::min(width(), height()) / 8.0;
    switch (Event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        ZoomAt(Centre, WheelStep);
        break;
    case Qt::Key_Minus:
        ZoomAt(Centre, 1 / WheelStep);
        break;
    case Qt::Key_Left:
        PanBy(QPointF(Step, 0));
        break;
    case Qt::Key_Right:
        PanBy(QPointF(-Step, 0));
        break;
    case Qt::Key_Up:
        PanBy(QPointF(0, Step));
        break;
    case Qt::Key_Down:
        PanBy(QPointF(0, -Step));
        break;
    case Qt::Key_Escape:
        if (Drag == TDrag::Move) {
            EndMoveDrag();
        } else if (Drag == TDrag::Area) {
            Drag = TDrag::None;
            update();
        } else if (SelectedArea) {
            SetArea(std::nullopt);
        } else {
            Event->ignore();
        }
        break;
    default:
        QWidget::keyPressEvent(Event);
    }
}

void TMapView::leaveEvent(QEvent* Event) {
    QWidget::leaveEvent(Event);
    if (Drag == TDrag::None && !(Hover == THit{})) {
        Hover = {};
        emit HoverChanged(Hover);
    }
}

void TMapView::UpdateHover(QPoint Pixel) {
    const THit Hit = rect().contains(Pixel) ? HitAt(Pixel) : THit{};
    if (Hit == Hover)
        return;
    Hover = Hit;
    emit HoverChanged(Hit);
}
