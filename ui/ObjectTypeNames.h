#pragma once

#include <QString>

#include <array>
#include <cstdint>

// Labels of the special object types, indexed by ObjectType.
extern const std::array<QString, 7> ObjectTypeNames;

// The label of any ObjectType value; "???" outside the table, since the file accepts any number.
QString ObjectTypeName(int32_t ObjectType);
