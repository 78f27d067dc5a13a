#include "ui/LongLoop.h"

#include "ui/Platform.h"
#include "ui/uMainForm.h"

#include <QProgressBar>

#include <algorithm>

namespace {

int YieldIntervalMs = 25;

} // namespace

void TLongLoop::SetYieldInterval(int Milliseconds) {
    YieldIntervalMs = std::max(0, Milliseconds);
}

TLongLoop::TLongLoop(TMainForm& Form, int Total) : Form(Form), Suspended(*Form.ActionList1) {
    // A range of 0..0 would turn the bar into a busy indicator.
    Form.ProgressBar1->setRange(0, std::max(Total, 1));
    Form.ProgressBar1->setValue(0);
    Form.LongLoopStarted();
    SinceYield.start();
}

TLongLoop::~TLongLoop() {
    Form.LongLoopEnded();
}

int TLongLoop::SliceSize() {
    // A slice of a simple walk takes well under a millisecond.
    return YieldIntervalMs == 0 ? 1 : 1024;
}

bool TLongLoop::Step(int Items) {
    Count += Items;
    if (SinceYield.elapsed() >= YieldIntervalMs)
        Yield();
    return !Platform().IsShuttingDown();
}

void TLongLoop::Finish() {
    Form.ProgressBar1->setValue(Form.ProgressBar1->maximum());
}

void TLongLoop::Yield() {
    Form.ProgressBar1->setValue(std::min(Count, Form.ProgressBar1->maximum()));
    Platform().ProcessEvents();
    SinceYield.restart();
}
