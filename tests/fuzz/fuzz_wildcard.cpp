// The '*'/'?' matcher against a plain table-driven reference: '*' matches any run of characters,
// '?' exactly one, anything else one character equal after Windows-1252 upper-casing. Both must
// agree on every pattern and text.

#include "FuzzCheck.h"
#include "model/CFunctions.h"
#include "model/CodePage.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Row i of the table holds whether the first i pattern characters match the first j text ones.
bool ReferenceMatch(std::string_view pattern, std::string_view text) {
    const std::size_t n = text.size();
    std::vector<char> previous(n + 1, 0), current(n + 1, 0);
    previous[0] = 1;
    for (const char p : pattern) {
        current[0] = p == '*' && previous[0];
        for (std::size_t j = 1; j <= n; ++j) {
            if (p == '*')
                current[j] = previous[j] || current[j - 1];
            else
                current[j] = previous[j - 1] &&
                             (p == '?' || UpCase1252(static_cast<uint8_t>(p)) ==
                                              UpCase1252(static_cast<uint8_t>(text[j - 1])));
        }
        previous.swap(current);
    }
    return previous[n];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    // The reference costs pattern times text; the matcher's correctness does not hang on length.
    const std::string pattern = provider.ConsumeRandomLengthString(512);
    const std::string text = provider.ConsumeBytesAsString(512);
    const auto patternCopy = ExactCopy(pattern);
    const auto textCopy = ExactCopy(text);
    const bool matched = WildcardMatch(std::string_view(patternCopy.get(), pattern.size()),
                                       std::string_view(textCopy.get(), text.size()));
    FUZZ_CHECK(matched == ReferenceMatch(pattern, text));
    return 0;
}
