#include "ops/SearchMatcher.h"

#include "model/CFunctions.h"
#include "model/CodePage.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string_view>
#include <system_error>

namespace {

constexpr TSearchField AllFields[] = {sfCitNums, sfModels,  sfDescription, sfAction,
                                      sfMinTime, sfMaxTime, sfObjType};

// The number whose decimal text is exactly Piece, if there is one. Comparing numbers instead of
// texts gives the same answer for every owner without formatting one text per object.
bool ReadExactOwner(std::string_view Piece, int32_t& Owner) {
    int64_t Value = 0;
    const char* const First = Piece.data();
    const char* const Last = First + Piece.size();
    const auto [End, Error] = std::from_chars(First, Last, Value);
    if (Error != std::errc() || End != Last || Value < std::numeric_limits<int32_t>::min() ||
        Value > std::numeric_limits<int32_t>::max())
        return false;
    // Leading zeros and "-0" read as a number but are not the text of one.
    char Text[16];
    const auto Written = std::to_chars(Text, Text + sizeof Text, Value);
    if (std::string_view(Text, static_cast<std::size_t>(Written.ptr - Text)) != Piece)
        return false;
    Owner = static_cast<int32_t>(Value);
    return true;
}

} // namespace

TSearchMatcher::TSearchMatcher(const TSearchCriteria& Source) : Criteria(Source) {
    for (const TSearchField Field : AllFields)
        if (Criteria.Fields.Has(Field))
            ++Count;

    const std::vector<std::string> Comma{","};
    for (const std::string& Piece : SplitText(Criteria.CitNumsText, Comma, 0)) {
        int32_t Owner = 0;
        if (ReadExactOwner(Piece, Owner))
            CitNums.push_back(Owner);
    }
    std::sort(CitNums.begin(), CitNums.end());
    ModelPatterns = SplitText(Criteria.ModelsText, Comma, 0);

    // Without an earliest time every timestamp counts, those before 1970 included.
    MinSeconds = Criteria.Fields.Has(sfMinTime) ? DateTimeToSeconds(Criteria.MinTime)
                                                : std::numeric_limits<int32_t>::min();
    MaxSeconds = Criteria.Fields.Has(sfMaxTime) ? DateTimeToSeconds(Criteria.MaxTime)
                                                : std::numeric_limits<int32_t>::max();
}

bool TSearchMatcher::CitNumsHold(int32_t Owner) const {
    return Holds(sfCitNums, std::binary_search(CitNums.begin(), CitNums.end(), Owner));
}

bool TSearchMatcher::TimesHold(int32_t Timestamp) const {
    const int64_t Seconds = Timestamp;
    return MinSeconds <= Seconds && Seconds <= MaxSeconds;
}

bool TSearchMatcher::TextHolds(TSearchField Field, const std::string& Criterion,
                               const std::string& Text) const {
    const bool Positive = Criteria.ExactMatch.Has(Field) ? SameText1252(Text, Criterion)
                                                         : WildcardMatch(Criterion, Text);
    return Holds(Field, Positive);
}

// The criteria are joined by "and", so the first that fails decides; the cheap ones go first.
bool TSearchMatcher::Matches(const TPropObject& Object) const {
    const TSearchFields& On = Criteria.Fields;
    if (On.Has(sfObjType) && !Holds(sfObjType, Object.ObjectType == Criteria.ObjType))
        return false;
    if ((On.Has(sfMinTime) || On.Has(sfMaxTime)) && !TimesHold(Object.Timestamp))
        return false;
    if (On.Has(sfCitNums) && !CitNumsHold(Object.Owner))
        return false;
    if (On.Has(sfModels) &&
        !Holds(sfModels, IndexOfMatchingPattern(Object.Model, ModelPatterns) >= 0))
        return false;
    if (On.Has(sfDescription) &&
        !TextHolds(sfDescription, Criteria.DescriptionText, Object.Description))
        return false;
    if (On.Has(sfAction) && !TextHolds(sfAction, Criteria.ActionText, Object.Action))
        return false;
    return true;
}

unsigned TSearchMatcher::PartsNeeded() const {
    const TSearchFields& On = Criteria.Fields;
    return (On.Has(sfModels) ? lpModel : 0u) | (On.Has(sfDescription) ? lpDescription : 0u) |
           (On.Has(sfAction) ? lpAction : 0u);
}
