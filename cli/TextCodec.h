#pragma once

// Object texts are Windows-1252 bytes; the shell speaks UTF-8.

#include "model/CodePage.h"

#include <optional>
#include <string>
#include <string_view>

// nullopt when Utf8 is not valid UTF-8 or holds a character that Windows-1252 cannot hold.
std::optional<std::string> Utf8To1252(std::string_view Utf8);

// Appends Bytes, read as Windows-1252, as a JSON string in quotes.
void AppendJsonString(std::string& Out, std::string_view Bytes);
