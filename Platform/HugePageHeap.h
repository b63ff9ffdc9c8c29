#pragma once
// The heap in transparent huge pages, for a large library. Measured at 200,000 selections, the
// quit is about three times quicker (the system takes back a few hundred large pages instead of
// some hundred thousand small ones), while the window shows about a tenth later and the process
// holds a few percent more memory. The C library takes this setting only from the environment
// when a process starts, so the process starts itself once more with it (a debugger, profiler or
// service manager sees the same process run its program twice). TESSELLON_HUGE_PAGES=0 in the
// environment turns it off.

#include <chrono>

namespace HugePageHeap {

// Call first thing in main, with whether the heap will be large enough for huge pages to pay
// (they leave part of a page unused here and there: a few percent more memory on a small heap).
// Either does not return (this program starts again, with the same arguments and process id),
// or returns when the heap already uses huge pages, need not, must not (turned off) or cannot (no
// glibc, no huge pages on this system, a sanitizer's allocator, a failed restart). The setting is then taken out of
// the environment again, so programs started from here don't inherit it.
void restartWithHugePages(char** argv, bool largeHeap);

// When the first start of this process began (before a restart), on the steady clock.
std::chrono::steady_clock::time_point processStart();

} // namespace HugePageHeap
