#include "support/SteppingClock.h"

void SteppingClock::sleep(Duration duration)
{
    sleeps.append(duration);
    m_now += duration;
    for (qsizetype i = 0; i < m_pending.size();) {
        if (m_pending[i].at <= m_now) {
            auto action = std::move(m_pending[i].action);
            m_pending.removeAt(i);
            action();
        } else {
            ++i;
        }
    }
}

void SteppingClock::at(TimePoint at, std::function<void()> action)
{
    m_pending.append({at, std::move(action)});
}
