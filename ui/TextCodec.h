#pragma once

// Object texts are Windows-1252 bytes; the widgets speak QString.

#include <QString>

#include <optional>
#include <string>
#include <string_view>

QString ToQString(std::string_view Bytes);
// nullopt when Text holds a character that Windows-1252 cannot hold.
std::optional<std::string> ToBytes(const QString& Text);
