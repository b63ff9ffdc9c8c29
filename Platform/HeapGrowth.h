#pragma once
// While one lives, the C library's heaps grow in large steps. Threads that allocate many small
// blocks at once (the library's decoding) then seldom take the kernel's memory-map lock to grow
// their heaps, and seldom wait on one another for it. When the last one ends, heaps grow as
// before, and what they hold free above their top goes back to the system as it did.

#include <cstddef>

class LargeHeapSteps
{
public:
    static constexpr std::size_t step = std::size_t(64) << 20;

    LargeHeapSteps();
    ~LargeHeapSteps();
    LargeHeapSteps(const LargeHeapSteps&) = delete;
    LargeHeapSteps& operator=(const LargeHeapSteps&) = delete;
};
