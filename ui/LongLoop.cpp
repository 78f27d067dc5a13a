#include "ui/LongLoop.h"

#include "ui/Platform.h"

#include <algorithm>

namespace {

int YieldIntervalMs = 25;

} // namespace

void TLongLoop::SetYieldInterval(int Milliseconds) {
    YieldIntervalMs = std::max(0, Milliseconds);
}

TLongLoop::TLongLoop(ILongCommandHost& Host, int Total)
    : Host(Host), Suspended(Host.CommandActions()), Total(std::max(Total, 1)) {
    // The total is known, even when there is nothing to do: never the busy indicator.
    Host.ShowProgress(0, this->Total);
    Host.LongCommandStarted();
    SinceYield.start();
}

TLongLoop::~TLongLoop() {
    Host.LongCommandEnded();
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
    Host.ShowProgress(Total, Total);
}

void TLongLoop::Yield() {
    Host.ShowProgress(std::min(Count, Total), Total);
    Platform().ProcessEvents();
    SinceYield.restart();
}
