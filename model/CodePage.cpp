#include "model/CodePage.h"

#include <array>

namespace {

constexpr std::array<uint8_t, 256> MakeUpperTable() {
    std::array<uint8_t, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = static_cast<uint8_t>(c);
    for (int c = 'a'; c <= 'z'; ++c)
        table[c] = static_cast<uint8_t>(c - 0x20);
    // 0xF7 is the division sign; its neighbours are the accented small letters.
    for (int c = 0xE0; c <= 0xFE; ++c)
        if (c != 0xF7)
            table[c] = static_cast<uint8_t>(c - 0x20);
    table[0x9A] = 0x8A; // s caron
    table[0x9C] = 0x8C; // oe
    table[0x9E] = 0x8E; // z caron
    table[0xFF] = 0x9F; // y diaeresis
    return table;
}

constexpr std::array<uint8_t, 256> Upper = MakeUpperTable();

// 0x80-0x9F is the only stretch where Windows-1252 differs from Latin-1. The five bytes that the
// code page leaves unassigned keep their C1 control value, so every byte string survives a round
// trip through UTF-16.
constexpr char16_t HighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, //
};

constexpr char16_t DecodeByte(uint8_t b) {
    return b >= 0x80 && b <= 0x9F ? HighControls[b - 0x80] : static_cast<char16_t>(b);
}

std::optional<uint8_t> EncodeChar(char16_t ch) {
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF))
        return static_cast<uint8_t>(ch);
    for (int i = 0; i < 32; ++i)
        if (HighControls[i] == ch)
            return static_cast<uint8_t>(0x80 + i);
    return std::nullopt;
}

inline uint64_t UpperWord(const unsigned char* p, std::size_t n) {
    uint64_t word = 0;
    for (std::size_t i = 0; i < n; ++i)
        word |= static_cast<uint64_t>(Upper[p[i]]) << (8 * i);
    return word;
}

inline uint64_t Mix(uint64_t h) {
    h ^= h >> 32;
    h *= 0xD6E8FEB86659FD93ULL;
    h ^= h >> 32;
    return h;
}

// The UTF-8 form of every Windows-1252 byte, made once from the code page's own table.
struct TUtf8Table {
    std::array<char, 4> Bytes[256];
    uint8_t Sizes[256];

    TUtf8Table() {
        for (int b = 0; b < 256; ++b) {
            const char Byte = static_cast<char>(b);
            const char16_t c = DecodeByte(static_cast<uint8_t>(Byte));
            auto& out = Bytes[b];
            if (c < 0x80) {
                out[0] = static_cast<char>(c);
                Sizes[b] = 1;
            } else if (c < 0x800) {
                out[0] = static_cast<char>(0xC0 | (c >> 6));
                out[1] = static_cast<char>(0x80 | (c & 0x3F));
                Sizes[b] = 2;
            } else {
                out[0] = static_cast<char>(0xE0 | (c >> 12));
                out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                out[2] = static_cast<char>(0x80 | (c & 0x3F));
                Sizes[b] = 3;
            }
        }
    }
};

const TUtf8Table& Utf8Table() {
    static const TUtf8Table Table;
    return Table;
}

} // namespace

uint8_t UpCase1252(uint8_t c) {
    return Upper[c];
}

std::string UpperCase1252(std::string_view s) {
    std::string result(s.size(), '\0');
    for (std::size_t i = 0; i < s.size(); ++i)
        result[i] = static_cast<char>(Upper[static_cast<uint8_t>(s[i])]);
    return result;
}

bool SameText1252(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper[static_cast<uint8_t>(a[i])] != Upper[static_cast<uint8_t>(b[i])])
            return false;
    return true;
}

int CompareText1252(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const int ua = Upper[static_cast<uint8_t>(a[i])];
        const int ub = Upper[static_cast<uint8_t>(b[i])];
        if (ua != ub)
            return ua - ub;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

// Model names are short, so the hash works on whole 8-byte words of upper-cased bytes: one
// multiply per word instead of one per byte keeps hashing a million names cheap.
std::size_t HashText1252(std::string_view s) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    std::size_t n = s.size();
    uint64_t h = 0x9E3779B97F4A7C15ULL ^ (static_cast<uint64_t>(n) * 0xFF51AFD7ED558CCDULL);
    while (n >= 8) {
        h = Mix(h ^ UpperWord(p, 8)) + 0x632BE59BD9B4E019ULL;
        p += 8;
        n -= 8;
    }
    if (n > 0)
        h = Mix(h ^ UpperWord(p, n)) + 0x632BE59BD9B4E019ULL;
    return static_cast<std::size_t>(Mix(h));
}

std::u16string Decode1252(std::string_view bytes) {
    std::u16string text(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        text[i] = DecodeByte(static_cast<uint8_t>(bytes[i]));
    return text;
}

std::optional<std::string> Encode1252(std::u16string_view text) {
    std::string bytes(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::optional<uint8_t> b = EncodeChar(text[i]);
        if (!b)
            return std::nullopt;
        bytes[i] = static_cast<char>(*b);
    }
    return bytes;
}

void Append1252AsUtf8(std::string& Out, std::string_view Bytes) {
    const TUtf8Table& Table = Utf8Table();
    for (const char Byte : Bytes) {
        const auto b = static_cast<uint8_t>(Byte);
        Out.append(Table.Bytes[b].data(), Table.Sizes[b]);
    }
}
