#pragma once

// A replacement operator new for test programs that fails one chosen allocation, for every
// thread: the Nth allocation after FailAllocation(N) throws std::bad_alloc (the nothrow forms
// return null), once. Until then, and afterwards, allocation works as usual.

#include <cstddef>

void FailAllocation(std::size_t Nth);
// No allocation fails from here on; AllocationFailed still tells whether one did.
inline void StopFailing() { FailAllocation(0); }
// Whether the chosen allocation came and failed since the last FailAllocation; disarms.
bool AllocationFailed();

// While one lives, allocations on its thread neither fail nor count towards the Nth: for code
// that is not built to survive a failed allocation, such as Qt's event handling.
class TAllocationsSpared {
public:
    TAllocationsSpared();
    ~TAllocationsSpared();
    TAllocationsSpared(const TAllocationsSpared&) = delete;
    TAllocationsSpared& operator=(const TAllocationsSpared&) = delete;
};
