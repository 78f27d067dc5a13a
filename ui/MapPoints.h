#pragma once

// What the world map knows of the document: each object's X and Z in document order, and which
// objects the last search found. Eight bytes per object and one bit, so that a redraw walks a few
// megabytes of numbers and never the objects themselves.

#include "model/Propdmp.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class TMapPoints {
public:
    // Takes the positions of every object of Document; found marks are dropped.
    void Load(const TPropdumpFile& Document);
    void Clear();

    int Count() const { return static_cast<int>(X.size()); }
    int32_t XOf(int Index) const { return X[static_cast<std::size_t>(Index)]; }
    int32_t ZOf(int Index) const { return Z[static_cast<std::size_t>(Index)]; }
    const int32_t* XData() const { return X.data(); }
    const int32_t* ZData() const { return Z.data(); }

    // The smallest rectangle holding every object; only meaningful when Count() > 0.
    int32_t MinX() const { return Bounds[0]; }
    int32_t MaxX() const { return Bounds[1]; }
    int32_t MinZ() const { return Bounds[2]; }
    int32_t MaxZ() const { return Bounds[3]; }

    // The objects found: ClearFound, then MarkFound with each one's 0-based document position
    // (positions beyond the objects are ignored).
    void ClearFound();
    void MarkFound(int Position);
    bool AnyFound() const { return FoundCount > 0; }
    bool IsFound(std::size_t Index) const { return (Found[Index >> 6] >> (Index & 63)) & 1u; }

    // Bytes held, counting what is reserved as well as what is used.
    std::size_t MemoryBytes() const;

private:
    std::vector<int32_t> X;
    std::vector<int32_t> Z;
    std::vector<uint64_t> Found; // one bit per object
    std::size_t FoundCount = 0;
    int32_t Bounds[4] = {0, 0, 0, 0};
};
