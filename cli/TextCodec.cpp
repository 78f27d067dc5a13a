#include "cli/TextCodec.h"

#include "model/CodePage.h"

#include <cstdint>

namespace {

// One code point from the start of Text; false for a malformed or overlong sequence or a
// surrogate.
bool DecodeUtf8(std::string_view& Text, char32_t& c) {
    const auto b0 = static_cast<uint8_t>(Text[0]);
    const int size = b0 < 0x80           ? 1
                     : (b0 >> 5) == 0x6  ? 2
                     : (b0 >> 4) == 0xE  ? 3
                     : (b0 >> 3) == 0x1E ? 4
                                         : 0;
    if (size == 0 || Text.size() < static_cast<std::size_t>(size))
        return false;
    c = size == 1 ? b0 : size == 2 ? (b0 & 0x1F) : size == 3 ? (b0 & 0x0F) : (b0 & 0x07);
    for (int i = 1; i < size; ++i) {
        const auto b = static_cast<uint8_t>(Text[static_cast<std::size_t>(i)]);
        if ((b & 0xC0) != 0x80)
            return false;
        c = (c << 6) | (b & 0x3F);
    }
    static constexpr char32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < Least[size] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return false;
    Text.remove_prefix(static_cast<std::size_t>(size));
    return true;
}

} // namespace

std::optional<std::string> Utf8To1252(std::string_view Utf8) {
    std::u16string text;
    while (!Utf8.empty()) {
        char32_t c = 0;
        if (!DecodeUtf8(Utf8, c))
            return std::nullopt;
        // Beyond the basic plane nothing is in the code page.
        if (c > 0xFFFF)
            return std::nullopt;
        text += static_cast<char16_t>(c);
    }
    return Encode1252(text);
}

void AppendJsonString(std::string& Out, std::string_view Bytes) {
    static constexpr char Hex[] = "0123456789abcdef";
    Out += '"';
    for (const char Byte : Bytes) {
        const auto b = static_cast<uint8_t>(Byte);
        switch (b) {
        case '"':
            Out += "\\\"";
            break;
        case '\\':
            Out += "\\\\";
            break;
        case '\n':
            Out += "\\n";
            break;
        case '\r':
            Out += "\\r";
            break;
        case '\t':
            Out += "\\t";
            break;
        default:
            if (b < 0x20) {
                Out += "\\u00";
                Out += Hex[b >> 4];
                Out += Hex[b & 0xF];
            } else {
                Append1252AsUtf8(Out, std::string_view(&Byte, 1));
            }
        }
    }
    Out += '"';
}
