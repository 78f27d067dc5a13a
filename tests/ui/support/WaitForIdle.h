#pragma once

// The one way a test learns that the window takes commands again: no file being read, no search,
// deletion or bulk edit under way.

#include "ui/uMainForm.h"

#include <QSignalSpy>

// False when the window is still busy after TimeoutMs.
inline bool WaitUntilIdle(TMainForm& Form, int TimeoutMs = 60000) {
    if (!Form.LongLoopRunning())
        return true;
    QSignalSpy Idle(&Form, &TMainForm::Idle);
    return Idle.wait(TimeoutMs) || !Form.LongLoopRunning();
}
