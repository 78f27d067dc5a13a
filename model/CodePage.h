#pragma once

// Windows-1252 helpers. Results never depend on the machine's locale.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

uint8_t UpCase1252(uint8_t c);
std::string UpperCase1252(std::string_view s);
bool SameText1252(std::string_view a, std::string_view b);
// <0, 0, >0 like strcmp, comparing upper-cased bytes.
int CompareText1252(std::string_view a, std::string_view b);
// Hash consistent with SameText1252.
std::size_t HashText1252(std::string_view s) noexcept;

struct TCaseInsensitiveHash1252 {
    std::size_t operator()(std::string_view s) const noexcept { return HashText1252(s); }
};
struct TCaseInsensitiveEqual1252 {
    bool operator()(std::string_view a, std::string_view b) const noexcept { return SameText1252(a, b); }
};

// Windows-1252 bytes to UTF-16; the five unassigned bytes map to the C1 controls of the same value.
std::u16string Decode1252(std::string_view bytes);
// UTF-16 to Windows-1252; nullopt when a character has no Windows-1252 byte.
std::optional<std::string> Encode1252(std::u16string_view text);
// Appends Bytes, read as Windows-1252, in UTF-8.
void Append1252AsUtf8(std::string& Out, std::string_view Bytes);
