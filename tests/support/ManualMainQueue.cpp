#include "support/ManualMainQueue.h"

#include <algorithm>

void ManualMainQueue::asyncAfter(Duration delay, std::shared_ptr<DispatchWorkItem> item)
{
    m_entries.push_back({m_now + std::max(delay, Duration::zero()), m_sequence++, std::move(item)});
}

void ManualMainQueue::advance(Duration step)
{
    const Duration end = m_now + std::max(step, Duration::zero());
    for (;;) {
        auto next = std::min_element(m_entries.begin(), m_entries.end(),
            [](const Entry& a, const Entry& b) { return std::tie(a.due, a.sequence) < std::tie(b.due, b.sequence); });
        if (next == m_entries.end() || next->due > end)
            break;
        const Entry entry = *next;
        m_entries.erase(next);
        m_now = std::max(m_now, entry.due);
        entry.item->perform();
    }
    m_now = end;
}

int ManualMainQueue::pending() const
{
    return int(std::count_if(
        m_entries.begin(), m_entries.end(), [](const Entry& e) { return !e.item->isCancelled(); }));
}
