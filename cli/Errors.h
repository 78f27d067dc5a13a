#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// A command line the tool cannot follow; exit status 2.
class EUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file the tool cannot use as it stands; exit status 1. Shown as "FILE:LINE: message", or
// "FILE: message" when Line is 0.
class EInputError : public std::runtime_error {
public:
    EInputError(std::string File, uint64_t Line, const std::string& Message)
        : std::runtime_error(Message), File(std::move(File)), Line(Line) {}
    std::string File;
    uint64_t Line;
};
