#pragma once
// Delayed work on the GUI thread, each item cancellable until it runs. The program's queue is
// driven by Qt's timers; tests use a manual queue whose time moves only when told to.

#include "Platform/DispatchQueue.h"

#include <chrono>
#include <memory>

class MainQueue
{
public:
    using Duration = std::chrono::nanoseconds;

    virtual ~MainQueue() = default;
    // Time since the queue's own origin.
    virtual Duration now() const = 0;
    // Runs the item on the GUI thread once the delay has passed, unless it was cancelled.
    virtual void asyncAfter(Duration delay, std::shared_ptr<DispatchWorkItem> item) = 0;

    // The queue of the application's event loop.
    static std::shared_ptr<MainQueue> system();
};
