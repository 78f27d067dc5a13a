#pragma once

// Small helpers for driving a dialog's controls the way a user does.

#include <QApplication>
#include <QColor>
#include <QHelpEvent>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QStringList>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>
#include <QWidget>

#include "ui/FormFont.h"

inline QColor WindowColour() {
    return QApplication::palette().color(QPalette::Active, QPalette::Base);
}
inline QColor ButtonFace() {
    return QApplication::palette().color(QPalette::Active, QPalette::Button);
}
inline QColor Background(const QWidget* Field) {
    return Field->palette().color(QPalette::Base);
}

// The control named Name; a missing one ends the test program, since every test needs it.
template <typename T> T* FindControl(const QWidget& Dialog, const char* Name) {
    T* widget = Dialog.findChild<T*>(QString::fromLatin1(Name));
    if (!widget)
        qFatal("no control %s", Name);
    return widget;
}

// QTest::keyClicks takes Latin-1 only; this types any character.
inline void TypeText(QWidget* Field, const QString& Text) {
    for (const QChar c : Text)
        QTest::sendKeyEvent(QTest::Click, Field, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// The names of the Count controls that Tab visits, starting at First.
inline QStringList TabOrder(QWidget* First, int Count) {
    QStringList order;
    QWidget* widget = First;
    for (int i = 0; i < Count; ++i, widget = widget->nextInFocusChain()) {
        while (!(widget->focusPolicy() & Qt::TabFocus))
            widget = widget->nextInFocusChain();
        order << widget->objectName();
    }
    return order;
}

// The hint Widget shows at Point (its own coordinates) as the user reads it; empty when none.
inline QString HintAt(QWidget* Widget, const QPoint& Point = QPoint(1, 1)) {
    QToolTip::showText(QPoint(), QStringLiteral("none"));
    QHelpEvent Event(QEvent::ToolTip, Point, Widget->mapToGlobal(Point));
    QApplication::sendEvent(Widget, &Event);
    QTextDocument Shown;
    Shown.setHtml(QToolTip::text());
    return Shown.toPlainText() == QStringLiteral("none") ? QString() : Shown.toPlainText();
}

// How much ink Text leaves in Font, in bold as the objects list draws its type labels or
// regular, on a picture of DevicePixelRatio. A face can be named bold and still be drawn with
// thin strokes; the ink tells.
inline int InkOf(const QFont& Font, qreal DevicePixelRatio, bool Bold,
                 const QString& Text = QString::fromUtf8("\u00AB Zone \u00BB")) {
    QImage Image(QSize(200, 20) * DevicePixelRatio, QImage::Format_RGB32);
    Image.setDevicePixelRatio(DevicePixelRatio);
    Image.fill(Qt::white);
    QPainter Canvas(&Image);
    Canvas.setFont(Font);
    Canvas.setPen(Qt::black);
    if (Bold)
        DrawBoldText(Canvas, QPointF(2, 15), Text);
    else
        Canvas.drawText(QPointF(2, 15), Text);
    Canvas.end();
    int Ink = 0;
    for (int Y = 0; Y < Image.height(); ++Y)
        for (int X = 0; X < Image.width(); ++X)
            Ink += 255 - qGray(Image.pixel(X, Y));
    return Ink;
}
