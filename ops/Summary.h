#pragma once

// The figures of a whole document: how many objects, the time range, and the objects per type,
// per owner and per model name. Model names that differ only in letter case count as one, shown
// in the form met first, as in the window's list of model names. Parts of a document can be
// summed up apart (on several threads) and merged.

#include "model/CodePage.h"
#include "model/Propdmp.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TSummary {
public:
    struct TGroup {
        std::string_view Name; // decimal owner, or Windows-1252 model name; the summary's own
        uint64_t Objects = 0;
    };

    // Order is the object's position in the document; it decides which form of a model name is
    // shown and the order of groups of equal size.
    void Add(const TPropObject& Object, uint64_t Order);
    // Takes the names over from Other rather than copying them: one may be a line's length.
    void Merge(TSummary&& Other);

    uint64_t Objects() const { return ObjectCount; }
    // Only meaningful when there are objects.
    int32_t Earliest() const { return EarliestTime; }
    int32_t Latest() const { return LatestTime; }
    // Objects per ObjectType, by type.
    const std::map<int32_t, uint64_t>& Types() const { return TypeCounts; }
    // Largest first; groups of equal size in the order they first appear.
    std::vector<TGroup> Owners() const;
    std::vector<TGroup> Models() const;

private:
    struct TTally {
        uint64_t Objects = 0;
        uint64_t First = 0;
        std::string Name; // the form shown; for a model name empty when it is the key's
    };
    using TModelTallies = std::unordered_map<std::string, TTally, TCaseInsensitiveHash1252,
                                             TCaseInsensitiveEqual1252>;

    static void Count(TTally& Tally, uint64_t Objects, uint64_t Order, std::string&& Name,
                      const std::string* Key = nullptr);
    template <class TTallies, class TName>
    static std::vector<TGroup> Largest(const TTallies& Tallies, TName&& NameOf);

    uint64_t ObjectCount = 0;
    int32_t EarliestTime = 0;
    int32_t LatestTime = 0;
    std::map<int32_t, uint64_t> TypeCounts;
    std::unordered_map<int32_t, TTally> OwnerTallies;
    TModelTallies ModelTallies;
    // Objects of one owner tend to come in runs; a run needs no look-up.
    TTally* LastOwner = nullptr;
    int32_t LastOwnerValue = 0;
};
