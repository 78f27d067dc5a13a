#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A position in the order the user reads it: north-south, east-west, altitude, yaw.
class TPositionInfo {
public:
    int32_t NorthSouth = 0;
    int32_t EastWest = 0;
    int32_t Altitude = 0;
    int32_t Yaw = 0;

    TPositionInfo(int32_t NorthSouthValue, int32_t EastWestValue, int32_t AltitudeValue,
                  int32_t YawValue);
    explicit TPositionInfo(std::string_view Text);

    void SetYaw(int32_t Value);
    std::string ToText() const;
    // Raises EConvertError for a malformed yaw token or a value outside the 32-bit fields.
    void ParseText(std::string_view Text);
    // ParseText that tells whether the text could be read: false, with the fields untouched, for
    // text that ParseText would silently take as nothing (empty text included).
    bool TryParseText(std::string_view Text);
};

std::string PositionToText(int32_t X, int32_t Y, int32_t Z, int32_t Yaw);

struct TObjectPosition {
    int32_t X = 0;
    int32_t Y = 0;
    int32_t Z = 0;
    int32_t Yaw = 0;
};
TObjectPosition TextToPosition(std::string_view Text);
// As TextToPosition, but text that cannot be read (empty, one token, a part that is no number)
// gives nullopt rather than the all-zero position, for callers that must tell the two apart.
std::optional<TObjectPosition> ReadPositionText(std::string_view Text);
// As ReadPositionText, but text that cannot be read raises EConvertError "'%s' is not a position
// such as "12.5N 7W"", for a position typed where one must be.
TObjectPosition RequirePositionText(std::string_view Text);
