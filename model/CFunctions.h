#pragma once

// Formatted scanning, splitting and wildcard matching shared by the file reader, the position
// and time text readers and the user interface. Message boxes live in ui/ (BeepMessageDlg).

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class ESscanfError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A string destination that keeps at most 255 bytes, like a classic short string.
struct TShortString {
    std::string Value;
};

// One typed destination of Sscanf. The tag decides how a value is stored; a value whose kind
// (number or text) does not fit the destination ends the scan instead of being written blindly.
struct TScanDest {
    enum class TKind { Int16, Int32, UInt32, Int64, Extended, String, ShortString, Chars };

    TScanDest(int16_t* p) : Kind(TKind::Int16), Ptr(p) {}
    TScanDest(int32_t* p) : Kind(TKind::Int32), Ptr(p) {}
    TScanDest(uint32_t* p) : Kind(TKind::UInt32), Ptr(p) {}
    TScanDest(int64_t* p) : Kind(TKind::Int64), Ptr(p) {}
    TScanDest(long double* p) : Kind(TKind::Extended), Ptr(p) {}
    TScanDest(std::string* p) : Kind(TKind::String), Ptr(p) {}
    TScanDest(TShortString* p) : Kind(TKind::ShortString), Ptr(p) {}
    // A fixed byte buffer for 'c' directives; never written beyond Size bytes.
    TScanDest(char* p, std::size_t size) : Kind(TKind::Chars), Ptr(p), Size(size) {}

    TKind Kind;
    void* Ptr;
    std::size_t Size = 0;
};

// Returns the number of values assigned. Raises ESscanfError only when a value is due and every
// destination has been used; every other problem ends the scan quietly.
int Sscanf(std::string_view Input, std::string_view Format, std::span<const TScanDest> Destinations);

inline int Sscanf(std::string_view Input, std::string_view Format,
                  std::initializer_list<TScanDest> Destinations) {
    return Sscanf(Input, Format, std::span<const TScanDest>(Destinations.begin(), Destinations.size()));
}

// Pieces of Text between delimiters; MaxCount > 0 limits the number of pieces, the last one
// taking the rest of the text.
std::vector<std::string> SplitText(std::string_view Text, const std::vector<std::string>& Delimiters,
                                   int MaxCount);

// Case-insensitive (Windows-1252) match of the whole Text against Pattern: '*' matches any run of
// characters, '?' exactly one.
bool WildcardMatch(std::string_view Pattern, std::string_view Text);

// Index of the first pattern that matches Text, or -1.
int IndexOfMatchingPattern(std::string_view Text, const std::vector<std::string>& Patterns);
