#pragma once

// Deleting the objects a search found, named by their positions as the results list names them.
// The marks go on first, a slice at a time if the caller likes; the objects go in one pass at the
// end. A deletion that stops before that takes back every mark it set, so nothing it marked is
// removed now or by a later deletion.

#include "model/Propdmp.h"

#include <cstddef>
#include <vector>

class TDeletion {
public:
    explicit TDeletion(TPropdumpFile& Document) : Document(Document) {}
    // Takes back the marks unless Commit has run.
    ~TDeletion();
    TDeletion(const TDeletion&) = delete;
    TDeletion& operator=(const TDeletion&) = delete;

    // Marks the object at the 0-based Index; std::out_of_range when there is none. Marking an
    // object twice marks it once.
    void Mark(int Index);
    std::size_t MarkedCount() const { return Marked.size(); }
    // The 0-based positions marked, in the order they were marked.
    const std::vector<int>& Marks() const { return Marked; }
    const TPropdumpFile& Target() const { return Document; }

    // Removes every marked object, keeping the order of the rest, and returns how many went.
    // Removed(Index, Object) first sees each object about to go, in the order they were marked,
    // with its position before the removal, so an undo record can keep it (moving it out is
    // fine: the object left behind keeps its mark and goes); the default does nothing and costs
    // nothing.
    template <class TObserver = decltype([](std::size_t, const TPropObject&) {})>
    std::size_t Commit(TObserver&& Removed = {}) {
        for (const int Index : Marked)
            Removed(static_cast<std::size_t>(Index), Document.Item(Index));
        Committed = true;
        const std::size_t Before = Document.Objects.size();
        Document.DeleteMarked();
        return Before - Document.Objects.size();
    }

private:
    TPropdumpFile& Document;
    std::vector<int> Marked;
    bool Committed = false;
};
