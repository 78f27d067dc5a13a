#include "ops/PhysicalMemory.h"

#include <limits>

#include <unistd.h>

std::size_t PhysicalMemoryBytes() {
    const long Pages = sysconf(_SC_PHYS_PAGES);
    const long PageSize = sysconf(_SC_PAGESIZE);
    if (Pages <= 0 || PageSize <= 0)
        return 0;
    const auto Count = static_cast<unsigned long long>(Pages);
    const auto Size = static_cast<unsigned long long>(PageSize);
    // A 32-bit build on a machine with more memory than it can count takes what it can count.
    if (Count > std::numeric_limits<std::size_t>::max() / Size)
        return std::numeric_limits<std::size_t>::max();
    return static_cast<std::size_t>(Count * Size);
}
