#include "ops/ObjectTypeLabels.h"

// 0xAB and 0xBB are the angle quotes of Windows-1252.
const std::array<std::string_view, 7> ObjectTypeLabels{
    "???",
    "\xAB Unknown Object Type \xBB",
    "\xAB Zone \xBB",
    "\xAB Particle Emitter \xBB",
    "\xAB Mover \xBB",
    "\xAB Camera \xBB",
    "???",
};

std::string_view ObjectTypeLabel(int32_t ObjectType) {
    if (ObjectType < 0 || ObjectType >= static_cast<int32_t>(ObjectTypeLabels.size()))
        return "???";
    return ObjectTypeLabels[static_cast<std::size_t>(ObjectType)];
}

std::string_view ObjectTypeShortName(int32_t ObjectType) {
    static constexpr std::string_view Names[] = {"unknown", "zone", "emitter", "mover", "camera"};
    if (ObjectType < 1 || ObjectType > 5)
        return {};
    return Names[ObjectType - 1];
}
