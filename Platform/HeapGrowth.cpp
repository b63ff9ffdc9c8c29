#include "Platform/HeapGrowth.h"

#include <mutex>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

// The C library's own step above what a heap needs when it grows (its M_TOP_PAD default).
constexpr std::size_t usualStep = std::size_t(128) << 10;

std::mutex lock;
int holders = 0;

void setStep([[maybe_unused]] std::size_t bytes)
{
#if defined(__GLIBC__)
    ::mallopt(M_TOP_PAD, int(bytes));
#endif
}

} // namespace

LargeHeapSteps::LargeHeapSteps()
{
    const std::lock_guard guard(lock);
    if (holders++ == 0)
        setStep(step);
}

LargeHeapSteps::~LargeHeapSteps()
{
    const std::lock_guard guard(lock);
    if (--holders == 0)
        setStep(usualStep);
}
