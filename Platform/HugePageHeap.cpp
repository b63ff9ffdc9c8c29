#include "Platform/HugePageHeap.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* tunables = "GLIBC_TUNABLES";
constexpr const char* hugePages = "glibc.malloc.hugetlb=1";
// Set for the restarted process: the first start's time (steady clock, in nanoseconds), and the
// tunables as they were before (absent when there were none).
constexpr const char* startedAt = "TESSELLON_STARTED_AT";
constexpr const char* tunablesBefore = "TESSELLON_GLIBC_TUNABLES";
// "0" turns the restart off.
constexpr const char* switchName = "TESSELLON_HUGE_PAGES";

// The setting is glibc's; a sanitizer's allocator takes none.
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
constexpr bool restartable = true;
#else
constexpr bool restartable = false;
#endif

std::chrono::steady_clock::time_point firstStart = std::chrono::steady_clock::now();

// Transparent huge pages the process may ask for: "always" or "madvise", not "never".
bool hugePagesAvailable()
{
    std::ifstream setting("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string line;
    return std::getline(setting, line) && line.find("[never]") == std::string::npos
        && line.find('[') != std::string::npos;
}

void takeOutOfEnvironment()
{
    if (const char* before = std::getenv(tunablesBefore)) {
        ::setenv(tunables, before, 1);
        ::unsetenv(tunablesBefore);
    } else {
        ::unsetenv(tunables);
    }
    ::unsetenv(startedAt);
}

} // namespace

namespace HugePageHeap {

void restartWithHugePages(char** argv, bool largeHeap)
{
    if (!restartable)
        return;
    if (const char* started = std::getenv(startedAt)) {
        char* end = nullptr;
        const long long nanoseconds = std::strtoll(started, &end, 10);
        if (end != started && *end == '\0')
            firstStart = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(nanoseconds));
        takeOutOfEnvironment();
        return;
    }
    const char* current = std::getenv(tunables);
    const char* wantedSwitch = std::getenv(switchName);
    if (!largeHeap || (wantedSwitch && std::strcmp(wantedSwitch, "0") == 0)
        || (current && std::strstr(current, hugePages)) || !hugePagesAvailable())
        return;
    if (current)
        ::setenv(tunablesBefore, current, 1);
    const std::string wanted = current && *current ? std::string(current) + ':' + hugePages : hugePages;
    ::setenv(tunables, wanted.c_str(), 1);
    ::setenv(startedAt, std::to_string(std::chrono::duration_cast<std::chrono::nanoseconds>(firstStart.time_since_epoch()).count()).c_str(), 1);
    // By its own path, not /proc/self/exe: the process keeps its name.
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length > 0) {
        path[length] = '\0';
        ::execv(path, argv);
    }
    // Not restarted: go on as things are.
    takeOutOfEnvironment();
}

std::chrono::steady_clock::time_point processStart()
{
    return firstStart;
}

} // namespace HugePageHeap
