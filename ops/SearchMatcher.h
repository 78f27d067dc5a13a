#pragma once

// The test a search applies to every object. Everything that depends only on the criteria (the
// split lists, the time bounds) is prepared once, so that testing a million objects allocates
// nothing.

#include "model/Propdmp.h"
#include "ops/SearchCriteria.h"

#include <cstdint>
#include <string>
#include <vector>

class TSearchMatcher {
public:
    // Works on its own copy: criteria edited while a search runs do not reach it.
    explicit TSearchMatcher(const TSearchCriteria& Criteria);

    // The number of criteria switched on; a search with none is refused.
    int CriteriaCount() const { return Count; }

    // Whether every criterion that is on holds for Object.
    bool Matches(const TPropObject& Object) const;

    // The texts of an object (TLinePart) that Matches looks at; a reader may leave out the rest.
    unsigned PartsNeeded() const;

    // Whether an object of Owner fails Matches whatever else it holds.
    bool RulesOutOwner(int32_t Owner) const {
        return Criteria.Fields.Has(sfCitNums) && !CitNumsHold(Owner);
    }
    // Whether RulesOutOwner is ever true.
    bool LooksAtOwner() const { return Criteria.Fields.Has(sfCitNums); }

private:
    bool CitNumsHold(int32_t Owner) const;
    bool TimesHold(int32_t Timestamp) const;
    bool TextHolds(TSearchField Field, const std::string& Criterion, const std::string& Text) const;
    bool Holds(TSearchField Field, bool Positive) const {
        return Positive != Criteria.Exclude.Has(Field);
    }

    TSearchCriteria Criteria;
    int Count = 0;
    // The owners whose decimal text is one of the citizen-number pieces, sorted. A piece that is
    // not the exact text of a 32-bit number ("05", " 7", "") can never equal an owner's text.
    std::vector<int32_t> CitNums;
    std::vector<std::string> ModelPatterns;
    // Seconds since 1970 in 64 bits: a bound beyond the 32-bit timestamps keeps its meaning
    // instead of wrapping round.
    int64_t MinSeconds = 0;
    int64_t MaxSeconds = 0;
};
