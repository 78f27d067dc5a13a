#pragma once

// The drawing surface of the world map: every object seen from above, north up and east to the
// right, each pixel coloured by how many objects fall on it, the objects found by the last search
// over that in a contrasting colour, the object selected in the objects list marked. The wheel
// zooms around the pointer, a drag pans, Shift+drag (or a drag in area mode) draws an area, and
// Ctrl+drag from a found object carries the found objects along to a new place.
//
// A redraw walks the compact positions of TMapPoints once, counting objects per pixel straight
// into the picture's own pixels, and then turns each count into its colour: no object texts, no
// second buffer.

#include "ops/MapArea.h"
#include "ops/Relocation.h"
#include "ui/MapPoints.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QWidget>

#include <array>
#include <cstdint>
#include <optional>

class QPalette;

// What the map is drawn in: the canvas, the density classes from few objects to many, the
// objects found, the selected object's ring, and the text and lines drawn over it all.
struct TMapColours {
    static constexpr std::size_t DensityClassCount = 7;
    QRgb Background;
    std::array<QRgb, DensityClassCount> Density;
    QRgb Found;
    QRgb Selected;
    QColor Ink;
    // Dark classes on a light theme's canvas, bright ones on a dark theme's.
    static TMapColours For(const QPalette& Colours);
};

class TMapView : public QWidget {
    Q_OBJECT
public:
    explicit TMapView(QWidget* Parent = nullptr);

    // Change the points through this, then call PointsChanged.
    TMapPoints& Points() { return MapPoints; }
    // Redraws after the points changed; Refit shows every object afresh.
    void PointsChanged(bool Refit);
    // The object to mark, by 0-based document position; -1 for none.
    void SetSelected(int Index);
    // A text shown across an empty map, such as "No propdump is open."; empty for none.
    void SetMessage(const QString& Text);
    const QString& MessageText() const { return Message; }

    // Shows every object (and keeps doing so as the view is resized, until the user moves it).
    void Fit();
    // Zooms by Factor (above 1: closer) keeping the world point under Pixel where it is.
    void ZoomAt(QPointF Pixel, double Factor);
    void PanBy(QPointF Pixels);
    // Pixels per thousandth of a coordinate unit.
    double Scale() const { return PixelsPerUnit; }

    // In area mode a plain drag draws an area instead of panning.
    void SetAreaMode(bool On);
    const std::optional<TMapArea>& Area() const { return SelectedArea; }
    void SetArea(const std::optional<TMapArea>& Area);

    // The pixel (fractional: its left/top edge) at which a point of the world is drawn.
    QPointF ToScreen(int32_t X, int32_t Z) const;
    // The world point at the centre of a pixel, in whole thousandths, within the 32-bit range.
    void ToWorld(QPoint Pixel, int32_t& X, int32_t& Z) const;

    // While a Ctrl+drag carries the found objects: how far, rounded to a step that the view shows
    // as at most one pixel. Empty otherwise.
    std::optional<TOffset> MoveDragOffset() const;

    // What the pointer at Pixel points at: the nearest object within a few pixels, or none.
    // It is told apart only when every object at another place is clearly farther from the
    // pointer; otherwise Index is -1, and Crowded is set when the pointer is right on the
    // objects. Others counts further objects at exactly the same place.
    struct THit {
        int Index = -1;
        int Others = 0;
        bool Crowded = false;
        bool operator==(const THit&) const = default;
    };
    THit HitAt(QPoint Pixel) const;

    static constexpr std::size_t DensityClassCount = TMapColours::DensityClassCount;
    // The colour a pixel holding Count objects gets (Count >= 1), and the legend's classes.
    QRgb DensityColour(uint32_t Count) const;
    const TMapColours& MapColours() const { return Colours; }

    // The counted and coloured pixels as last drawn, without legend or marks; drawn first when
    // out of date.
    const QImage& Raster();
    // Everything the view shows, marks, legend and scale bar included.
    QImage Picture();

    // The map's own memory: the positions, the found marks and the picture.
    std::size_t MemoryBytes() const;

signals:
    void PointerMoved(int32_t X, int32_t Z);
    void HoverChanged(const TMapView::THit& Hit);
    void AreaChanged();
    // Index -1: there is no single object under the pointer.
    void ObjectDoubleClicked(int Index);
    // A Ctrl+drag of the found objects began, went on or ended (MoveDragOffset tells which).
    void MoveDragChanged();
    // A Ctrl+drag of the found objects ended with the button let go, By away from its start.
    void FoundObjectsDropped(TOffset By);

protected:
    void changeEvent(QEvent* Event) override;
    void paintEvent(QPaintEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;
    void wheelEvent(QWheelEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void leaveEvent(QEvent* Event) override;

private:
    enum class TDrag { None, Pan, Area, Move };

    void SetColours(const TMapColours& Scheme);
    void Render();
    void Enlarge(std::size_t Occupied);
    void ViewChanged();
    void UpdateHover(QPoint Pixel);
    // Whether a found object is drawn within reach of the pointer at Pixel.
    bool FoundNear(QPoint Pixel) const;
    TOffset OffsetOfDrag(QPoint Pixels) const;
    void EndMoveDrag();
    void DrawMoveDrag(class QPainter& Painter) const;
    void ClampScale();
    void DrawArea(QPainter& Painter) const;
    void DrawSelected(QPainter& Painter) const;
    void DrawScaleBar(QPainter& Painter) const;
    void DrawLegend(QPainter& Painter) const;

    TMapPoints MapPoints;
    TMapColours Colours{};
    // The colours of the counts below the last class's start, looked up rather than searched.
    static constexpr uint32_t LookupSize = 316;
    std::array<QRgb, LookupSize> Lookup{};
    QImage Canvas;
    bool Dirty = true;

    // The world point at the view's centre, east and north positive (east is -X), in
    // thousandths; and the scale.
    double CenterEast = 0;
    double CenterNorth = 0;
    double PixelsPerUnit = 0.001;
    bool Fitted = true;

    int Selected = -1;
    QString Message;
    bool AreaMode = false;
    std::optional<TMapArea> SelectedArea;

    TDrag Drag = TDrag::None;
    QPoint PressAt;
    QPoint DragAt;
    THit Hover;
    // The found objects' pixels, lifted off the picture at the start of a move drag and drawn
    // where the drag has carried them.
    QImage Lifted;
};
