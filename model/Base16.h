#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

class EBase16Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Sets Text to 2 x Count upper-case hex digits; returns 2 x Count.
int Base16Encode(std::string& Text, const uint8_t* Source, int Count);

// Writes 2 x Count upper-case hex digits at Out, which has room for them; returns their end.
char* Base16Put(char* Out, const uint8_t* Source, std::size_t Count);

// Appends 2 x Count upper-case hex digits to Text (the line writer's fast path).
void Base16Append(std::string& Text, const uint8_t* Source, std::size_t Count);

// Decodes Count characters into Count / 2 bytes of Target (sized by the caller); returns Count / 2.
// Non-hex characters are not rejected: they decode with the value 255.
int Base16Decode(uint8_t* Target, const char* Source, int Count);
