#include "ui/uMainForm.h"

#include "ui/uFrmWorldMap.h"

void TMainForm::WorldMapExecute() {
    if (!WorldMapForm) {
        WorldMapForm = new TFrmWorldMap(*this);
        WorldMapForm->show();
    }
    WorldMapForm->raise();
    WorldMapForm->activateWindow();
}

TFrmWorldMap* TMainForm::WorldMapWindow() const {
    return WorldMapForm.data();
}
