#pragma once

// What a search finds, for the window and the tool alike: the objects that meet every criterion
// that is on and, when an area is given, lie inside it.

#include "model/Propdmp.h"
#include "ops/MapArea.h"
#include "ops/SearchCriteria.h"
#include "ops/SearchMatcher.h"

#include <optional>

class TSearchFinder {
public:
    TSearchFinder(const TSearchCriteria& Criteria, const std::optional<TMapArea>& Area)
        : Matcher(Criteria), Area(Area) {}

    bool Finds(const TPropObject& Object) const {
        return (!Area || Area->Contains(Object)) && Matcher.Matches(Object);
    }
    // A search with neither criteria nor an area is refused.
    bool HasCriteria() const { return Matcher.CriteriaCount() > 0 || Area.has_value(); }
    unsigned PartsNeeded() const { return Matcher.PartsNeeded(); }

private:
    TSearchMatcher Matcher;
    std::optional<TMapArea> Area;
};
