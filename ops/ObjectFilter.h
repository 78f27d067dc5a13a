#pragma once

// The objects a command works on: those that meet every search criterion switched on and lie in
// the map's area, when one is given. With neither, every object.

#include "model/Propdmp.h"
#include "ops/MapArea.h"
#include "ops/SearchMatcher.h"

#include <optional>
#include <utility>

class TObjectFilter {
public:
    TObjectFilter(const TSearchCriteria& Criteria, std::optional<TMapArea> Area)
        : Matcher(Criteria), Area(std::move(Area)) {}

    bool Finds(const TPropObject& Object) const {
        return (!Area || Area->Contains(Object)) && Matcher.Matches(Object);
    }
    // A search with neither is refused.
    bool HasCriteria() const { return Matcher.CriteriaCount() > 0 || Area.has_value(); }
    // The texts of an object (TLinePart) that Finds looks at.
    unsigned PartsNeeded() const { return Matcher.PartsNeeded(); }
    bool RulesOutOwner(int32_t Owner) const { return Matcher.RulesOutOwner(Owner); }
    bool LooksAtOwner() const { return Matcher.LooksAtOwner(); }

private:
    TSearchMatcher Matcher;
    std::optional<TMapArea> Area;
};
