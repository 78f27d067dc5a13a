#pragma once

#include <QFont>

class QPainter;
class QPointF;
class QString;
class QWidget;

// The forms' font: Tahoma 8 points where the system has it or the free face that stands in for
// it is installed, else the platform's default family at 8 points, since the forms place their
// controls at fixed pixel positions made for that size. DevicePixelRatio is that of the screen
// the text is drawn on: at 1 the face's hand-tuned bitmaps are drawn, at any other scale its
// smoothed outlines.
QFont FormFont(qreal DevicePixelRatio);
void ApplyFormFont(QWidget& Form);

// Draws Text in bold in the painter's font, with its pen, at Baseline. The stand-in face is bold
// only in its bitmaps; where its outlines are drawn (at any scale but 1) they are widened here,
// so that bold reads as bold at every scale.
void DrawBoldText(QPainter& Canvas, const QPointF& Baseline, const QString& Text);
