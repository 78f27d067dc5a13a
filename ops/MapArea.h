#pragma once

// A rectangle of the world seen from above, picked on the world map or named on the command line
// by two opposite corners. An object is inside when its X and Z both lie between the corners',
// the edges included; its altitude plays no part.

#include "model/Propdmp.h"

#include <cstdint>
#include <string>
#include <string_view>

class TMapArea {
public:
    // Any two opposite corners, in any order.
    static TMapArea FromCorners(int32_t X1, int32_t Z1, int32_t X2, int32_t Z2);
    // Each corner a position text such as "12.5N 7W" (only the compass parts count). Raises
    // EConvertError for a corner that cannot be read as a position.
    static TMapArea FromCornerTexts(std::string_view Corner1, std::string_view Corner2);

    bool Contains(int32_t X, int32_t Z) const {
        return MinX <= X && X <= MaxX && MinZ <= Z && Z <= MaxZ;
    }
    bool Contains(const TPropObject& Object) const { return Contains(Object.X, Object.Z); }

    // The north-west and the south-east corner as position texts: "12.5N 7W", "10S 3E".
    std::string NorthWestText() const;
    std::string SouthEastText() const;

    // X grows to the west, Z to the north.
    int32_t MinX = 0;
    int32_t MaxX = 0;
    int32_t MinZ = 0;
    int32_t MaxZ = 0;
};
