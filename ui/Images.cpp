#include "ui/Images.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <functional>

namespace {

const QColor Outline(60, 60, 60);
const QColor FolderBack(214, 164, 40);
const QColor FolderFront(250, 210, 90);
const QColor DiskBody(40, 80, 160);
const QColor DiskLabel(245, 245, 245);
const QColor DiskShutter(190, 190, 200);
const QColor ArrowGreen(40, 140, 50);
const QColor DoorWood(150, 95, 45);
const QColor ExitRed(200, 40, 40);

QPixmap Draw(int Size, const std::function<void(QPainter&)>& Paint) {
    QPixmap Picture(Size, Size);
    Picture.fill(Qt::transparent);
    QPainter Painter(&Picture);
    Painter.setRenderHint(QPainter::Antialiasing);
    Paint(Painter);
    return Picture;
}

void DrawClosedFolder(QPainter& P) {
    P.setPen(QPen(Outline, 1));
    P.setBrush(FolderBack);
    P.drawPolygon(
        QPolygonF({{1.5, 3.5}, {6.5, 3.5}, {8, 5}, {14.5, 5}, {14.5, 13.5}, {1.5, 13.5}}));
    P.setBrush(FolderFront);
    P.drawRect(QRectF(1.5, 6.5, 13, 7));
}

void DrawOpenFolder(QPainter& P) {
    P.setPen(QPen(Outline, 1));
    P.setBrush(FolderBack);
    P.drawPolygon(
        QPolygonF({{0.5, 3.5}, {5.5, 3.5}, {7, 5}, {12.5, 5}, {12.5, 13.5}, {0.5, 13.5}}));
    // The front flap tilts forward, so the folder reads as open.
    P.setBrush(FolderFront);
    P.drawPolygon(QPolygonF({{3.5, 7.5}, {15.5, 7.5}, {12.5, 13.5}, {0.5, 13.5}}));
}

void DrawDiskette(QPainter& P, const QRectF& Box) {
    const qreal W = Box.width();
    const qreal H = Box.height();
    P.setPen(QPen(Outline, 1));
    P.setBrush(DiskBody);
    P.drawPolygon(
        QPolygonF({Box.topLeft(), Box.topRight() - QPointF(W * 0.2, 0),
                   Box.topRight() + QPointF(0, H * 0.2), Box.bottomRight(), Box.bottomLeft()}));
    P.setPen(Qt::NoPen);
    P.setBrush(DiskLabel);
    P.drawRect(QRectF(Box.left() + W * 0.2, Box.top() + 1, W * 0.55, H * 0.42));
    P.setBrush(DiskShutter);
    P.drawRect(QRectF(Box.left() + W * 0.25, Box.top() + H * 0.62, W * 0.5, H * 0.38 - 1));
    P.setBrush(DiskBody);
    P.drawRect(QRectF(Box.left() + W * 0.33, Box.top() + H * 0.68, W * 0.12, H * 0.22));
}

void DrawOneDiskette(QPainter& P) {
    DrawDiskette(P, QRectF(1.5, 1.5, 13, 13));
}

void DrawTwoDiskettes(QPainter& P) {
    DrawDiskette(P, QRectF(0.5, 0.5, 10, 10));
    DrawDiskette(P, QRectF(5.5, 5.5, 10, 10));
}

void DrawCircularArrow(QPainter& P) {
    P.setPen(QPen(ArrowGreen, 2.2, Qt::SolidLine, Qt::FlatCap));
    P.setBrush(Qt::NoBrush);
    const QRectF Circle(2.5, 2.5, 11, 11);
    // From the top going round clockwise, leaving a gap for the head.
    P.drawArc(Circle, 60 * 16, -290 * 16);
    P.setPen(Qt::NoPen);
    P.setBrush(ArrowGreen);
    P.drawPolygon(QPolygonF({{9.5, 0.5}, {14.5, 3.5}, {9.5, 7.0}}));
}

void DrawExitDoor(QPainter& P) {
    P.setPen(QPen(Outline, 1));
    P.setBrush(QColor(230, 230, 230));
    P.drawRect(QRectF(1.5, 1.5, 8, 13));
    // The door stands ajar, swung towards the viewer.
    P.setBrush(DoorWood);
    P.drawPolygon(QPolygonF({{1.5, 1.5}, {6.5, 3.0}, {6.5, 15.5}, {1.5, 14.5}}));
    P.setPen(QPen(ExitRed, 2, Qt::SolidLine, Qt::FlatCap));
    P.drawLine(QPointF(8, 8), QPointF(13, 8));
    P.setPen(Qt::NoPen);
    P.setBrush(ExitRed);
    P.drawPolygon(QPolygonF({{12, 4.5}, {15.8, 8}, {12, 11.5}}));
}

struct TImageEntry {
    const char* ThemeName;
    const char* AlternativeThemeName;
    void (*Paint)(QPainter&);
};

const TImageEntry Entries[ImageListCount] = {
    {"document-open", "folder-open", DrawOpenFolder},
    {"document-save", nullptr, DrawOneDiskette},
    {"document-save-as", nullptr, DrawTwoDiskettes},
    {"folder", "document-close", DrawClosedFolder},
    {"view-refresh", nullptr, DrawCircularArrow},
    {"application-exit", nullptr, DrawExitDoor},
};

} // namespace

QIcon ImageList1(int Index) {
    if (Index < 0 || Index >= ImageListCount)
        return {};
    const TImageEntry& Entry = Entries[Index];
    QIcon Icon = QIcon::fromTheme(QString::fromLatin1(Entry.ThemeName));
    if (Icon.isNull() && Entry.AlternativeThemeName)
        Icon = QIcon::fromTheme(QString::fromLatin1(Entry.AlternativeThemeName));
    return Icon.isNull() ? QIcon(Draw(16, Entry.Paint)) : Icon;
}

QPixmap QuestionPicture(int Size) {
    const QIcon Themed = QIcon::fromTheme(QStringLiteral("dialog-question"));
    if (!Themed.isNull()) {
        const QPixmap Picture = Themed.pixmap(Size, Size);
        if (!Picture.isNull())
            return Picture;
    }
    return Draw(Size, [Size](QPainter& P) {
        const qreal S = Size;
        P.setPen(QPen(QColor(30, 70, 150), S / 32.0));
        // Dark enough for the white mark to read on it (5.7:1).
        P.setBrush(QColor(40, 100, 190));
        P.drawEllipse(QRectF(S * 0.06, S * 0.06, S * 0.88, S * 0.88));
        QFont Font = P.font();
        Font.setBold(true);
        Font.setPixelSize(qRound(S * 0.62));
        P.setFont(Font);
        P.setPen(Qt::white);
        P.drawText(QRectF(0, 0, S, S), Qt::AlignCenter, QStringLiteral("?"));
    });
}
