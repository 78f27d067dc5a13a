// Hex decoding of any text into a target of exactly Count / 2 bytes, so that a write beyond it is
// caught; an odd count must be refused before anything is written. Decoding agrees with the
// byte table (non-hex digits count 255), and encoding what was decoded gives the upper-case text.

#include "FuzzCheck.h"
#include "model/Base16.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace {

unsigned Digit(uint8_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10u;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10u;
    return 255;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const int count = static_cast<int>(size);
    const std::size_t bytes = size / 2;
    auto target = std::make_unique<uint8_t[]>(bytes);
    std::memset(target.get(), 0x5A, bytes);
    const char* source = reinterpret_cast<const char*>(data);

    if (count % 2 != 0) {
        try {
            Base16Decode(target.get(), source, count);
            FUZZ_CHECK(false);
        } catch (const EBase16Error& e) {
            FUZZ_CHECK(std::string(e.what()) == "Invalid source, size is not a multiple of 2");
        }
        for (std::size_t i = 0; i < bytes; ++i)
            FUZZ_CHECK(target[i] == 0x5A);
        return 0;
    }

    FUZZ_CHECK(Base16Decode(target.get(), source, count) == count / 2);
    for (std::size_t i = 0; i < bytes; ++i)
        FUZZ_CHECK(target[i] == static_cast<uint8_t>(((Digit(data[2 * i]) * 16) % 256) |
                                                     Digit(data[2 * i + 1])));

    std::string text = "leftover";
    FUZZ_CHECK(Base16Encode(text, target.get(), static_cast<int>(bytes)) == count);
    FUZZ_CHECK(text.size() == size);
    auto again = std::make_unique<uint8_t[]>(bytes);
    Base16Decode(again.get(), text.data(), count);
    FUZZ_CHECK(std::memcmp(again.get(), target.get(), bytes) == 0);
    for (const char c : text)
        FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
    return 0;
}
