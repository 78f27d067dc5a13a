#include "ui/FormFont.h"

#include <QApplication>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

#include <cmath>

namespace {

// A free Tahoma-compatible face (Debian's fonts-wine) lives outside the folders the system's
// font configuration searches, so the application registers it itself when it is there.
constexpr const char* DesignFontFiles[] = {"/usr/share/wine/fonts/tahoma.ttf",
                                           "/usr/share/wine/fonts/tahomabd.ttf"};

struct TFaces {
    bool Tahoma = false;
    // The stand-in's bold outlines are as thin as its regular ones; only its bitmaps (up to
    // 12 pixels) are bold.
    bool ThinBoldOutlines = false;
};

const TFaces& Faces() {
    static const TFaces Found = [] {
        TFaces Result;
        for (const char* File : DesignFontFiles) {
            const QString Path = QString::fromLatin1(File);
            if (QFileInfo::exists(Path) && QFontDatabase::addApplicationFont(Path) >= 0)
                Result.ThinBoldOutlines = true;
        }
        Result.Tahoma = QFontDatabase::families().contains(QStringLiteral("Tahoma"));
        Result.ThinBoldOutlines = Result.ThinBoldOutlines && Result.Tahoma;
        return Result;
    }();
    return Found;
}

// How many device pixels one unit of the painter's coordinates covers.
qreal DeviceScale(const QPainter& Canvas) {
    const QTransform Transform = Canvas.deviceTransform();
    return std::hypot(Transform.m11(), Transform.m12());
}

} // namespace

QFont FormFont(qreal DevicePixelRatio) {
    const TFaces& Found = Faces();
    QFont Font = Found.Tahoma ? QFont(QStringLiteral("Tahoma")) : QApplication::font();
    Font.setPointSize(8);
    if (Found.Tahoma && DevicePixelRatio == 1) {
        // The face's 8-point bitmaps, at the advances drawn into them. With the desktop's usual
        // slight hinting the glyphs would be placed at their outlines' fractional advances
        // instead, up to a pixel away from the bitmaps' own: "Norm alize", "Cam era".
        Font.setHintingPreference(QFont::PreferFullHinting);
        // Smoothing would draw the thin outlines instead of the bitmaps, and bold with them.
        Font.setStyleStrategy(QFont::NoAntialias);
    }
    return Font;
}

void ApplyFormFont(QWidget& Form) {
    Form.setFont(FormFont(Form.devicePixelRatioF()));
}

void DrawBoldText(QPainter& Canvas, const QPointF& Baseline, const QString& Text) {
    QFont Bold = Canvas.font();
    Bold.setBold(true);
    const bool BitmapsDrawn = Bold.styleStrategy() & QFont::NoAntialias && DeviceScale(Canvas) == 1;
    if (!Faces().ThinBoldOutlines || BitmapsDrawn) {
        Canvas.save();
        Canvas.setFont(Bold);
        Canvas.drawText(Baseline, Text);
        Canvas.restore();
        return;
    }
    // Each stroke grows by the width of the pen: about the difference between the face's
    // regular and bold stems at 8 points.
    QPainterPath Outline;
    Outline.addText(Baseline, Bold, Text);
    const qreal Widening = QFontInfo(Bold).pixelSize() * 0.065;
    const QColor Ink = Canvas.pen().color();
    Canvas.save();
    Canvas.setRenderHint(QPainter::Antialiasing);
    Canvas.setPen(QPen(Ink, Widening, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    Canvas.setBrush(Ink);
    Canvas.drawPath(Outline);
    Canvas.restore();
}
