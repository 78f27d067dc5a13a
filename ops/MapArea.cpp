#include "ops/MapArea.h"

#include "text/PositionInfo.h"

#include <algorithm>

TMapArea TMapArea::FromCorners(int32_t X1, int32_t Z1, int32_t X2, int32_t Z2) {
    TMapArea Area;
    Area.MinX = std::min(X1, X2);
    Area.MaxX = std::max(X1, X2);
    Area.MinZ = std::min(Z1, Z2);
    Area.MaxZ = std::max(Z1, Z2);
    return Area;
}

TMapArea TMapArea::FromCornerTexts(std::string_view Corner1, std::string_view Corner2) {
    const TObjectPosition A = RequirePositionText(Corner1);
    const TObjectPosition B = RequirePositionText(Corner2);
    return FromCorners(A.X, A.Z, B.X, B.Z);
}

std::string TMapArea::NorthWestText() const {
    return PositionToText(MaxX, 0, MaxZ, 0);
}

std::string TMapArea::SouthEastText() const {
    return PositionToText(MinX, 0, MinZ, 0);
}
