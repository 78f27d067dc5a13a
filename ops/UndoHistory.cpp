#include "ops/UndoHistory.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

std::size_t TUndoHistory::LimitFor(std::size_t DocumentBytes, std::size_t MachineBytes) {
    const std::size_t Wanted = std::max(DefaultLimit, DocumentBytes);
    return MachineBytes == 0 ? Wanted : std::min(Wanted, MachineBytes / 4);
}

bool TUndoHistory::Add(std::unique_ptr<TUndoStep> Step) {
    if (!Step)
        return true;
    Undone.clear();
    // A saved state among the changes undone is gone with them.
    CheckSavedReachable();
    try {
        Done.push_back(std::move(Step));
    } catch (...) {
        ChangeNotKept();
        throw;
    }
    Held = 0;
    for (const TStep& Kept : Done)
        Held += BytesOf(*Kept);
    Trim();
    return !Done.empty();
}

void TUndoHistory::ChangeNotKept() {
    Dropped = Level() + 1;
    Done.clear();
    Undone.clear();
    Held = 0;
    SavedLost = true;
}

template <class TFrom, class TTo>
TChangeKind TUndoHistory::Move(TFrom& From, TTo& To, TPropdumpFile& Document, bool Undoing) {
    if (From.empty())
        throw std::logic_error(Undoing ? "There is nothing to undo" : "There is nothing to redo");
    TUndoStep& Step = *From.back();
    // Room first, so that once the document has changed the step surely changes sides.
    To.emplace_back();
    const std::size_t Before = BytesOf(Step);
    try {
        if (Undoing)
            Step.Undo(Document);
        else
            Step.Redo(Document);
    } catch (...) {
        To.pop_back();
        SavedLost = true;
        throw;
    }
    To.back() = std::move(From.back());
    From.pop_back();
    Held = Held - Before + BytesOf(Step);
    const TChangeKind Kind = Step.Kind();
    // A step that alone outgrows the limit goes too.
    Trim();
    return Kind;
}

TChangeKind TUndoHistory::Undo(TPropdumpFile& Document) {
    return Move(Done, Undone, Document, true);
}

TChangeKind TUndoHistory::Redo(TPropdumpFile& Document) {
    return Move(Undone, Done, Document, false);
}

void TUndoHistory::Clear() {
    Done.clear();
    Undone.clear();
    Held = 0;
    Dropped = 0;
    SavedLevel = 0;
    SavedLost = false;
}

void TUndoHistory::MarkSaved() {
    SavedLevel = Level();
    SavedLost = false;
}

void TUndoHistory::SetLimit(std::size_t Bytes) {
    MaxBytes = Bytes;
    Trim();
}

// The oldest change goes first; the changes to redo only when nothing is left to undo, the one
// farthest from now first.
void TUndoHistory::Trim() {
    while (Held > MaxBytes && !Done.empty()) {
        Held -= BytesOf(*Done.front());
        Done.pop_front();
        ++Dropped;
    }
    while (Held > MaxBytes && !Undone.empty()) {
        Held -= BytesOf(*Undone.front());
        Undone.erase(Undone.begin());
    }
    CheckSavedReachable();
}

void TUndoHistory::CheckSavedReachable() {
    if (SavedLevel < Dropped || SavedLevel > Level() + Undone.size())
        SavedLost = true;
}
