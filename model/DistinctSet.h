#pragma once

// Distinct keys in the order of first occurrence, for the document's lists of owners and models.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// The set behind the two list fillers: a few thousand distinct keys asked about a million
// times, where a node-based set's division and pointer chase cost more than the hashing. Open
// addressing in a power-of-two table, the hash kept beside each key; insert-only.
template <class TKey, class THash, class TEqual> class TDistinctSet {
public:
    // True when Key was not in the set yet.
    bool Insert(TKey key) {
        if (2 * (Count + 1) > Slots.size())
            Grow();
        return Place(key, THash{}(key));
    }

private:
    struct TSlot {
        std::size_t Hash = 0;
        TKey Key{};
        bool Used = false;
    };

    bool Place(TKey key, std::size_t hash) {
        const std::size_t mask = Slots.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            TSlot& slot = Slots[i];
            if (!slot.Used) {
                slot = {hash, key, true};
                ++Count;
                return true;
            }
            if (slot.Hash == hash && TEqual{}(slot.Key, key))
                return false;
        }
    }

    void Grow() {
        std::vector<TSlot> old(std::max<std::size_t>(64, 2 * Slots.size()));
        old.swap(Slots);
        Count = 0;
        for (const TSlot& slot : old)
            if (slot.Used)
                Place(slot.Key, slot.Hash);
    }

    std::vector<TSlot> Slots;
    std::size_t Count = 0;
};

// Citizen numbers are often round or close together; mix them so the low bits differ.
struct TOwnerHash {
    std::size_t operator()(int32_t owner) const {
        const uint64_t h =
            static_cast<uint64_t>(static_cast<uint32_t>(owner)) * 0x9E3779B97F4A7C15ull;
        return static_cast<std::size_t>(h ^ (h >> 32));
    }
};
