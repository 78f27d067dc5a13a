#pragma once

// One row of the search results as the results list shows it. The window and the command-line
// tool list the same texts.

#include "model/Propdmp.h"

#include <cstdint>
#include <string>

struct TSearchResultRow {
    int64_t Position = 0; // 1-based position of the object in the document: the "#" column
    // Windows-1252 bytes of the "Cit#", "Date/Time", "Location" and "Model" columns.
    std::string Owner;
    std::string DateTime;
    std::string Location;
    std::string Model;
};

// Index is the object's 0-based position in the document.
TSearchResultRow SearchResultRow(int64_t Index, const TPropObject& Object);

// The "Model" column: the model name of a plain object (type 0 or 1), the label of a zone,
// emitter, mover or camera, nothing for any other type.
std::string SearchResultModel(const TPropObject& Object);
