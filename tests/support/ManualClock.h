#pragma once
// A dispatch clock that moves only when told to: tests run delayed work without sleeping.

#include "Platform/DispatchQueue.h"

#include <atomic>
#include <map>
#include <mutex>

class ManualClock final : public DispatchClock
{
public:
    Duration now() const override { return Duration(m_now.load()); }
    bool runsByItself() const override { return false; }
    std::uint64_t addListener(std::function<void()> listener) override;
    // Once this returns, the listener is not running and is never called again.
    void removeListener(std::uint64_t token) override;

    // Moves time forward and wakes the queues that listen; a negative step is ignored.
    void advance(Duration step);

private:
    std::atomic<Duration::rep> m_now {0};
    std::mutex m_listenersMutex; // held while listeners run
    std::map<std::uint64_t, std::function<void()>> m_listeners;
    std::uint64_t m_nextToken = 1;
};
