#include "model/Utf16Win32.h"

#include <climits>
#include <stdexcept>

#include <windows.h>

std::wstring Utf16(std::string_view Utf8) {
    if (Utf8.empty())
        return {};
    if (Utf8.size() > INT_MAX)
        throw std::length_error("text too long for Windows");
    const int Size = static_cast<int>(Utf8.size());
    std::wstring Wide(static_cast<std::size_t>(
                          ::MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), Size, nullptr, 0)),
                      L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), Size, Wide.data(),
                          static_cast<int>(Wide.size()));
    return Wide;
}

std::string Utf8(std::wstring_view Utf16) {
    if (Utf16.empty())
        return {};
    if (Utf16.size() > INT_MAX / 3)
        throw std::length_error("text too long for Windows");
    const int Size = static_cast<int>(Utf16.size());
    std::string Narrow(static_cast<std::size_t>(::WideCharToMultiByte(
                           CP_UTF8, 0, Utf16.data(), Size, nullptr, 0, nullptr, nullptr)),
                       '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, Utf16.data(), Size, Narrow.data(),
                          static_cast<int>(Narrow.size()), nullptr, nullptr);
    return Narrow;
}
