#include "ops/MapArea.h"

#include "model/Convert.h"
#include "text/PositionInfo.h"

#include <algorithm>
#include <optional>

TMapArea TMapArea::FromCorners(int32_t X1, int32_t Z1, int32_t X2, int32_t Z2) {
    TMapArea Area;
    Area.MinX = std::min(X1, X2);
    Area.MaxX = std::max(X1, X2);
    Area.MinZ = std::min(Z1, Z2);
    Area.MaxZ = std::max(Z1, Z2);
    return Area;
}

namespace {

TObjectPosition ReadCorner(std::string_view Text) {
    // Text the position reader takes as nothing would quietly stand for 0N 0W.
    const std::optional<TObjectPosition> Corner = ReadPositionText(Text);
    if (!Corner)
        throw EConvertError("'" + std::string(Text) + "' is not a position such as \"12.5N 7W\"");
    return *Corner;
}

} // namespace

TMapArea TMapArea::FromCornerTexts(std::string_view Corner1, std::string_view Corner2) {
    const TObjectPosition A = ReadCorner(Corner1);
    const TObjectPosition B = ReadCorner(Corner2);
    return FromCorners(A.X, A.Z, B.X, B.Z);
}

std::string TMapArea::NorthWestText() const {
    return PositionToText(MaxX, 0, MaxZ, 0);
}

std::string TMapArea::SouthEastText() const {
    return PositionToText(MinX, 0, MinZ, 0);
}
