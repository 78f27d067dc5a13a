// The scan routine with any format, any input and destinations of every kind. Format and input
// are exact-size heap copies so that reading past either is caught. The count never exceeds the
// destinations (nor the directives), the only exception is the one for running out of
// destinations, a short string keeps at most 255 bytes, a byte buffer is never written beyond
// its size, and no destination past the count is touched.

#include "FuzzCheck.h"
#include "model/CFunctions.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int16_t Int16Sentinel = 0x5A5A;
constexpr int32_t Int32Sentinel = 0x5A5A5A5A;
constexpr uint32_t UInt32Sentinel = 0xA5A5A5A5u;
constexpr int64_t Int64Sentinel = 0x5A5A5A5A5A5A5A5A;
constexpr long double ExtendedSentinel = 1234.5678L;
const std::string StringSentinel = "\x01untouched";
constexpr unsigned char CharsSentinel = 0xA5;

// Every destination lives in its own allocation so that ASan sees a write beyond any of them.
struct TDestinations {
    std::vector<std::unique_ptr<int16_t>> Int16s;
    std::vector<std::unique_ptr<int32_t>> Int32s;
    std::vector<std::unique_ptr<uint32_t>> UInt32s;
    std::vector<std::unique_ptr<int64_t>> Int64s;
    std::vector<std::unique_ptr<long double>> Extendeds;
    std::vector<std::unique_ptr<std::string>> Strings;
    std::vector<std::unique_ptr<TShortString>> ShortStrings;
    std::vector<std::pair<std::unique_ptr<char[]>, std::size_t>> Buffers;
    std::vector<TScanDest> Entries;

    void Add(uint8_t kind, std::size_t bufferSize) {
        switch (kind % 8) {
        case 0:
            Entries.emplace_back(Int16s.emplace_back(new int16_t(Int16Sentinel)).get());
            break;
        case 1:
            Entries.emplace_back(Int32s.emplace_back(new int32_t(Int32Sentinel)).get());
            break;
        case 2:
            Entries.emplace_back(UInt32s.emplace_back(new uint32_t(UInt32Sentinel)).get());
            break;
        case 3:
            Entries.emplace_back(Int64s.emplace_back(new int64_t(Int64Sentinel)).get());
            break;
        case 4:
            Entries.emplace_back(Extendeds.emplace_back(new long double(ExtendedSentinel)).get());
            break;
        case 5:
            Entries.emplace_back(Strings.emplace_back(new std::string(StringSentinel)).get());
            break;
        case 6:
            Entries.emplace_back(ShortStrings.emplace_back(new TShortString{StringSentinel}).get());
            break;
        default: {
            auto& [buffer, bufferLength] =
                Buffers.emplace_back(std::make_unique<char[]>(bufferSize), bufferSize);
            std::memset(buffer.get(), CharsSentinel, bufferLength);
            Entries.emplace_back(buffer.get(), bufferLength);
            break;
        }
        }
    }

    bool Untouched(const TScanDest& d) const {
        using K = TScanDest::TKind;
        switch (d.Kind) {
        case K::Int16:
            return *static_cast<int16_t*>(d.Ptr) == Int16Sentinel;
        case K::Int32:
            return *static_cast<int32_t*>(d.Ptr) == Int32Sentinel;
        case K::UInt32:
            return *static_cast<uint32_t*>(d.Ptr) == UInt32Sentinel;
        case K::Int64:
            return *static_cast<int64_t*>(d.Ptr) == Int64Sentinel;
        case K::Extended:
            return *static_cast<long double*>(d.Ptr) == ExtendedSentinel;
        case K::String:
            return *static_cast<std::string*>(d.Ptr) == StringSentinel;
        case K::ShortString:
            return static_cast<TShortString*>(d.Ptr)->Value == StringSentinel;
        case K::Chars: {
            const auto* bytes = static_cast<const unsigned char*>(d.Ptr);
            return std::all_of(bytes, bytes + d.Size,
                               [](unsigned char c) { return c == CharsSentinel; });
        }
        }
        return false;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    TDestinations destinations;
    const std::size_t entries = provider.ConsumeIntegralInRange<std::size_t>(0, 12);
    for (std::size_t i = 0; i < entries; ++i) {
        const uint8_t kind = provider.ConsumeIntegral<uint8_t>();
        destinations.Add(kind, provider.ConsumeIntegralInRange<std::size_t>(0, 12));
    }
    const std::string formatText = provider.ConsumeRandomLengthString(256);
    const std::string inputText = provider.ConsumeRemainingBytesAsString();
    const auto format = ExactCopy(formatText);
    const auto input = ExactCopy(inputText);

    int count = 0;
    bool outOfDestinations = false;
    try {
        count = Sscanf(std::string_view(input.get(), inputText.size()),
                       std::string_view(format.get(), formatText.size()), destinations.Entries);
    } catch (const ESscanfError& e) {
        FUZZ_CHECK(std::string_view(e.what()) == "Insufficent pointers for format specifiers!");
        outOfDestinations = true;
    }

    const auto directives =
        static_cast<std::size_t>(std::count(formatText.begin(), formatText.end(), '%'));
    if (outOfDestinations) {
        FUZZ_CHECK(destinations.Entries.size() < directives);
        return 0;
    }
    FUZZ_CHECK(count >= 0);
    FUZZ_CHECK(static_cast<std::size_t>(count) <= destinations.Entries.size());
    FUZZ_CHECK(static_cast<std::size_t>(count) <= directives);
    for (std::size_t i = static_cast<std::size_t>(count); i < destinations.Entries.size(); ++i)
        FUZZ_CHECK(destinations.Untouched(destinations.Entries[i]));
    for (const auto& s : destinations.ShortStrings)
        FUZZ_CHECK(s->Value.size() <= 255);
    return 0;
}
