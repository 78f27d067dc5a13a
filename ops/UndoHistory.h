#pragma once

// The changes made to the open document since it was opened, newest last, and the changes
// undone since the last new change. The history holds at most Limit bytes: past that, the
// oldest steps go.

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

    // A new change: the undone changes can no longer be done again. A null step is no change.
    // Should the step not fit in memory, the whole history goes, since the older steps would
    // no longer fit the document.
    void Add(std::unique_ptr<TUndoStep> Step);

    // Null when there is nothing to undo / redo.
    const TUndoStep* NextUndo() const { return Done.empty() ? nullptr : Done.back().get(); }
    const TUndoStep* NextRedo() const { return Undone.empty() ? nullptr : Undone.back().get(); }

    // Takes back the newest change, or does the last one undone again, and tells its kind.
    // std::logic_error when there is none; after any other error the step stays where it was.
    TChangeKind Undo(TPropdumpFile& Document);
    TChangeKind Redo(TPropdumpFile& Document);

    void Clear();

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

    // Oldest first.
    std::deque<TStep> Done;
    // The next to redo last.
    std::vector<TStep> Undone;
    std::size_t Held = 0;
    std::size_t MaxBytes;
};
