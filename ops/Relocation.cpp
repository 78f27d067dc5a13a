#include "ops/Relocation.h"

#include "model/Convert.h"
#include "text/PositionInfo.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace {

bool Fits(int64_t Value) {
    return Value >= std::numeric_limits<int32_t>::min() &&
           Value <= std::numeric_limits<int32_t>::max();
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

TOffset ReadOffsetText(std::string_view Text) {
    const TObjectPosition Position = RequirePositionText(Text);
    if (Position.Yaw != 0)
        throw EConvertError("'" + std::string(Text) +
                            "' names a yaw, which an offset cannot carry; a height is written "
                            "with an \"a\", such as \"0N 0W 5a\"");
    return {Position.X, Position.Y, Position.Z};
}

int32_t ReadTurnText(std::string_view Text) {
    const auto Refuse = [Text]() -> int32_t {
        throw EConvertError("'" + std::string(Text) +
                            "' is not an angle in degrees with at most one decimal, such as "
                            "\"90\" or \"-12.5\"");
    };
    std::size_t At = 0;
    const bool Negative = At < Text.size() && Text[At] == '-';
    if (At < Text.size() && (Text[At] == '-' || Text[At] == '+'))
        ++At;
    int64_t Tenths = 0;
    std::size_t Digits = 0;
    for (; At < Text.size() && IsDigit(Text[At]); ++At, ++Digits) {
        Tenths = Tenths * 10 + (Text[At] - '0');
        if (Tenths > 100000000)
            return Refuse();
    }
    Tenths *= 10;
    if (At < Text.size() && Text[At] == '.') {
        ++At;
        if (At < Text.size() && IsDigit(Text[At])) {
            Tenths += Text[At++] - '0';
            ++Digits;
        }
    }
    if (Digits == 0 || At != Text.size())
        return Refuse();
    return static_cast<int32_t>(Negative ? -Tenths : Tenths);
}

void TBounds::Add(const TPropObject& Object) {
    if (Count++ == 0) {
        MinX = MaxX = Object.X;
        MinZ = MaxZ = Object.Z;
        return;
    }
    MinX = std::min(MinX, Object.X);
    MaxX = std::max(MaxX, Object.X);
    MinZ = std::min(MinZ, Object.Z);
    MaxZ = std::max(MaxZ, Object.Z);
}

void TBounds::Merge(const TBounds& Other) {
    if (Other.Empty())
        return;
    if (Empty()) {
        *this = Other;
        return;
    }
    Count += Other.Count;
    MinX = std::min(MinX, Other.MinX);
    MaxX = std::max(MaxX, Other.MaxX);
    MinZ = std::min(MinZ, Other.MinZ);
    MaxZ = std::max(MaxZ, Other.MaxZ);
}

// Half up rather than away from zero: a build moved by whole units and then turned finds its
// centre moved by the same units, wherever it stands.
int32_t TBounds::Middle(int32_t Low, int32_t High) {
    return static_cast<int32_t>((int64_t{Low} + High + 1) >> 1);
}

ERelocationRange::ERelocationRange(uint64_t Position, const TRangeFault& Fault)
    : std::runtime_error("Object " + std::to_string(Position + 1) +
                         " would leave the world's coordinate range: its " + Fault.Field +
                         " would be " + std::to_string(Fault.Value) +
                         ", which a propdump file cannot hold; nothing was changed"),
      Position(Position), Fault(Fault) {}

TRelocation::TRelocation(TOffset By, int32_t Turn, int32_t CentreXValue, int32_t CentreZValue)
    : Offset(By), Tenths(static_cast<int32_t>((Turn % 3600 + 3600) % 3600)), CentreX(CentreXValue),
      CentreZ(CentreZValue) {
    // Quarter turns are exact: they map whole units onto whole units, so four of them give back
    // every object as it was.
    switch (Tenths) {
    case 900:
        Cos = 0, Sin = 1;
        break;
    case 1800:
        Cos = -1, Sin = 0;
        break;
    case 2700:
        Cos = 0, Sin = -1;
        break;
    default:
        if (Tenths != 0) {
            const long double Radians = Tenths * std::numbers::pi_v<long double> / 1800;
            Cos = std::cos(Radians);
            Sin = std::sin(Radians);
        }
    }
}

TRelocation::TPlace TRelocation::Target(const TPropObject& Object) const {
    int64_t X = Object.X;
    int64_t Z = Object.Z;
    if (Tenths != 0) {
        // Seen from above with north up, west is to the left: north turns towards west.
        const long double DX = static_cast<long double>(X - CentreX);
        const long double DZ = static_cast<long double>(Z - CentreZ);
        X = CentreX + std::llround(DX * Cos + DZ * Sin);
        Z = CentreZ + std::llround(DZ * Cos - DX * Sin);
    }
    return {X + Offset.X, int64_t{Object.Y} + Offset.Y, Z + Offset.Z};
}

std::optional<TRangeFault> TRelocation::Fault(const TPropObject& Object) const {
    const TPlace Place = Target(Object);
    for (const auto& [Field, Value] :
         {std::pair{'X', Place.X}, std::pair{'Y', Place.Y}, std::pair{'Z', Place.Z}})
        if (!Fits(Value))
            return TRangeFault{Field, Value};
    return std::nullopt;
}

void TRelocation::Apply(TPropObject& Object) const {
    const TPlace Place = Target(Object);
    Object.X = static_cast<int32_t>(Place.X);
    Object.Y = static_cast<int32_t>(Place.Y);
    Object.Z = static_cast<int32_t>(Place.Z);
    if (Tenths != 0)
        Object.Yaw = static_cast<int32_t>(((int64_t{Object.Yaw} + Tenths) % 3600 + 3600) % 3600);
}
