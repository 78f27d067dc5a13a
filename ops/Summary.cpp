#include "ops/Summary.h"

#include <algorithm>

// The name shown is the one of the earliest object counted.
void TSummary::Count(TTally& Tally, uint64_t Objects, uint64_t Order, const std::string& Name) {
    if (Tally.Objects == 0 || Order < Tally.First) {
        Tally.First = Order;
        Tally.Name = Name;
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
    if (!Object.Model.empty())
        Count(ModelTallies.try_emplace(Object.Model).first->second, 1, Order, Object.Model);
}

void TSummary::Merge(const TSummary& Other) {
    if (Other.ObjectCount == 0)
        return;
    if (ObjectCount == 0 || Other.EarliestTime < EarliestTime)
        EarliestTime = Other.EarliestTime;
    if (ObjectCount == 0 || Other.LatestTime > LatestTime)
        LatestTime = Other.LatestTime;
    ObjectCount += Other.ObjectCount;
    for (const auto& [Type, Objects] : Other.TypeCounts)
        TypeCounts[Type] += Objects;
    for (const auto& [Owner, Theirs] : Other.OwnerTallies)
        Count(OwnerTallies[Owner], Theirs.Objects, Theirs.First, Theirs.Name);
    for (const auto& [Model, Theirs] : Other.ModelTallies)
        Count(ModelTallies[Model], Theirs.Objects, Theirs.First, Theirs.Name);
}

template <class TTallies> std::vector<TSummary::TGroup> TSummary::Largest(const TTallies& Tallies) {
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
        Groups.push_back({Entry->second.Name, Entry->second.Objects});
    return Groups;
}

std::vector<TSummary::TGroup> TSummary::Owners() const {
    return Largest(OwnerTallies);
}

std::vector<TSummary::TGroup> TSummary::Models() const {
    return Largest(ModelTallies);
}
