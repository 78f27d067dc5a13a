#pragma once

// What changed between two dumps of one world. Two objects are the same object when they stand
// at the same place (X, Y, Z). Objects at one place pair first with an object equal to them in
// every field, then in file order; a pair that differs in any other field is changed, an object
// of the old dump left without a partner removed, one of the new dump added.
//
// One side is held and the other streams past: the held side costs a few dozen bytes per object
// (its place and a fingerprint of its other fields), the streamed side nothing beyond the objects
// still waiting for a partner, of which there are never more than held objects at their place.

#include "model/Propdmp.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// An object as the comparison sees it: its place, and a 64-bit fingerprint of every other field.
// Two objects that differ get the same fingerprint with a chance of one in 2^64.
struct TPlaceKey {
    int32_t X = 0;
    int32_t Y = 0;
    int32_t Z = 0;
    uint64_t Fingerprint = 0;
};
// DataLength plays no part: a read object's DataLength is the size of its Data, and Data is what
// a save writes.
TPlaceKey PlaceKeyOf(const TPropObject& Object);

enum class TDumpSide : uint8_t { Old, New };

class TComparison {
public:
    // Held names the side given to Hold; the other goes to Stream. Without lists only the counts
    // are kept.
    explicit TComparison(TDumpSide Held, bool KeepLists = true);

    // Every object of the held side, in file order, before any of the other side.
    void Hold(const TPlaceKey& Key);
    void Reserve(std::size_t HeldObjects);
    // Every object of the other side, in file order, with its 0-based position there.
    void Stream(const TPlaceKey& Key, uint64_t Position);
    // Hold or Stream for a run of objects, which lets the memory fetch places ahead of time;
    // Hold ignores the positions.
    using TKeyed = std::pair<TPlaceKey, uint64_t>;
    void Hold(const std::vector<TKeyed>& Keys);
    void Stream(const std::vector<TKeyed>& Keys);
    // After the last object of both sides.
    void Finish();

    uint64_t Added() const { return AddedCount; }
    uint64_t Removed() const { return RemovedCount; }
    uint64_t Changed() const { return ChangedCount; }
    bool Same() const { return AddedCount == 0 && RemovedCount == 0 && ChangedCount == 0; }

    // With lists, after Finish: 0-based positions in the new dump (added) or the old one
    // (removed), ascending; changed pairs as (old, new), by the new position.
    const std::vector<uint64_t>& AddedPositions() const { return AddedList; }
    const std::vector<uint64_t>& RemovedPositions() const { return RemovedList; }
    const std::vector<std::pair<uint64_t, uint64_t>>& ChangedPairs() const { return ChangedList; }

    // Bytes held for the comparison, for telling what it costs.
    std::size_t HeapBytes() const;

private:
    static constexpr uint32_t None = UINT32_MAX;
    static constexpr uint32_t PairedBit = 0x80000000u;

    // One held object, in the table itself, so that finding a place costs one memory fetch.
    struct TEntry {
        int32_t X, Y, Z;
        uint32_t Held; // its position on the held side, with PairedBit; None for a free slot
        uint64_t Fingerprint;
        // On the first entry of a place: how many streamed objects wait there for a partner, and
        // the last of them in Waiting (lists only).
        uint32_t WaitingCount;
        uint32_t LastWaiting;
        bool Free() const { return Held == None; }
        bool Paired() const { return (Held & PairedBit) != 0; }
        uint32_t Position() const { return Held & ~PairedBit; }
    };
    // A streamed object without an equal partner at a held place: it pairs, once all is read,
    // with the next unpaired held object there, unless later equal pairs leave too few of them.
    struct TWaiting {
        uint64_t Position;
        uint32_t Head;     // slot of the first entry of its place
        uint32_t Previous; // the one before it at the same place
        bool GaveUp;
    };

    static uint64_t PlaceHash(int32_t X, int32_t Y, int32_t Z);
    std::size_t Slot(int32_t X, int32_t Y, int32_t Z) const;
    void Insert(const TEntry& Entry);
    void Grow(std::size_t Slots);
    std::size_t Next(std::size_t At) const { return At + 1 == Table.size() ? 0 : At + 1; }
    // Calls Visit(Slot) for every entry at the place, in held order.
    template <class TVisit> void ForEachAt(int32_t X, int32_t Y, int32_t Z, TVisit&& Visit) const;
    void Prefetch(const TPlaceKey& Key) const;
    void StreamedAlone(uint64_t Position);
    void HeldAlone(uint64_t Position);
    void Pair(uint64_t HeldPosition, uint64_t StreamedPosition);

    TDumpSide HeldSide;
    bool Lists;
    // Open addressing with linear probing, at most two thirds full. The entries of one place lie
    // along one probe run in the order they were held, as nothing is ever removed.
    std::vector<TEntry> Table;
    std::size_t HeldCount = 0;
    std::vector<TWaiting> Waiting;
    uint64_t AddedCount = 0;
    uint64_t RemovedCount = 0;
    uint64_t ChangedCount = 0;
    std::vector<uint64_t> AddedList;
    std::vector<uint64_t> RemovedList;
    std::vector<std::pair<uint64_t, uint64_t>> ChangedList;
};

// Compares two documents in memory, holding the smaller one, with lists.
TComparison CompareDocuments(const TPropdumpFile& Old, const TPropdumpFile& New);
