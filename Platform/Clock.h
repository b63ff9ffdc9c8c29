#pragma once
// Time as waiting code sees it: a monotonic reading and a way to pause.
// Tests substitute a stepping clock so waits cost nothing.

#include <chrono>

class Clock
{
public:
    using Duration = std::chrono::nanoseconds;
    using TimePoint = std::chrono::time_point<std::chrono::steady_clock, Duration>;

    virtual ~Clock() = default;
    virtual TimePoint now() = 0;
    virtual void sleep(Duration duration) = 0;
};

// The steady clock and a real thread sleep.
class SystemClock final : public Clock
{
public:
    TimePoint now() override;
    void sleep(Duration duration) override;
};
