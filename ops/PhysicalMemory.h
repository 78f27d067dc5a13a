#pragma once

// How much memory the machine has, for bounds that must not push it into swapping.

#include <cstddef>

// The machine's physical memory in bytes; 0 when the system does not tell.
std::size_t PhysicalMemoryBytes();
