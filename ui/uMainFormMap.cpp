#include "ui/uMainForm.h"

#include "ui/ScreenFit.h"
#include "ui/SearchResultsModel.h"
#include "ui/uFrmWorldMap.h"

#include <QListView>
#include <QScreen>

namespace {

// Beside the main window where the screen has room, else over it, and never past the screen's
// edges: a window manager may otherwise put the map's lower part out of reach.
void PlaceBeside(QWidget& Map, const QWidget& Main) {
    const QScreen* Screen = Main.screen();
    if (!Screen)
        return;
    // The window moves by its frame; the whole frame has to fit as well.
    const QMargins Frame = FrameAllowance(Main);
    const QRect Room = Screen->availableGeometry();
    Map.resize(Map.size().boundedTo(Room.size().shrunkBy(Frame)));
    const QRect Beside = Main.frameGeometry();
    Map.move(KeepInside(Room, QPoint(Beside.right() + 1, Beside.top()), Map.size().grownBy(Frame)));
}

} // namespace

void TMainForm::WorldMapExecute() {
    if (!WorldMapForm) {
        WorldMapForm = new TFrmWorldMap(
            *this, {Propdump, *SearchResults, *ListBox1->selectionModel(),
                    [this](const TMapArea& Area, bool WithCriteria) {
                        FindObjectsInArea(Area, WithCriteria);
                    },
                    [this](int Index) { OpenObject(Index); },
                    [this](const TMoveChoice& Choice, QWidget* Asker) {
                        MoveFoundObjects(Choice, Asker);
                    },
                    [this] { return FileDialogFolder(); }});
        connect(this, &TMainForm::DocumentChanged, WorldMapForm.data(),
                &TFrmWorldMap::DocumentChanged);
        PlaceBeside(*WorldMapForm, *this);
        WorldMapForm->show();
    }
    WorldMapForm->raise();
    WorldMapForm->activateWindow();
}

TFrmWorldMap* TMainForm::WorldMapWindow() const {
    return WorldMapForm.data();
}
