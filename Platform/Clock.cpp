#include "Platform/Clock.h"

#include <thread>

Clock::TimePoint SystemClock::now()
{
    return std::chrono::time_point_cast<Duration>(std::chrono::steady_clock::now());
}

void SystemClock::sleep(Duration duration)
{
    if (duration > Duration::zero())
        std::this_thread::sleep_for(duration);
}
