#include "ops/Comparison.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace {

// A multiply-and-fold hash over 8-byte words: fast on the long texts of a million objects, and
// well mixed in all 64 bits.
class THasher {
public:
    void Add(uint64_t Word) { State = Fold(State ^ Word ^ 0xA0761D6478BD642Full, 0xE7037ED1A0B428DBull); }
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
    Hasher.Add(std::string_view(reinterpret_cast<const char*>(Object.Data.data()),
                                Object.Data.size()));
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

std::size_t TComparison::Slot(int32_t X, int32_t Y, int32_t Z) const {
    return static_cast<std::size_t>(PlaceHash(X, Y, Z) >> (64 - TableBits));
}

template <class TVisit>
void TComparison::ForEachAt(int32_t X, int32_t Y, int32_t Z, TVisit&& Visit) const {
    if (Table.empty())
        return;
    const std::size_t Mask = Table.size() - 1;
    for (std::size_t At = Slot(X, Y, Z); Table[At] != 0; At = (At + 1) & Mask) {
        const uint32_t Index = Table[At] - 1;
        const TEntry& Entry = Entries[Index];
        if (Entry.X == X && Entry.Y == Y && Entry.Z == Z)
            Visit(Index);
    }
}

void TComparison::Reserve(std::size_t HeldObjects) {
    Entries.reserve(HeldObjects);
    unsigned Bits = 4;
    while ((std::size_t{1} << Bits) < 2 * HeldObjects)
        ++Bits;
    if (Bits > TableBits) {
        TableBits = Bits - 1;
        Grow();
    }
}

// Held in order again, so that the entries of each place keep their order along its run.
void TComparison::Grow() {
    TableBits = std::max(TableBits + 1, 4u);
    Table.assign(std::size_t{1} << TableBits, 0);
    const std::size_t Mask = Table.size() - 1;
    for (std::size_t Index = 0; Index < Entries.size(); ++Index) {
        const TEntry& Entry = Entries[Index];
        std::size_t At = Slot(Entry.X, Entry.Y, Entry.Z);
        while (Table[At] != 0)
            At = (At + 1) & Mask;
        Table[At] = static_cast<uint32_t>(Index + 1);
    }
}

void TComparison::Hold(const TPlaceKey& Key) {
    if (Entries.size() >= None - 1)
        throw std::length_error("Too many objects to compare");
    Entries.push_back({Key.X, Key.Y, Key.Z, false, Key.Fingerprint, 0, None});
    if (2 * Entries.size() > Table.size()) {
        Grow();
        return;
    }
    const std::size_t Mask = Table.size() - 1;
    std::size_t At = Slot(Key.X, Key.Y, Key.Z);
    while (Table[At] != 0)
        At = (At + 1) & Mask;
    Table[At] = static_cast<uint32_t>(Entries.size());
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
    ForEachAt(Key.X, Key.Y, Key.Z, [&](uint32_t Index) {
        const TEntry& Entry = Entries[Index];
        if (Head == None)
            Head = Index;
        if (Entry.Paired)
            return;
        ++Unpaired;
        if (Equal == None && Entry.Fingerprint == Key.Fingerprint)
            Equal = Index;
    });
    if (Head == None) {
        StreamedAlone(Position);
        return;
    }
    TEntry& First = Entries[Head];
    if (Equal != None) {
        Entries[Equal].Paired = true;
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
            const TEntry& First = Entries[Object.Head];
            uint32_t Partner = None;
            ForEachAt(First.X, First.Y, First.Z, [&](uint32_t Index) {
                if (Partner == None && !Entries[Index].Paired)
                    Partner = Index;
            });
            Entries[Partner].Paired = true;
            Pair(Partner, Object.Position);
        }
        for (std::size_t Index = 0; Index < Entries.size(); ++Index)
            if (!Entries[Index].Paired)
                HeldAlone(Index);
        std::sort(AddedList.begin(), AddedList.end());
        std::sort(RemovedList.begin(), RemovedList.end());
        std::sort(ChangedList.begin(), ChangedList.end(),
                  [](const auto& A, const auto& B) { return A.second < B.second; });
    } else {
        uint64_t Unpaired = 0;
        for (const TEntry& Entry : Entries) {
            ChangedCount += Entry.WaitingCount;
            Unpaired += Entry.Paired ? 0 : 1;
        }
        const uint64_t Alone = Unpaired - ChangedCount;
        (HeldSide == TDumpSide::Old ? RemovedCount : AddedCount) += Alone;
    }
    Waiting = {};
    Table = {};
    Entries = {};
}

std::size_t TComparison::HeapBytes() const {
    return Entries.capacity() * sizeof(TEntry) + Table.capacity() * sizeof(uint32_t) +
           Waiting.capacity() * sizeof(TWaiting) +
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
