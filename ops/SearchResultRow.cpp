#include "ops/SearchResultRow.h"

#include "ops/ObjectTypeLabels.h"
#include "text/DateTimeText.h"
#include "text/PositionInfo.h"

std::string SearchResultModel(const TPropObject& Object) {
    if (Object.ObjectType == 0 || Object.ObjectType == 1)
        return Object.Model;
    if (Object.ObjectType >= 2 && Object.ObjectType <= 5)
        return std::string(ObjectTypeLabel(Object.ObjectType));
    return {};
}

TSearchResultRow SearchResultRow(int64_t Index, const TPropObject& Object) {
    return {Index + 1, std::to_string(Object.Owner),
            FormatListDateTime(SecondsToDateTime(Object.Timestamp)),
            PositionToText(Object.X, Object.Y, Object.Z, Object.Yaw), SearchResultModel(Object)};
}
