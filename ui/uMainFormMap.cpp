#include "ui/uMainForm.h"

#include "ui/uFrmWorldMap.h"

#include <QScreen>

#include <algorithm>

namespace {

// Beside the main window where the screen has room, else over it, and never past the screen's
// edges: a window manager may otherwise put the map's lower part out of reach.
void PlaceBeside(QWidget& Map, const QWidget& Main) {
    const QScreen* Screen = Main.screen();
    if (!Screen)
        return;
    // Room for the frame the window manager adds, which the window does not know before it is
    // shown.
    const QMargins FrameAllowance(8, 32, 8, 8);
    const QRect Room = Screen->availableGeometry() - FrameAllowance;
    Map.resize(Map.size().boundedTo(Room.size()));
    const QRect Frame = Main.frameGeometry();
    const int Left = std::max(Room.left(), std::min(Frame.right() + 1, Room.right() - Map.width()));
    const int Top = std::max(Room.top(), std::min(Frame.top(), Room.bottom() - Map.height()));
    Map.move(Left, Top);
}

} // namespace

void TMainForm::WorldMapExecute() {
    if (!WorldMapForm) {
        WorldMapForm = new TFrmWorldMap(*this);
        PlaceBeside(*WorldMapForm, *this);
        WorldMapForm->show();
    }
    WorldMapForm->raise();
    WorldMapForm->activateWindow();
}

TFrmWorldMap* TMainForm::WorldMapWindow() const {
    return WorldMapForm.data();
}
