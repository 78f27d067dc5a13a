#include "ops/Comparison.h"

#include "model/FileSystem.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace {

// A multiply-and-fold hash over 8-byte words: fast on the long texts of a million objects, and
// well mixed in all 64 bits.
class THasher {
public:
    void Add(uint64_t Word) {
        State = Fold(State ^ Word ^ 0xA0761D6478BD642Full, 0xE7037ED1A0B428DBull);
    }
    void Add(std::string_view Bytes) {
        Add(static_cast<uint64_t>(Bytes.size()));
        std::size_t At = 0;
        for (; At + 8 <= Bytes.size(); At += 8) {
            uint64_t Word;
            std::memcpy(&Word, Bytes.data() + At, 8);
            Add(Word);
        }
        if (At < Bytes.size()) {
            uint64_t Word = 0;
            std::memcpy(&Word, Bytes.data() + At, Bytes.size() - At);
            Add(Word);
        }
    }
    uint64_t Value() const { return Fold(State, 0x8EBC6AF09C88C6E3ull); }

private:
    static uint64_t Fold(uint64_t A, uint64_t B) {
        const unsigned __int128 Product = static_cast<unsigned __int128>(A) * B;
        return static_cast<uint64_t>(Product) ^ static_cast<uint64_t>(Product >> 64);
    }
    uint64_t State = 0x589965CC75374CC3ull;
};

// Every look-up lands somewhere else in the table: with 2 MB pages the address translations of a
// table of tens of megabytes stay cached, and the fetches ahead of time are not held up by them.
void AdviseHugePages(void* Start, std::size_t Bytes) {
    constexpr std::size_t Huge = 2 * 1024 * 1024;
    if (Bytes >= 2 * Huge)
        FileSystem::AdviseLargeAllocation(Start, Bytes);
}

uint64_t Pack(int32_t A, int32_t B) {
    return static_cast<uint64_t>(static_cast<uint32_t>(A)) << 32 | static_cast<uint32_t>(B);
}

} // namespace

TPlaceKey PlaceKeyOf(const TPropObject& Object) {
    THasher Hasher;
    Hasher.Add(Pack(Object.Owner, Object.Timestamp));
    Hasher.Add(Pack(Object.Yaw, Object.Tilt));
    Hasher.Add(Pack(Object.Roll, Object.ObjectType));
    Hasher.Add(Object.Model);
    Hasher.Add(Object.Description);
    Hasher.Add(Object.Action);
    Hasher.Add(
        std::string_view(reinterpret_cast<const char*>(Object.Data.data()), Object.Data.size()));
    return {Object.X, Object.Y, Object.Z, Hasher.Value()};
}

TComparison::TComparison(TDumpSide Held, bool KeepLists) : HeldSide(Held), Lists(KeepLists) {}

uint64_t TComparison::PlaceHash(int32_t X, int32_t Y, int32_t Z) {
    uint64_t Hash = static_cast<uint32_t>(X) * 0x9E3779B97F4A7C15ull ^
                    static_cast<uint32_t>(Y) * 0xC2B2AE3D27D4EB4Full ^
                    static_cast<uint32_t>(Z) * 0x165667B19E3779F9ull;
    Hash ^= Hash >> 29;
    Hash *= 0xBF58476D1CE4E5B9ull;
    return Hash ^ (Hash >> 32);
}

// The hash scaled to the table's size, whatever that is.
std::size_t TComparison::Slot(int32_t X, int32_t Y, int32_t Z) const {
    return static_cast<std::size_t>(
        (static_cast<unsigned __int128>(PlaceHash(X, Y, Z)) * Table.size()) >> 64);
}

template <class TVisit>
void TComparison::ForEachAt(int32_t X, int32_t Y, int32_t Z, TVisit&& Visit) const {
    if (Table.empty())
        return;
    for (std::size_t At = Slot(X, Y, Z); !Table[At].Free(); At = Next(At)) {
        const TEntry& Entry = Table[At];
        if (Entry.X == X && Entry.Y == Y && Entry.Z == Z)
            Visit(static_cast<uint32_t>(At));
    }
}

void TComparison::Prefetch(const TPlaceKey& Key) const {
    if (!Table.empty())
        __builtin_prefetch(&Table[Slot(Key.X, Key.Y, Key.Z)]);
}

void TComparison::Insert(const TEntry& Entry) {
    std::size_t At = Slot(Entry.X, Entry.Y, Entry.Z);
    while (!Table[At].Free())
        At = Next(At);
    Table[At] = Entry;
}

// Held in order again, so that the entries of each place keep their order along its run: the
// old table is read from a free slot on, and no probe run crosses a free slot.
void TComparison::Grow(std::size_t Slots) {
    TEntry FreeSlot{};
    FreeSlot.Held = None;
    std::vector<TEntry> Old;
    Old.reserve(Slots);
    AdviseHugePages(Old.data(), Slots * sizeof(TEntry));
    Old.assign(Slots, FreeSlot);
    Old.swap(Table);
    std::size_t Start = 0;
    while (Start < Old.size() && !Old[Start].Free())
        ++Start;
    for (std::size_t Step = 0; Step < Old.size(); ++Step) {
        const TEntry& Entry = Old[(Start + Step) % Old.size()];
        if (!Entry.Free())
            Insert(Entry);
    }
}

// A third of the slots stay free, which keeps the probe runs short.
void TComparison::Reserve(std::size_t HeldObjects) {
    const std::size_t Slots = HeldObjects + HeldObjects / 2 + 16;
    if (Slots > Table.size())
        Grow(Slots);
}

void TComparison::Hold(const TPlaceKey& Key) {
    if (HeldCount >= (PairedBit - 1))
        throw std::length_error("Too many objects to compare");
    if (3 * (HeldCount + 1) > 2 * Table.size())
        Grow(2 * Table.size() + 16);
    Insert({Key.X, Key.Y, Key.Z, static_cast<uint32_t>(HeldCount++), Key.Fingerprint, 0, None});
}

// A few dozen places ahead: far enough for the fetches to overlap, near enough to stay cached.
constexpr std::size_t Lookahead = 16;

void TComparison::Hold(const std::vector<TKeyed>& Keys) {
    for (std::size_t i = 0; i < Keys.size(); ++i) {
        if (i + Lookahead < Keys.size())
            Prefetch(Keys[i + Lookahead].first);
        Hold(Keys[i].first);
    }
}

void TComparison::Stream(const std::vector<TKeyed>& Keys) {
    for (std::size_t i = 0; i < Keys.size(); ++i) {
        if (i + Lookahead < Keys.size())
            Prefetch(Keys[i + Lookahead].first);
        Stream(Keys[i].first, Keys[i].second);
    }
}

void TComparison::StreamedAlone(uint64_t Position) {
    const bool StreamedIsNew = HeldSide == TDumpSide::Old;
    ++(StreamedIsNew ? AddedCount : RemovedCount);
    if (Lists)
        (StreamedIsNew ? AddedList : RemovedList).push_back(Position);
}

void TComparison::HeldAlone(uint64_t Position) {
    const bool HeldIsOld = HeldSide == TDumpSide::Old;
    ++(HeldIsOld ? RemovedCount : AddedCount);
    if (Lists)
        (HeldIsOld ? RemovedList : AddedList).push_back(Position);
}

void TComparison::Pair(uint64_t HeldPosition, uint64_t StreamedPosition) {
    ++ChangedCount;
    if (HeldSide == TDumpSide::Old)
        ChangedList.emplace_back(HeldPosition, StreamedPosition);
    else
        ChangedList.emplace_back(StreamedPosition, HeldPosition);
}

void TComparison::Stream(const TPlaceKey& Key, uint64_t Position) {
    uint32_t Head = None;
    uint32_t Equal = None;
    uint32_t Unpaired = 0;
    ForEachAt(Key.X, Key.Y, Key.Z, [&](uint32_t At) {
        const TEntry& Entry = Table[At];
        if (Head == None)
            Head = At;
        if (Entry.Paired())
            return;
        ++Unpaired;
        if (Equal == None && Entry.Fingerprint == Key.Fingerprint)
            Equal = At;
    });
    if (Head == None) {
        StreamedAlone(Position);
        return;
    }
    TEntry& First = Table[Head];
    if (Equal != None) {
        Table[Equal].Held |= PairedBit;
        // One held object fewer is left for those waiting: the last of them can no longer
        // have one.
        if (First.WaitingCount > --Unpaired) {
            --First.WaitingCount;
            if (!Lists) {
                StreamedAlone(0);
                return;
            }
            TWaiting& Last = Waiting[First.LastWaiting];
            Last.GaveUp = true;
            First.LastWaiting = Last.Previous;
            StreamedAlone(Last.Position);
        }
        return;
    }
    if (First.WaitingCount < Unpaired) {
        ++First.WaitingCount;
        if (Lists) {
            Waiting.push_back({Position, Head, First.LastWaiting, false});
            First.LastWaiting = static_cast<uint32_t>(Waiting.size() - 1);
        }
        return;
    }
    StreamedAlone(Position);
}

void TComparison::Finish() {
    if (Lists) {
        for (const TWaiting& Object : Waiting) {
            if (Object.GaveUp)
                continue;
            const TEntry& First = Table[Object.Head];
            uint32_t Partner = None;
            ForEachAt(First.X, First.Y, First.Z, [&](uint32_t At) {
                if (Partner == None && !Table[At].Paired())
                    Partner = At;
            });
            Table[Partner].Held |= PairedBit;
            Pair(Table[Partner].Position(), Object.Position);
        }
        for (const TEntry& Entry : Table)
            if (!Entry.Free() && !Entry.Paired())
                HeldAlone(Entry.Position());
        std::sort(AddedList.begin(), AddedList.end());
        std::sort(RemovedList.begin(), RemovedList.end());
        std::sort(ChangedList.begin(), ChangedList.end(),
                  [](const auto& A, const auto& B) { return A.second < B.second; });
    } else {
        uint64_t Unpaired = 0;
        for (const TEntry& Entry : Table) {
            if (Entry.Free())
                continue;
            ChangedCount += Entry.WaitingCount;
            Unpaired += Entry.Paired() ? 0 : 1;
        }
        const uint64_t Alone = Unpaired - ChangedCount;
        (HeldSide == TDumpSide::Old ? RemovedCount : AddedCount) += Alone;
    }
    Waiting = {};
    Table = {};
}

std::size_t TComparison::HeapBytes() const {
    return Table.capacity() * sizeof(TEntry) + Waiting.capacity() * sizeof(TWaiting) +
           (AddedList.capacity() + RemovedList.capacity()) * sizeof(uint64_t) +
           ChangedList.capacity() * sizeof(ChangedList[0]);
}

TComparison CompareDocuments(const TPropdumpFile& Old, const TPropdumpFile& New) {
    const bool HoldNew = New.Objects.size() < Old.Objects.size();
    TComparison Comparison(HoldNew ? TDumpSide::New : TDumpSide::Old);
    const TPropdumpFile& Held = HoldNew ? New : Old;
    const TPropdumpFile& Other = HoldNew ? Old : New;
    Comparison.Reserve(Held.Objects.size());
    for (const TPropObject& Object : Held.Objects)
        Comparison.Hold(PlaceKeyOf(Object));
    for (std::size_t Index = 0; Index < Other.Objects.size(); ++Index)
        Comparison.Stream(PlaceKeyOf(Other.Objects[Index]), Index);
    Comparison.Finish();
    return Comparison;
}
