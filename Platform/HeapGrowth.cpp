#include "Platform/HeapGrowth.h"

#if defined(__GLIBC__)
#include <malloc.h>
#include <mutex>

namespace {

std::mutex lock;
int holders = 0;
bool thresholdsSet = false;

} // namespace
#endif

LargeHeapSteps::LargeHeapSteps()
{
#if defined(__GLIBC__)
    const std::lock_guard guard(lock);
    if (!thresholdsSet) {
        ::mallopt(M_MMAP_THRESHOLD, int(mmapThreshold));
        ::mallopt(M_TRIM_THRESHOLD, int(trimThreshold));
        thresholdsSet = true;
    }
    if (holders++ == 0)
        ::mallopt(M_TOP_PAD, int(step));
#endif
}

LargeHeapSteps::~LargeHeapSteps()
{
#if defined(__GLIBC__)
    const std::lock_guard guard(lock);
    if (--holders == 0)
        ::mallopt(M_TOP_PAD, int(usualStep));
#endif
}
