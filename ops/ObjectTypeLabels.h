#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// The labels of the object types, Windows-1252 bytes indexed by ObjectType: "« Zone »" and the
// like for the special types, "???" where there is no label.
extern const std::array<std::string_view, 7> ObjectTypeLabels;

// The label of any ObjectType value; "???" outside the table, since the file accepts any number.
std::string_view ObjectTypeLabel(int32_t ObjectType);

// The short name of a type, as the command-line tool's --type takes it: "zone", "emitter",
// "mover", "camera", "unknown" (type 1); empty for every other type.
std::string_view ObjectTypeShortName(int32_t ObjectType);
