#pragma once

// Windows open inside the screen's free area, frame included, at every scale.

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// The frame the window manager puts around Window: its own once it is shown with one, else room
// for a usual title bar and border, since a window learns its frame only after it is shown.
QMargins FrameAllowance(const QWidget& Window);

// Where a window whose frame spans Outer should go to be as near Wanted (its frame's top left)
// as Area allows; a window larger than Area keeps its top left corner inside.
QPoint KeepInside(const QRect& Area, QPoint Wanted, const QSize& Outer);
