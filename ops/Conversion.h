#pragma once

// Rewriting a document in another file version. Version 4 alone holds an object type and data,
// and version 2 has no tilt or roll: what the target version cannot hold is lost when the objects
// are written in it, so a conversion counts first what would be lost.

#include "model/Propdmp.h"

#include <cstddef>

struct TVersionLoss {
    std::size_t TypeOrData = 0; // objects with a type other than 0 or with data
    std::size_t TiltOrRoll = 0; // objects with a tilt or a roll

    // Counts what Object would lose when written in version ToVersion.
    void Add(const TPropObject& Object, int ToVersion);
    TVersionLoss& operator+=(const TVersionLoss& Other);
    bool Any() const { return TypeOrData != 0 || TiltOrRoll != 0; }
};

// Drops from Object what version ToVersion cannot hold, so that the object in memory is the one
// a file of that version gives back.
void ConvertObject(TPropObject& Object, int ToVersion);
