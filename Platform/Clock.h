#pragma once
// Time as waiting code sees it: a monotonic reading in seconds and a way to pause.
// Tests substitute a manual clock so waits cost nothing.

class Clock
{
public:
    virtual ~Clock() = default;
    virtual double now() = 0;
    virtual void sleep(double seconds) = 0;
};

// The steady clock and a real thread sleep.
class SystemClock final : public Clock
{
public:
    double now() override;
    void sleep(double seconds) override;
};
