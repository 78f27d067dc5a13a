#pragma once

// The record of the search criteria: what the criteria dialog edits, the window keeps and the
// command-line tool builds from its options.

#include "text/DateTimeText.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The search criteria, in the order they are applied and listed.
enum TSearchField : uint8_t {
    sfCitNums,
    sfModels,
    sfDescription,
    sfAction,
    sfMinTime,
    sfMaxTime,
    sfObjType,
};

// A set of criteria, one bit per member.
class TSearchFields {
public:
    bool Has(TSearchField Field) const { return (Bits & Bit(Field)) != 0; }
    void Set(TSearchField Field, bool On) {
        Bits = static_cast<uint8_t>(On ? (Bits | Bit(Field)) : (Bits & ~Bit(Field)));
    }
    bool IsEmpty() const { return Bits == 0; }
    bool operator==(const TSearchFields&) const = default;

private:
    static uint8_t Bit(TSearchField Field) { return static_cast<uint8_t>(1u << Field); }
    uint8_t Bits = 0;
};

// Plain value, copied whole; all zero (nothing switched on) by default.
struct TSearchCriteria {
    TSearchFields Fields;
    TSearchFields Exclude;
    TSearchFields ExactMatch;
    // Windows-1252 bytes, at most MaxTextLength each.
    std::string CitNumsText;
    std::string ModelsText;
    std::string DescriptionText;
    std::string ActionText;
    TDateTimeValue MinTime = 0;
    TDateTimeValue MaxTime = 0;
    int32_t ObjType = 0;

    static constexpr std::size_t MaxTextLength = 255;
    bool operator==(const TSearchCriteria&) const = default;
};
