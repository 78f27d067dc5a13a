#include "tests/support/FailingNew.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> Countdown{0};
std::atomic<bool> Failed{false};

bool FailsNow() {
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

void* Allocate(std::size_t Size, std::size_t Alignment) {
    if (FailsNow())
        return nullptr;
    if (Size == 0)
        Size = 1;
    if (Alignment <= alignof(std::max_align_t))
        return std::malloc(Size);
    return std::aligned_alloc(Alignment, (Size + Alignment - 1) / Alignment * Alignment);
}

void* AllocateOrThrow(std::size_t Size, std::size_t Alignment = 0) {
    void* P = Allocate(Size, Alignment);
    if (!P)
        throw std::bad_alloc();
    return P;
}

} // namespace

void FailAllocation(std::size_t Nth) {
    Failed = false;
    Countdown = Nth;
}

bool AllocationFailed() {
    Countdown = 0;
    return Failed.exchange(false);
}

void* operator new(std::size_t Size) { return AllocateOrThrow(Size); }
void* operator new[](std::size_t Size) { return AllocateOrThrow(Size); }
void* operator new(std::size_t Size, std::align_val_t A) {
    return AllocateOrThrow(Size, static_cast<std::size_t>(A));
}
void* operator new[](std::size_t Size, std::align_val_t A) {
    return AllocateOrThrow(Size, static_cast<std::size_t>(A));
}
void* operator new(std::size_t Size, const std::nothrow_t&) noexcept { return Allocate(Size, 0); }
void* operator new[](std::size_t Size, const std::nothrow_t&) noexcept { return Allocate(Size, 0); }
void operator delete(void* P) noexcept { std::free(P); }
void operator delete[](void* P) noexcept { std::free(P); }
void operator delete(void* P, std::size_t) noexcept { std::free(P); }
void operator delete[](void* P, std::size_t) noexcept { std::free(P); }
void operator delete(void* P, std::align_val_t) noexcept { std::free(P); }
void operator delete[](void* P, std::align_val_t) noexcept { std::free(P); }
void operator delete(void* P, std::size_t, std::align_val_t) noexcept { std::free(P); }
void operator delete[](void* P, std::size_t, std::align_val_t) noexcept { std::free(P); }
