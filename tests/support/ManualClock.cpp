#include "support/ManualClock.h"

std::uint64_t ManualClock::addListener(std::function<void()> listener)
{
    std::lock_guard lock(m_listenersMutex);
    const std::uint64_t token = m_nextToken++;
    m_listeners.emplace(token, std::move(listener));
    return token;
}

void ManualClock::removeListener(std::uint64_t token)
{
    std::lock_guard lock(m_listenersMutex);
    m_listeners.erase(token);
}

void ManualClock::advance(Duration step)
{
    std::lock_guard lock(m_listenersMutex);
    if (step > Duration::zero())
        m_now.fetch_add(step.count());
    for (const auto& [token, listener] : m_listeners)
        listener();
}
