#pragma once

// Windows speaks UTF-16; the rest of the program speaks UTF-8. Bytes that are not UTF-8 are
// replaced, so a name that cannot exist is never turned into another one that does.

#include <string>
#include <string_view>

std::wstring Utf16(std::string_view Utf8);
std::string Utf8(std::wstring_view Utf16);
