#pragma once
// A GUI-thread queue whose time moves only when the test says so: advance() runs every item
// that falls due on the way, in order, including items those items schedule.

#include "Platform/MainQueue.h"

#include <vector>

class ManualMainQueue final : public MainQueue
{
public:
    Duration now() const override { return m_now; }
    void asyncAfter(Duration delay, std::shared_ptr<DispatchWorkItem> item) override;

    void advance(Duration step);
    // Items not yet run and not cancelled.
    int pending() const;

private:
    struct Entry
    {
        Duration due;
        std::uint64_t sequence;
        std::shared_ptr<DispatchWorkItem> item;
    };
    Duration m_now {0};
    std::uint64_t m_sequence = 0;
    std::vector<Entry> m_entries;
};
