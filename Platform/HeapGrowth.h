#pragma once
// The C library's heap settings. glibc keeps them for the whole process, and setting any one of
// them turns its adaptive thresholds off for good, so they are decided together here and hold
// from the first LargeHeapSteps (the library's load at launch) to the end of the run:
//   - blocks of `mmapThreshold` or more are mapped on their own (unless a heap's free top holds
//     them already), smaller ones always come from the heaps: a string or list of a few megabytes
//     is not mapped and unmapped each time it is made, while the library's large lists grow in
//     place (remapped, not copied) and go back to the system at once when freed;
//   - a heap gives back its free top once that passes `trimThreshold` (glibc's adaptive rule:
//     twice the mapping threshold).
// While a LargeHeapSteps lives, heaps also grow in steps of `step`: threads that allocate many
// small blocks at once (the library's decoding) then seldom take the kernel's memory-map lock to
// grow their heaps, and seldom wait on one another for it. When the last one ends, heaps grow by
// glibc's usual step (`usualStep`) again.

#include <cstddef>

class LargeHeapSteps
{
public:
    static constexpr std::size_t step = std::size_t(64) << 20;
    static constexpr std::size_t usualStep = std::size_t(128) << 10; // glibc's M_TOP_PAD default
    static constexpr std::size_t mmapThreshold = std::size_t(4) << 20;
    static constexpr std::size_t trimThreshold = 2 * mmapThreshold;

    LargeHeapSteps();
    ~LargeHeapSteps();
    LargeHeapSteps(const LargeHeapSteps&) = delete;
    LargeHeapSteps& operator=(const LargeHeapSteps&) = delete;
};
