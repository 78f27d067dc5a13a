// Position text both ways. Any text either reads or raises the conversion error. Any four field
// values written as text read back to the same X, Z and Yaw (a negative yaw first turned into
// its positive form), and Y comes back rounded to the two decimals shown, or as the 32-bit limit
// when that rounding leaves the range.

#include "FuzzCheck.h"
#include "model/Convert.h"
#include "text/PositionInfo.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

namespace {

bool Read(const std::string& text, TObjectPosition& position) {
    try {
        position = TextToPosition(text);
        return true;
    } catch (const EConvertError&) {
        return false;
    }
}

// The altitude as the text shows it (hundredths, the third decimal rounded half away from zero),
// kept within the 32-bit range.
int64_t ShownAltitude(int32_t y) {
    const int64_t magnitude = y < 0 ? -int64_t{y} : int64_t{y};
    const int64_t shown = (magnitude + 5) / 10 * 10;
    return std::clamp<int64_t>(y < 0 ? -shown : shown, std::numeric_limits<int32_t>::min(),
                               std::numeric_limits<int32_t>::max());
}

int32_t PositiveYaw(int32_t yaw) {
    return yaw >= 0 ? yaw : yaw % 3600 + 3600;
}

void CheckRoundTrip(int32_t x, int32_t y, int32_t z, int32_t yaw) {
    const std::string text = PositionToText(x, y, z, yaw);
    TObjectPosition back;
    FUZZ_CHECK(Read(text, back));
    FUZZ_CHECK(back.X == x);
    FUZZ_CHECK(back.Z == z);
    FUZZ_CHECK(back.Yaw == PositiveYaw(yaw));
    // Not the text itself: an altitude of -0.001 to -0.004 shows as -0.00a and reads back as 0.
    FUZZ_CHECK(back.Y == ShownAltitude(y));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    if (provider.ConsumeBool()) {
        const int32_t x = provider.ConsumeIntegral<int32_t>();
        const int32_t y = provider.ConsumeIntegral<int32_t>();
        const int32_t z = provider.ConsumeIntegral<int32_t>();
        const int32_t yaw = provider.ConsumeIntegral<int32_t>();
        CheckRoundTrip(x, y, z, yaw);
        return 0;
    }
    // Whatever a text reads as must itself write and read back as the same position.
    TObjectPosition position;
    if (Read(provider.ConsumeRemainingBytesAsString(), position)) {
        FUZZ_CHECK(position.Yaw >= 0);
        CheckRoundTrip(position.X, position.Y, position.Z, position.Yaw);
    }
    return 0;
}
