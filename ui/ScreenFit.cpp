#include "ui/ScreenFit.h"

#include <QWidget>

#include <algorithm>

QMargins FrameAllowance(const QWidget& Window) {
    const QRect Inner = Window.geometry();
    const QRect Outer = Window.frameGeometry();
    if (Window.isVisible() && Outer != Inner)
        return {Inner.left() - Outer.left(), Inner.top() - Outer.top(),
                Outer.right() - Inner.right(), Outer.bottom() - Inner.bottom()};
    return {8, 32, 8, 8};
}

QPoint KeepInside(const QRect& Area, QPoint Wanted, const QSize& Outer) {
    const int Left = std::max(Area.left(), std::min(Wanted.x(), Area.right() + 1 - Outer.width()));
    const int Top = std::max(Area.top(), std::min(Wanted.y(), Area.bottom() + 1 - Outer.height()));
    return {Left, Top};
}
