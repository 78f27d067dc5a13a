#include "ui/MapPoints.h"

#include <algorithm>

void TMapPoints::Load(const TPropdumpFile& Document) {
    const std::size_t Count = Document.Objects.size();
    // Sized afresh: a document that shrank by much should not keep the old room.
    if (X.capacity() > 2 * Count + 1024) {
        X = {};
        Z = {};
    }
    X.resize(Count);
    Z.resize(Count);
    int32_t Box[4] = {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN};
    for (std::size_t Index = 0; Index < Count; ++Index) {
        const TPropObject& Object = Document.Objects[Index];
        X[Index] = Object.X;
        Z[Index] = Object.Z;
        Box[0] = std::min(Box[0], Object.X);
        Box[1] = std::max(Box[1], Object.X);
        Box[2] = std::min(Box[2], Object.Z);
        Box[3] = std::max(Box[3], Object.Z);
    }
    std::copy(std::begin(Box), std::end(Box), std::begin(Bounds));
    ClearFound();
}

void TMapPoints::Clear() {
    X = {};
    Z = {};
    ClearFound();
}

void TMapPoints::ClearFound() {
    Found = {};
    FoundCount = 0;
}

void TMapPoints::MarkFound(int Position) {
    if (Position < 0 || static_cast<std::size_t>(Position) >= X.size())
        return;
    if (Found.empty())
        Found.assign((X.size() + 63) / 64, 0);
    const auto Index = static_cast<std::size_t>(Position);
    uint64_t& Word = Found[Index >> 6];
    const uint64_t Bit = uint64_t{1} << (Index & 63);
    FoundCount += (Word & Bit) == 0;
    Word |= Bit;
}

std::size_t TMapPoints::MemoryBytes() const {
    return sizeof(*this) + (X.capacity() + Z.capacity()) * sizeof(int32_t) +
           Found.capacity() * sizeof(uint64_t);
}
