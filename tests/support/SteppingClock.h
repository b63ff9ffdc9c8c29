#pragma once
// A clock that moves only when someone sleeps on it; each sleep is recorded and may trigger
// a test's action at a given time.

#include "Platform/Clock.h"

#include <QList>
#include <functional>

class SteppingClock final : public Clock
{
public:
    double now() override { return m_now; }
    void sleep(double seconds) override;
    void advance(double seconds) { m_now += seconds; }

    // Runs `action` once, at the first sleep that reaches time `at`.
    void at(double at, std::function<void()> action);

    QList<double> sleeps;

private:
    struct Pending
    {
        double at;
        std::function<void()> action;
    };
    double m_now = 1000.0;
    QList<Pending> m_pending;
};
