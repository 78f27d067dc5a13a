#include "ops/Summary.h"

#include <algorithm>

// The name shown is the one of the earliest object counted; a model name that is the tally's key
// is not kept twice.
void TSummary::Count(TTally& Tally, uint64_t Objects, uint64_t Order, std::string&& Name,
                     const std::string* Key) {
    if (Tally.Objects == 0 || Order < Tally.First) {
        Tally.First = Order;
        if (Key && Name == *Key)
            Tally.Name.clear();
        else
            Tally.Name = std::move(Name);
    }
    Tally.Objects += Objects;
}

void TSummary::Add(const TPropObject& Object, uint64_t Order) {
    if (ObjectCount == 0 || Object.Timestamp < EarliestTime)
        EarliestTime = Object.Timestamp;
    if (ObjectCount == 0 || Object.Timestamp > LatestTime)
        LatestTime = Object.Timestamp;
    ++ObjectCount;
    ++TypeCounts[Object.ObjectType];

    if (!LastOwner || LastOwnerValue != Object.Owner) {
        LastOwner = &OwnerTallies[Object.Owner];
        LastOwnerValue = Object.Owner;
        // A run comes in order, so its first object is its earliest.
        Count(*LastOwner, 0, Order, std::to_string(Object.Owner));
    }
    ++LastOwner->Objects;

    // Empty names are no model names, as in the window's list.
    if (Object.Model.empty())
        return;
    const auto [Tally, Added] = ModelTallies.try_emplace(Object.Model);
    if (Added)
        Tally->second = {1, Order, {}};
    else if (Order < Tally->second.First)
        Count(Tally->second, 1, Order, std::string(Object.Model), &Tally->first);
    else
        ++Tally->second.Objects;
}

void TSummary::Merge(TSummary&& Other) {
    if (Other.ObjectCount == 0)
        return;
    if (ObjectCount == 0 || Other.EarliestTime < EarliestTime)
        EarliestTime = Other.EarliestTime;
    if (ObjectCount == 0 || Other.LatestTime > LatestTime)
        LatestTime = Other.LatestTime;
    ObjectCount += Other.ObjectCount;
    for (const auto& [Type, Objects] : Other.TypeCounts)
        TypeCounts[Type] += Objects;
    for (auto& [Owner, Theirs] : Other.OwnerTallies)
        Count(OwnerTallies[Owner], Theirs.Objects, Theirs.First, std::move(Theirs.Name));
    while (!Other.ModelTallies.empty()) {
        auto Theirs = Other.ModelTallies.extract(Other.ModelTallies.begin());
        const auto Mine = ModelTallies.find(Theirs.key());
        if (Mine == ModelTallies.end()) {
            ModelTallies.insert(std::move(Theirs));
            continue;
        }
        TTally& Tally = Theirs.mapped();
        Count(Mine->second, Tally.Objects, Tally.First,
              Tally.Name.empty() ? std::move(Theirs.key()) : std::move(Tally.Name), &Mine->first);
    }
    Other = {};
}

template <class TTallies, class TName>
std::vector<TSummary::TGroup> TSummary::Largest(const TTallies& Tallies, TName&& NameOf) {
    std::vector<const typename TTallies::value_type*> Sorted;
    Sorted.reserve(Tallies.size());
    for (const auto& Entry : Tallies)
        Sorted.push_back(&Entry);
    std::sort(Sorted.begin(), Sorted.end(), [](const auto* A, const auto* B) {
        if (A->second.Objects != B->second.Objects)
            return A->second.Objects > B->second.Objects;
        return A->second.First < B->second.First;
    });
    std::vector<TGroup> Groups;
    Groups.reserve(Sorted.size());
    for (const auto* Entry : Sorted)
        Groups.push_back({NameOf(*Entry), Entry->second.Objects});
    return Groups;
}

std::vector<TSummary::TGroup> TSummary::Owners() const {
    return Largest(OwnerTallies,
                   [](const auto& Entry) { return std::string_view(Entry.second.Name); });
}

std::vector<TSummary::TGroup> TSummary::Models() const {
    return Largest(ModelTallies, [](const auto& Entry) {
        return std::string_view(Entry.second.Name.empty() ? Entry.first : Entry.second.Name);
    });
}
