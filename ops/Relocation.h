#pragma once

// Moving and turning objects in the world: an offset, a turn about a centre, or both (the turn
// first). Positions turn in the ground plane and each yaw by the same angle, so a build keeps its
// shape. A positive angle turns anticlockwise seen from above, north towards west (a right-handed
// frame with Y up turning about Y), and the yaw grows the same way.

#include "model/Propdmp.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// Thousandths of a coordinate unit, as stored: X grows to the west, Y upwards, Z to the north.
struct TOffset {
    int32_t X = 0;
    int32_t Y = 0;
    int32_t Z = 0;
    bool operator==(const TOffset&) const = default;
};

// Position text such as "200N 0E" or "1.5S 2W 0.5a". Raises EConvertError for text that is no
// position, and for one with a yaw, which an offset cannot carry.
TOffset ReadOffsetText(std::string_view Text);

// Degrees with at most one decimal, such as "90", "-45" or "12.5"; the result is in tenths.
// Raises EConvertError.
int32_t ReadTurnText(std::string_view Text);

// The ground-plane extent of a set of objects, for the centre they turn about by default.
class TBounds {
public:
    void Add(const TPropObject& Object);
    void Merge(const TBounds& Other);
    bool Empty() const { return Count == 0; }
    // The middle of the extent, rounded half up to whole stored units. Only when not Empty.
    int32_t CentreX() const { return Middle(MinX, MaxX); }
    int32_t CentreZ() const { return Middle(MinZ, MaxZ); }

private:
    static int32_t Middle(int32_t Low, int32_t High);

    uint64_t Count = 0;
    int32_t MinX = 0, MaxX = 0, MinZ = 0, MaxZ = 0;
};

// A coordinate an object would take that the file's 32-bit fields cannot hold.
struct TRangeFault {
    char Field = 'X'; // 'X', 'Y' or 'Z'
    int64_t Value = 0;
};

// Refusal of a whole move, copy or import because of its first object that would leave the range.
class ERelocationRange : public std::runtime_error {
public:
    // Position is the 0-based place of the object in its document.
    ERelocationRange(uint64_t Position, const TRangeFault& Fault);
    uint64_t Position;
    TRangeFault Fault;
};

class TRelocation {
public:
    // Stands still.
    TRelocation() = default;
    // Turn in tenths of a degree about (CentreX, CentreZ), then the offset.
    explicit TRelocation(TOffset By, int32_t Turn = 0, int32_t CentreX = 0, int32_t CentreZ = 0);

    // A turn of a whole number of full turns leaves positions and yaws alone.
    bool Turns() const { return Tenths != 0; }
    TOffset By() const { return Offset; }

    // The first coordinate that would leave the 32-bit range, if any.
    std::optional<TRangeFault> Fault(const TPropObject& Object) const;
    // Moves Object; only for an object without a Fault.
    void Apply(TPropObject& Object) const;

private:
    struct TPlace {
        int64_t X, Y, Z;
    };
    TPlace Target(const TPropObject& Object) const;

    TOffset Offset;
    int32_t Tenths = 0; // 0 .. 3599
    int32_t CentreX = 0;
    int32_t CentreZ = 0;
    long double Cos = 1;
    long double Sin = 0;
};
