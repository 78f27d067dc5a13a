#pragma once

// The value of a field that the most objects of a document share: the owner of the most objects,
// the most used model name. Benchmarks replace it to change as many objects as a real edit can.

#include "model/Propdmp.h"

#include <unordered_map>

template <class TKey, class TOf> TKey MostFrequent(const TPropdumpFile& Document, TOf Of) {
    std::unordered_map<TKey, int> Counts;
    for (const TPropObject& Object : Document.Objects)
        ++Counts[Of(Object)];
    auto Best = Counts.begin();
    for (auto It = Counts.begin(); It != Counts.end(); ++It)
        if (It->second > Best->second)
            Best = It;
    return Best->first;
}
