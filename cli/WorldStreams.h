#pragma once

// The passes that move, merge and diff make over a file: reading the comparison's keys, and
// writing objects as a new file's lines.

#include "cli/CommandOutput.h"
#include "cli/ObjectStream.h"
#include "cli/Rereadable.h"
#include "model/FileIo.h"
#include "ops/Comparison.h"

#include <limits>
#include <string>
#include <utility>
#include <vector>

// Room in Comparison for about all the objects of the file it is to hold, rather than growing
// its table a few times: lines of a dump run to about ninety bytes.
inline void ReserveFor(TComparison& Comparison, const TRereadable& Held) {
    if (Held.Size() != std::numeric_limits<uint64_t>::max())
        Comparison.Reserve(static_cast<std::size_t>(Held.Size() / 90));
}

struct TKeyBatch {
    std::vector<TComparison::TKeyed> Keys;
    void Clear() { Keys.clear(); }
};

// Take(Keys) with the keys and positions of every batch of Source's objects, in file order.
template <class TTake> void ReadPlaceKeys(TObjectSource& Source, TTake&& Take) {
    StreamObjects<TKeyBatch>(
        Source, lpAllParts,
        [](unsigned, const TPropObject& Object, uint64_t Index, TKeyBatch& Batch) {
            Batch.Keys.emplace_back(PlaceKeyOf(Object), Index);
        },
        StopAtBadLine(Source.Name()), [&](const TBatch&, TKeyBatch& Batch) { Take(Batch.Keys); });
}

struct TLineBatch {
    std::string Text;
    void Clear() { Text.clear(); }
};

// Keep(Object, Index) for every object of Source, on the worker threads: it may change the object
// and tells whether it is written. The lines go to Sink in Version, in file order.
template <class TKeep>
void WriteObjectLines(TObjectSource& Source, int Version, const TByteSink& Sink, TKeep&& Keep) {
    StreamObjects<TLineBatch>(
        Source, lpAllParts,
        [&](unsigned, TPropObject& Object, uint64_t Index, TLineBatch& Batch) {
            if (Keep(Object, Index))
                AppendObjectLine(Object, Version, Batch.Text);
        },
        StopAtBadLine(Source.Name()),
        [&](const TBatch&, TLineBatch& Batch) { Sink(Batch.Text.data(), Batch.Text.size()); });
}
