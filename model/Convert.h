#pragma once

// The standard conversion errors of typed text, shared by the core and the user interface.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Decimal signed 32-bit integer, optional leading '-' (and '+'), surrounding blanks not allowed.
// Raises EConvertError "'%s' is not a valid integer value".
int32_t StrToInt(std::string_view Text);
