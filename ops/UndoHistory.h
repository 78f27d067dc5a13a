#pragma once

// The changes made to the open document since it was opened, newest last, and the changes
// undone since the last new change. The history holds at most Limit bytes: past that, the
// oldest steps go.
//
// It also knows whether the document still is what the file holds: the saved mark sits on the
// state that was last opened or saved, so that undoing back to it (or redoing forward to it)
// counts as unchanged. Once that state can no longer be reached (a new change made after
// undoing past it, its steps dropped for room, a change that no step holds, a save that may
// have left the file half-written), the document stays unsaved until the next save.

#include "model/Propdmp.h"
#include "ops/UndoRecord.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <vector>

class TUndoHistory {
public:
    static constexpr std::size_t DefaultLimit = std::size_t{512} << 20;

    explicit TUndoHistory(std::size_t Limit = DefaultLimit) : MaxBytes(Limit) {}

    // The limit for a document that holds DocumentBytes in memory on a machine of MachineBytes
    // (0: not known). Room for a change to every object of the document, at least DefaultLimit,
    // and never more than a quarter of the machine's memory, which the document itself needs too.
    static std::size_t LimitFor(std::size_t DocumentBytes, std::size_t MachineBytes);

    // A new change: the undone changes can no longer be done again. A null step is no change.
    // Returns false when the step alone outgrows the limit: then it goes with every older step,
    // since those would no longer fit the document. Should memory run out, the history is
    // emptied as by ChangeNotKept and the error passes on.
    bool Add(std::unique_ptr<TUndoStep> Step);
    // Whether a step of Bytes (its HeapBytes) would be kept; older steps may go to make room.
    bool CanKeep(std::size_t Bytes) const { return Bytes + sizeof(TStep) <= MaxBytes; }
    // The document changed in a way no step holds: nothing before it can be undone, and the
    // document is unsaved until the next MarkSaved.
    void ChangeNotKept();

    // Null when there is nothing to undo / redo.
    const TUndoStep* NextUndo() const { return Done.empty() ? nullptr : Done.back().get(); }
    const TUndoStep* NextRedo() const { return Undone.empty() ? nullptr : Undone.back().get(); }

    // Takes back the newest change, or does the last one undone again, and tells its kind.
    // std::logic_error when there is none; after any other error the step stays where it was,
    // and the document, which it may have left half-way, counts as unsaved.
    TChangeKind Undo(TPropdumpFile& Document);
    TChangeKind Redo(TPropdumpFile& Document);

    // A new document, as it stands in its file: no steps, nothing lost, nothing unsaved.
    void Clear();

    // The document as it is now is what its file holds.
    void MarkSaved();
    // The file may no longer hold any state of the document (a save that failed half-way).
    void MarkFileChanged() { SavedLost = true; }
    // Whether the document differs from what was last opened or saved.
    bool IsModified() const { return SavedLost || SavedLevel != Level(); }
    // Whether changes were made that can no longer be undone: steps dropped for room, or
    // changes that no step held.
    bool LostSteps() const { return Dropped > 0; }

    std::size_t Limit() const { return MaxBytes; }
    void SetLimit(std::size_t Bytes);
    // What the steps hold, with the history's own share per step.
    std::size_t Bytes() const { return Held; }
    std::size_t UndoCount() const { return Done.size(); }
    std::size_t RedoCount() const { return Undone.size(); }

private:
    using TStep = std::unique_ptr<TUndoStep>;
    template <class TFrom, class TTo>
    TChangeKind Move(TFrom& From, TTo& To, TPropdumpFile& Document, bool Undoing);
    static std::size_t BytesOf(const TUndoStep& Step) { return Step.HeapBytes() + sizeof(TStep); }
    void Trim();
    // The states are numbered by the changes that led to them since the document was opened:
    // the one now is the number of changes done, counting those whose steps are gone.
    std::size_t Level() const { return Dropped + Done.size(); }
    void CheckSavedReachable();

    // Oldest first.
    std::deque<TStep> Done;
    // The next to redo last.
    std::vector<TStep> Undone;
    std::size_t Held = 0;
    std::size_t MaxBytes;
    // Changes done that no step in Done holds any more.
    std::size_t Dropped = 0;
    std::size_t SavedLevel = 0;
    bool SavedLost = false;
};
