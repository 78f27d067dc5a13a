#include "ui/ObjectTypeNames.h"

#include "ops/ObjectTypeLabels.h"
#include "ui/TextCodec.h"

const std::array<QString, 7> ObjectTypeNames = [] {
    std::array<QString, 7> names;
    for (std::size_t Type = 0; Type < names.size(); ++Type)
        names[Type] = ToQString(ObjectTypeLabels[Type]);
    return names;
}();

QString ObjectTypeName(int32_t ObjectType) {
    // Index 0 has no label of its own either.
    if (ObjectType < 0 || ObjectType >= static_cast<int32_t>(ObjectTypeNames.size()))
        return ObjectTypeNames[0];
    return ObjectTypeNames[static_cast<std::size_t>(ObjectType)];
}
