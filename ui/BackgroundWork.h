#pragma once

// Reading a dump while the window stays alive. The file is read on a worker thread into a
// document of its own while the window's event loop runs: the window repaints, the progress bar
// follows the reader's batches (a busy bar while the total is not known), commands stay
// suspended as during every long command, and Esc or closing the window stops the read. The
// caller swaps the new document in, on the window's thread, only once it is complete, so that a
// stopped or failed load leaves the open document, and all that hangs on it, as it was.
//
// A modal dialog opened meanwhile (from another window, or by the desktop session) runs an event
// loop of its own: a load that ends during it is taken up only after the dialog has closed.

#include "model/Propdmp.h"
#include "ui/LongLoop.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QString;
class QWidget;

struct TLoadedDocument {
    TPropdumpFile Document;
    TDistinctValues Distinct;
    // HeapBytesOf(Document), summed while the lines were parsed.
    std::size_t HeapBytes = 0;
};

struct TProgress {
    int64_t Done = 0;
    int64_t Total = ILongCommandHost::UnknownTotal;
};

// Runs Work on a worker thread while the window's event loop runs, as a long command: the host's
// actions suspended, its progress bar showing Progress (asked on the window's thread every
// LoadProgressInterval). With Cancel, Esc in Window or closing Window sets it, and Work is
// expected to stop soon after; without, closing waits for Work to end. Work's error passes to
// the caller.
void RunInBackground(QWidget& Window, ILongCommandHost& Host, const std::function<void()>& Work,
                     const std::function<TProgress()>& Progress, std::atomic<bool>* Cancel);

// The document read from Path with Version (0: from its header); null when the user stopped the
// load. Esc stops it when pressed in Window. The load's own errors pass to the caller. A load of
// the file StartLoadingEarly was given, with Version 0, takes over what has been read of it.
std::unique_ptr<TLoadedDocument> LoadInBackground(QWidget& Window, ILongCommandHost& Host,
                                                  const std::string& Path, int Version);

// Starts reading Path (its header telling the version) on a thread of its own, for the file
// named at start: the window then sets itself up while the file is read.
void StartLoadingEarly(const QString& Path);

// Document.Save() on a worker thread; it cannot be stopped, so closing the window meanwhile waits
// for the file to be complete. ExpectedBytes (0: not known) is what the bar counts towards.
void SaveInBackground(QWidget& Window, ILongCommandHost& Host, TPropdumpFile& Document,
                      uint64_t ExpectedBytes);

// Milliseconds between two updates of the progress bar.
inline constexpr int LoadProgressInterval = 50;
