#include "model/Base16.h"

#include <array>

namespace {

constexpr char Digits[] = "0123456789ABCDEF";

constexpr std::array<uint8_t, 256> MakeReverseTable() {
    std::array<uint8_t, 256> table{};
    for (auto& v : table)
        v = 255;
    for (int c = '0'; c <= '9'; ++c)
        table[c] = static_cast<uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c)
        table[c] = static_cast<uint8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c)
        table[c] = static_cast<uint8_t>(c - 'a' + 10);
    return table;
}

constexpr std::array<uint8_t, 256> Reverse = MakeReverseTable();

} // namespace

char* Base16Put(char* Out, const uint8_t* Source, std::size_t Count) {
    for (std::size_t i = 0; i < Count; ++i) {
        *Out++ = Digits[Source[i] >> 4];
        *Out++ = Digits[Source[i] & 0x0F];
    }
    return Out;
}

void Base16Append(std::string& Text, const uint8_t* Source, std::size_t Count) {
    const std::size_t start = Text.size();
    Text.resize(start + 2 * Count);
    Base16Put(Text.data() + start, Source, Count);
}

int Base16Encode(std::string& Text, const uint8_t* Source, int Count) {
    Text.clear();
    if (Count <= 0)
        return 0;
    Base16Append(Text, Source, static_cast<std::size_t>(Count));
    return 2 * Count;
}

int Base16Decode(uint8_t* Target, const char* Source, int Count) {
    if (Count % 2 != 0)
        throw EBase16Error("Invalid source, size is not a multiple of 2");
    if (Count <= 0)
        return 0;
    for (int i = 0; i + 1 < Count; i += 2) {
        const uint8_t high = Reverse[static_cast<uint8_t>(Source[i])];
        const uint8_t low = Reverse[static_cast<uint8_t>(Source[i + 1])];
        // A non-hex high digit acts as F and a non-hex low digit turns the whole byte to FF.
        *Target++ = static_cast<uint8_t>((high * 16) % 256) | low;
    }
    return Count / 2;
}
