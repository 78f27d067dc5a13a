#include "ui/TextCodec.h"

#include "model/CodePage.h"

QString ToQString(std::string_view Bytes) {
    const std::u16string text = Decode1252(Bytes);
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

std::optional<std::string> ToBytes(const QString& Text) {
    return Encode1252(std::u16string_view(reinterpret_cast<const char16_t*>(Text.utf16()),
                                          static_cast<std::size_t>(Text.size())));
}
