#include "ui/ObjectTypeNames.h"

const std::array<QString, 7> ObjectTypeNames{
    QStringLiteral("???"),
    QStringLiteral(u"\u00AB Unknown Object Type \u00BB"),
    QStringLiteral(u"\u00AB Zone \u00BB"),
    QStringLiteral(u"\u00AB Particle Emitter \u00BB"),
    QStringLiteral(u"\u00AB Mover \u00BB"),
    QStringLiteral(u"\u00AB Camera \u00BB"),
    QStringLiteral("???"),
};

QString ObjectTypeName(int32_t ObjectType) {
    if (ObjectType < 0 || ObjectType >= static_cast<int32_t>(ObjectTypeNames.size()))
        return QStringLiteral("???");
    return ObjectTypeNames[static_cast<std::size_t>(ObjectType)];
}
