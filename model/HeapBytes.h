#pragma once

// The bytes a value holds outside its own object, for telling honestly how much memory an undo
// record takes.

#include "model/Propdmp.h"

#include <cstddef>
#include <string>

// None while the text fits in the string object itself.
std::size_t HeapBytesOf(const std::string& Text);
// An object's texts and data.
std::size_t HeapBytesOf(const TPropObject& Object);
// A document's objects, with their room in the list.
std::size_t HeapBytesOf(const TPropdumpFile& Document);
