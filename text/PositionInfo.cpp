#include "text/PositionInfo.h"

#include "model/CFunctions.h"
#include "model/Convert.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

constexpr int64_t Int32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t Int32Max = std::numeric_limits<int32_t>::max();

char* PutUnsigned(char* out, uint64_t value) {
    char digits[20];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0)
        *out++ = digits[--count];
    return out;
}

// Magnitude of Value / 1000 in its shortest decimal form: no trailing zeros, no point for whole
// numbers.
char* PutThousandths(char* out, int32_t value) {
    const uint64_t magnitude = value < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(value))
                                         : static_cast<uint64_t>(value);
    out = PutUnsigned(out, magnitude / 1000);
    unsigned fraction = static_cast<unsigned>(magnitude % 1000);
    if (fraction == 0)
        return out;
    *out++ = '.';
    for (unsigned scale = 100; fraction != 0; scale /= 10) {
        *out++ = static_cast<char>('0' + fraction / scale);
        fraction %= scale;
    }
    return out;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EndsWithEither(std::string_view token, char upperA, char upperB) {
    if (token.empty())
        return false;
    const char last = UpperAscii(token.back());
    return last == upperA || last == upperB;
}

enum class TScaleResult { Ok, Malformed, OutOfRange };

// Reads Text, which must be a decimal number as a whole ([sign] digits [. digits] [E [sign]
// digits], an exponent marker without digits meaning exponent 0), and yields the number times
// 10^Shift truncated toward zero. Working on the digits rather than a binary float keeps 0.001
// times 1000 at exactly 1 and 1.9999 times 1000 at 1999. A number beyond the 32-bit range by no
// more than Slack (exactly, before truncation) yields the limit it passed.
TScaleResult ScaleDecimal(std::string_view Text, int Shift, bool Negate, int32_t& Result,
                          int64_t Slack = 0) {
    std::size_t i = 0;
    bool negative = false;
    if (i < Text.size() && (Text[i] == '+' || Text[i] == '-'))
        negative = Text[i++] == '-';

    const std::size_t mantissaStart = i;
    std::size_t integerDigits = 0;
    std::size_t digitCount = 0;
    bool seenPoint = false;
    for (; i < Text.size(); ++i) {
        if (IsDigit(Text[i])) {
            ++digitCount;
            if (!seenPoint)
                ++integerDigits;
        } else if (Text[i] == '.' && !seenPoint) {
            seenPoint = true;
        } else {
            break;
        }
    }
    const std::size_t mantissaEnd = i;
    if (digitCount == 0)
        return TScaleResult::Malformed;

    int64_t exponent = 0;
    if (i < Text.size() && (Text[i] == 'E' || Text[i] == 'e')) {
        ++i;
        bool exponentNegative = false;
        if (i < Text.size() && (Text[i] == '+' || Text[i] == '-'))
            exponentNegative = Text[i++] == '-';
        for (; i < Text.size() && IsDigit(Text[i]); ++i) {
            // Far beyond any digit count; saturating keeps the arithmetic below from overflowing.
            if (exponent < 1000000000)
                exponent = exponent * 10 + (Text[i] - '0');
        }
        if (exponentNegative)
            exponent = -exponent;
    }
    if (i != Text.size())
        return TScaleResult::Malformed;

    // The whole part of the scaled number is the first Kept digits of the mantissa, padded with
    // zeros when the mantissa has fewer.
    const int64_t kept = static_cast<int64_t>(integerDigits) + exponent + Shift;
    const uint64_t limit = static_cast<uint64_t>(Int32Max) + 1 + static_cast<uint64_t>(Slack);
    uint64_t magnitude = 0;
    int64_t taken = 0;
    std::size_t k = mantissaStart;
    for (; k < mantissaEnd && taken < kept; ++k) {
        if (Text[k] == '.')
            continue;
        magnitude = magnitude * 10 + static_cast<uint64_t>(Text[k] - '0');
        ++taken;
        if (magnitude > limit)
            return TScaleResult::OutOfRange;
    }
    for (; taken < kept && magnitude != 0; ++taken) {
        magnitude *= 10;
        if (magnitude > limit)
            return TScaleResult::OutOfRange;
    }

    bool dropped = false;
    for (; k < mantissaEnd; ++k)
        dropped = dropped || (Text[k] != '.' && Text[k] != '0');

    const int64_t value =
        (negative != Negate) ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    const int64_t beyond = value > Int32Max   ? value - Int32Max
                           : value < Int32Min ? Int32Min - value
                                              : 0;
    if (beyond > Slack || (beyond == Slack && beyond > 0 && dropped))
        return TScaleResult::OutOfRange;
    Result = static_cast<int32_t>(std::clamp(value, Int32Min, Int32Max));
    return TScaleResult::Ok;
}

// The run that a "%g" directive takes from the start of a token.
std::string_view FloatRun(std::string_view token) {
    std::size_t n = 0;
    while (n < token.size()) {
        const char c = token[n];
        if (!(IsDigit(c) || c == '+' || c == '-' || c == '.' || c == 'E' || c == 'e'))
            break;
        ++n;
    }
    return token.substr(0, n);
}

// A coordinate token is read through the scan routine's "%g", so that what counts as a number is
// the same everywhere; the value itself is then taken exactly from the same run of characters.
bool ReadCoordinate(std::string_view token, bool negate, int32_t& result, bool& outOfRange,
                    int64_t slack = 0) {
    long double unused = 0;
    if (Sscanf(token, "%g", {&unused}) != 1)
        return false;
    switch (ScaleDecimal(FloatRun(token), 3, negate, result, slack)) {
    case TScaleResult::Ok:
        return true;
    case TScaleResult::OutOfRange:
        outOfRange = true;
        return true;
    case TScaleResult::Malformed:
        break;
    }
    return false;
}

// The altitude is shown rounded to hundredths, so the highest and lowest ones show as up to
// 0.005 beyond the range; read back, they must still name the limit, or such an object could not
// be edited at all.
constexpr int64_t AltitudeRoundingSlack = 5;

[[noreturn]] void RaiseOutOfRange(std::string_view Text) {
    throw EConvertError("'" + std::string(Text) + "' is outside the world's coordinate range");
}

} // namespace

TPositionInfo::TPositionInfo(int32_t NorthSouthValue, int32_t EastWestValue, int32_t AltitudeValue,
                             int32_t YawValue)
    : NorthSouth(NorthSouthValue), EastWest(EastWestValue), Altitude(AltitudeValue) {
    SetYaw(YawValue);
}

TPositionInfo::TPositionInfo(std::string_view Text) {
    ParseText(Text);
}

void TPositionInfo::SetYaw(int32_t Value) {
    Yaw = Value >= 0 ? Value : Value % 3600 + 3600;
}

std::string TPositionInfo::ToText() const {
    char buffer[64];
    char* out = PutThousandths(buffer, NorthSouth);
    *out++ = NorthSouth < 0 ? 'S' : 'N';
    *out++ = ' ';
    out = PutThousandths(out, EastWest);
    *out++ = EastWest < 0 ? 'E' : 'W';

    // The altitude is written whenever a yaw follows, so that the yaw is always the fourth part.
    if (Altitude != 0 || Yaw != 0) {
        *out++ = ' ';
        const int64_t altitude = Altitude;
        const uint64_t magnitude = static_cast<uint64_t>(altitude < 0 ? -altitude : altitude);
        const uint64_t hundredths = (magnitude + 5) / 10;
        if (altitude < 0)
            *out++ = '-';
        out = PutUnsigned(out, hundredths / 100);
        *out++ = '.';
        *out++ = static_cast<char>('0' + hundredths / 10 % 10);
        *out++ = static_cast<char>('0' + hundredths % 10);
        *out++ = 'a';
    }
    if (Yaw != 0) {
        *out++ = ' ';
        const int64_t yaw = Yaw;
        const uint64_t magnitude = static_cast<uint64_t>(yaw < 0 ? -yaw : yaw);
        if (yaw < 0)
            *out++ = '-';
        out = PutUnsigned(out, magnitude / 10);
        *out++ = '.';
        *out++ = static_cast<char>('0' + magnitude % 10);
    }
    return std::string(buffer, static_cast<std::size_t>(out - buffer));
}

void TPositionInfo::ParseText(std::string_view Text) {
    if (Text.empty()) {
        NorthSouth = 0;
        EastWest = 0;
        Altitude = 0;
        SetYaw(0);
        return;
    }
    TryParseText(Text);
}

bool TPositionInfo::TryParseText(std::string_view Text) {
    std::string t1, t2, t3, t4;
    const int count =
        Sscanf(Text, "%[0-9.NnSsWwEe] %[0-9.WwEeNnSs] %[0-9.a-] %[0-9.]", {&t1, &t2, &t3, &t4});
    if (count < 2)
        return false;

    // Either compass part may come first; after this t1 is north-south and t2 east-west.
    if (EndsWithEither(t1, 'W', 'E') || EndsWithEither(t2, 'S', 'N'))
        std::swap(t1, t2);
    if (!EndsWithEither(t3, 'A', 'A')) {
        t4 = t3;
        t3 = "0.0";
    }

    int32_t northSouth = 0;
    int32_t eastWest = 0;
    int32_t altitude = 0;
    bool outOfRange = false;
    if (!ReadCoordinate(t1, EndsWithEither(t1, 'S', 'S'), northSouth, outOfRange) ||
        !ReadCoordinate(t2, EndsWithEither(t2, 'E', 'E'), eastWest, outOfRange) ||
        !ReadCoordinate(t3, false, altitude, outOfRange, AltitudeRoundingSlack))
        return false;

    int32_t yaw = 0;
    const std::string_view yawText = t4.empty() ? std::string_view("0.0") : std::string_view(t4);
    switch (ScaleDecimal(yawText, 1, false, yaw)) {
    case TScaleResult::Malformed:
        throw EConvertError("'" + t4 + "' is not a valid floating point value");
    case TScaleResult::OutOfRange:
        outOfRange = true;
        break;
    case TScaleResult::Ok:
        break;
    }
    // A value that does not fit its field would be stored wrapped; refuse the text instead.
    if (outOfRange)
        RaiseOutOfRange(Text);

    NorthSouth = northSouth;
    EastWest = eastWest;
    Altitude = altitude;
    SetYaw(yaw);
    return true;
}

std::string PositionToText(int32_t X, int32_t Y, int32_t Z, int32_t Yaw) {
    return TPositionInfo(Z, X, Y, Yaw).ToText();
}

TObjectPosition TextToPosition(std::string_view Text) {
    const TPositionInfo info(Text);
    return TObjectPosition{info.EastWest, info.Altitude, info.NorthSouth, info.Yaw};
}

std::optional<TObjectPosition> ReadPositionText(std::string_view Text) {
    TPositionInfo info(0, 0, 0, 0);
    if (!info.TryParseText(Text))
        return std::nullopt;
    return TObjectPosition{info.EastWest, info.Altitude, info.NorthSouth, info.Yaw};
}

TObjectPosition RequirePositionText(std::string_view Text) {
    // Text the position reader takes as nothing would quietly stand for 0N 0W.
    const std::optional<TObjectPosition> Position = ReadPositionText(Text);
    if (!Position)
        throw EConvertError("'" + std::string(Text) + "' is not a position such as \"12.5N 7W\"");
    return *Position;
}
