#pragma once

// Objects as rows of a spreadsheet: RFC 4180 CSV in UTF-8, one row per object, every field in a
// column of its own, texts with their line breaks inside quotes.

#include "model/Propdmp.h"

#include <cstdint>
#include <string>
#include <string_view>

// The header row, with its line end.
std::string_view CsvHeader();

// The row of Object, with its line end; Index is its 0-based place in the document.
void AppendCsvRow(std::string& Out, uint64_t Index, const TPropObject& Object);
