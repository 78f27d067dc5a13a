#include "tests/support/FailingNew.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> Countdown{0};
std::atomic<bool> Failed{false};

thread_local int Spared = 0;

bool FailsNow() {
    if (Spared > 0)
        return false;
    std::size_t Left = Countdown.load(std::memory_order_relaxed);
    while (Left > 0)
        if (Countdown.compare_exchange_weak(Left, Left - 1)) {
            if (Left != 1)
                return false;
            Failed = true;
            return true;
        }
    return false;
}

// The over-aligned forms are left to the runtime, which pairs them with its own deletes.
void* Allocate(std::size_t Size) {
    return FailsNow() ? nullptr : std::malloc(Size == 0 ? 1 : Size);
}

void* AllocateOrThrow(std::size_t Size) {
    void* P = Allocate(Size);
    if (!P)
        throw std::bad_alloc();
    return P;
}

} // namespace

void FailAllocation(std::size_t Nth) {
    if (Nth > 0)
        Failed = false;
    Countdown = Nth;
}

bool AllocationFailed() {
    Countdown = 0;
    return Failed.exchange(false);
}

TAllocationsSpared::TAllocationsSpared() {
    ++Spared;
}

TAllocationsSpared::~TAllocationsSpared() {
    --Spared;
}

void* operator new(std::size_t Size) { return AllocateOrThrow(Size); }
void* operator new[](std::size_t Size) { return AllocateOrThrow(Size); }
void* operator new(std::size_t Size, const std::nothrow_t&) noexcept { return Allocate(Size); }
void* operator new[](std::size_t Size, const std::nothrow_t&) noexcept { return Allocate(Size); }
void operator delete(void* P) noexcept { std::free(P); }
void operator delete[](void* P) noexcept { std::free(P); }
void operator delete(void* P, std::size_t) noexcept { std::free(P); }
void operator delete[](void* P, std::size_t) noexcept { std::free(P); }
