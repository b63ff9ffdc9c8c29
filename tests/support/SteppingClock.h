#pragma once
// A clock that moves only when someone sleeps on it; each sleep is recorded and may trigger
// a test's action at a given time.

#include "Platform/Clock.h"

#include <QList>
#include <functional>

class SteppingClock final : public Clock
{
public:
    TimePoint now() override { return m_now; }
    void sleep(Duration duration) override;
    void advance(Duration duration) { m_now += duration; }

    // Runs `action` once, at the first sleep that reaches time `at`.
    void at(TimePoint at, std::function<void()> action);

    QList<Duration> sleeps;

private:
    struct Pending
    {
        TimePoint at;
        std::function<void()> action;
    };
    TimePoint m_now {std::chrono::seconds(1000)};
    QList<Pending> m_pending;
};
