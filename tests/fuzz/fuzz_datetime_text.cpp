// Typed date-time text. Any text either reads or raises a conversion error. A value that reads
// is a whole second of a day of the years 1 to 9999, so its edit text reads back to exactly the
// same value; within the Timestamp range its seconds go to text and back unchanged, and outside
// it the conversion to a Timestamp refuses it. Any value at all formats without harm.

#include "FuzzCheck.h"
#include "model/Convert.h"
#include "text/DateTimeText.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

namespace {

bool Read(const std::string& text, TDateTimeValue& value) {
    try {
        value = ParseDateTimeText(text);
        return true;
    } catch (const EConvertError&) {
        return false;
    }
}

bool InTimestampRange(int64_t seconds) {
    return seconds >= std::numeric_limits<int32_t>::min() &&
           seconds <= std::numeric_limits<int32_t>::max();
}

void CheckSecondsRoundTrip(int64_t seconds) {
    const std::string text = FormatEditDateTime(SecondsToDateTime(seconds));
    TDateTimeValue back = 0;
    FUZZ_CHECK(Read(text, back));
    FUZZ_CHECK(DateTimeToSeconds(back) == seconds);
    FUZZ_CHECK(DateTimeToTimestamp(back) == seconds);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    switch (provider.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
        CheckSecondsRoundTrip(provider.ConsumeIntegral<int32_t>());
        return 0;
    case 1: {
        const double value = provider.ConsumeFloatingPoint<double>();
        const std::string edit = FormatEditDateTime(value);
        const std::string list = FormatListDateTime(value);
        FUZZ_CHECK(!edit.empty() && !list.empty());
        return 0;
    }
    default:
        break;
    }

    TDateTimeValue value = 0;
    if (!Read(provider.ConsumeRemainingBytesAsString(), value))
        return 0;
    const std::string text = FormatEditDateTime(value);
    FUZZ_CHECK(text.size() == 19);
    TDateTimeValue again = 0;
    FUZZ_CHECK(Read(text, again));
    FUZZ_CHECK(again == value);

    const int64_t seconds = DateTimeToSeconds(value);
    if (InTimestampRange(seconds)) {
        CheckSecondsRoundTrip(seconds);
        return 0;
    }
    try {
        DateTimeToTimestamp(value);
        FUZZ_CHECK(false);
    } catch (const EConvertError&) {
    }
    return 0;
}
