#include "ZubraCore/Library/EndOfRun.h"

#include "ZubraCore/Library/Store.h"
#include "ZubraCore/Support/Logging.h"

#include <algorithm>
#include <mutex>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

// The log's last lines get what the save left of the bound, and this at least.
constexpr std::chrono::milliseconds logShare {100};

// Keeps the two ends from using the store at once, and either from using it once the run is over.
std::timed_mutex runMutex;
Store* storeOfTheRun = nullptr;

std::chrono::milliseconds left(Clock::time_point deadline)
{
    return std::max(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()),
        std::chrono::milliseconds::zero());
}

void flushLog(Clock::time_point deadline)
{
    FileLogger::flush(std::max(left(deadline), logShare));
}

// Writes what is pending from the thread the process ends on; safe off the store's thread.
bool writeLastChanges(Store& store, Clock::time_point deadline)
{
    const bool saved = store.saveForEnd(deadline);
    if (!saved)
        logMP(QStringLiteral("The library's last save did not finish before the end"));
    flushLog(deadline);
    return saved;
}

} // namespace

namespace EndOfRun {

void begin(Store& store)
{
    const std::lock_guard lock(runMutex);
    storeOfTheRun = &store;
}

void finish()
{
    const std::lock_guard lock(runMutex);
    storeOfTheRun = nullptr;
}

bool saveOnExit()
{
    const Clock::time_point deadline = Clock::now() + bound;
    const std::unique_lock lock(runMutex, deadline);
    if (!lock.owns_lock())
        return false; // a second signal is writing the save and ends the process
    Store* store = std::exchange(storeOfTheRun, nullptr);
    if (!store)
        return true;
    logMP(QStringLiteral("Tessellon is ending without Quit (was the display connection lost?)"));
    return writeLastChanges(*store, deadline);
}

void saveBeforeForcedEnd()
{
    const Clock::time_point deadline = Clock::now() + bound;
    logMP(QStringLiteral("A second termination signal: Tessellon ends at once"));
    // An exit that holds the store is writing the same save: it is not waited for past the bound.
    const std::unique_lock lock(runMutex, deadline);
    if (Store* store = lock.owns_lock() ? std::exchange(storeOfTheRun, nullptr) : nullptr)
        writeLastChanges(*store, deadline);
    else
        flushLog(deadline);
}

} // namespace EndOfRun
