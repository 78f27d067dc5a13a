#pragma once

// One long walk over many items (the search, the deletion of found objects, the bulk edits).
// The window stays responsive and the walk stays fast: it yields to the event loop by elapsed
// time (about every 25 ms), not after every item, and the host's progress bar shows the exact
// count at each yield.
//
//     TLongLoop Loop(Host, Propdump.Count());    // the progress bar := 0 of Count
//     for (int i = 0; i < Propdump.Count(); ++i) {
//         if (!Loop.Step())                        // may yield; false: the window is closing
//             break;
//         ...work on Propdump.Item(i)...
//     }
//     Loop.Finish();                               // the progress bar full
//
// A walk whose work comes in slices asks SliceSize() how many items it may do before the next
// Step(Items): slices stay short enough for the yields to come on time.
//
// For as long as the loop object lives, the window's action list is suspended, so no file
// command, search or bulk edit can start and change the document under the walk. Closing the
// window meanwhile only asks the walk to stop (Step returns false from then on); the window
// closes once the command has returned to the event loop.

#include "ui/ActionList.h"

#include <QElapsedTimer>

#include <cstdint>

// What a long command needs of the window it runs in: the action list to suspend, a progress bar,
// and word of its start and end, so that closing the window can wait for it.
class ILongCommandHost {
public:
    // A total not known yet: the bar shows that something is going on, not how far it is.
    static constexpr int64_t UnknownTotal = -1;

    virtual TActionList& CommandActions() = 0;
    // Done of Total; counts beyond what a progress bar holds are scaled down.
    virtual void ShowProgress(int64_t Done, int64_t Total) = 0;
    virtual void LongCommandStarted() = 0;
    virtual void LongCommandEnded() = 0;

protected:
    ~ILongCommandHost() = default;
};

class TLongLoop {
public:
    TLongLoop(ILongCommandHost& Host, int Total);
    ~TLongLoop();
    TLongLoop(const TLongLoop&) = delete;
    TLongLoop& operator=(const TLongLoop&) = delete;

    // Counts Items items about to be worked on. Returns false when the walk must stop because the
    // application is shutting down.
    bool Step(int Items = 1);
    // How many items the next slice may hold: one when every item must yield.
    static int SliceSize();
    // Shows the progress bar full.
    void Finish();
    int Done() const { return Count; }

    // Milliseconds between two yields; tests set 0 to yield at every item.
    static void SetYieldInterval(int Milliseconds);

private:
    void Yield();

    ILongCommandHost& Host;
    TActionList::TSuspendGuard Suspended;
    int Total = 0;
    QElapsedTimer SinceYield;
    int Count = 0;
};
