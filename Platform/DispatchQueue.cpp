#include "Platform/DispatchQueue.h"

#include "Platform/ThreadName.h"

#include <algorithm>

namespace {

class SystemDispatchClock final : public DispatchClock
{
public:
    Duration now() const override
    {
        return std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now().time_since_epoch());
    }
    bool runsByItself() const override { return true; }
    std::uint64_t addListener(std::function<void()>) override { return 0; }
    void removeListener(std::uint64_t) override { }
};

} // namespace

std::shared_ptr<DispatchClock> DispatchClock::system()
{
    static const std::shared_ptr<DispatchClock> clock = std::make_shared<SystemDispatchClock>();
    return clock;
}

DispatchWorkItem::DispatchWorkItem(std::function<void()> work)
    : m_work(std::move(work))
{
}

bool DispatchWorkItem::cancel()
{
    std::function<void()> released;
    {
        std::lock_guard lock(m_mutex);
        if (m_cancelled)
            return false;
        m_cancelled = true;
        released = std::move(m_work);
        m_work = nullptr;
    }
    // Destroyed outside the lock: the work may hold large values.
    return bool(released);
}

bool DispatchWorkItem::isCancelled() const
{
    std::lock_guard lock(m_mutex);
    return m_cancelled;
}

void DispatchWorkItem::perform()
{
    std::function<void()> work;
    {
        std::lock_guard lock(m_mutex);
        if (m_cancelled || !m_work)
            return;
        work = std::move(m_work);
        m_work = nullptr;
    }
    work();
}

DispatchQueue::DispatchQueue(QString label, std::shared_ptr<DispatchClock> clock)
    : m_label(std::move(label))
    , m_clock(clock ? std::move(clock) : DispatchClock::system())
{
    m_listenerToken = m_clock->addListener([this] {
        std::lock_guard lock(m_mutex);
        m_wake.notify_all();
    });
    m_worker = std::thread([this] {
        ThreadName::setCurrent(ThreadName::fromLabel(m_label));
        run();
    });
}

DispatchQueue::~DispatchQueue()
{
    m_clock->removeListener(m_listenerToken);
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_wake.notify_all();
    }
    m_worker.join();
}

bool DispatchQueue::later(const Entry& a, const Entry& b)
{
    return a.deadline != b.deadline ? a.deadline > b.deadline : a.sequence > b.sequence;
}

void DispatchQueue::enqueue(Duration deadline, std::shared_ptr<DispatchWorkItem> item)
{
    std::lock_guard lock(m_mutex);
    // Drop cancelled items at the front: a debounced caller cancels one item per new one.
    while (!m_heap.empty() && m_heap.front().item->isCancelled()) {
        std::pop_heap(m_heap.begin(), m_heap.end(), later);
        m_heap.pop_back();
    }
    const bool earliest = m_heap.empty() || deadline < m_heap.front().deadline;
    m_heap.push_back(Entry {deadline, m_nextSequence++, std::move(item)});
    std::push_heap(m_heap.begin(), m_heap.end(), later);
    if (earliest)
        m_wake.notify_all();
}

void DispatchQueue::async(std::function<void()> work)
{
    enqueue(m_clock->now(), std::make_shared<DispatchWorkItem>(std::move(work)));
}

void DispatchQueue::asyncAfter(Duration delay, std::shared_ptr<DispatchWorkItem> item)
{
    if (!item)
        return;
    enqueue(m_clock->now() + std::max(delay, Duration::zero()), std::move(item));
}

void DispatchQueue::sync(const std::function<void()>& work)
{
    if (isCurrent()) {
        work();
        return;
    }
    std::mutex doneMutex;
    std::condition_variable doneSignal;
    bool done = false;
    enqueue(m_clock->now(), std::make_shared<DispatchWorkItem>([&] {
        work();
        std::lock_guard lock(doneMutex);
        done = true;
        doneSignal.notify_all();
    }));
    std::unique_lock lock(doneMutex);
    doneSignal.wait(lock, [&] { return done; });
}

bool DispatchQueue::drainNow(Duration bound)
{
    if (isCurrent())
        return false;
    struct Done
    {
        std::mutex mutex;
        std::condition_variable signal;
        bool done = false;
    };
    // Shared: the marker may run after this call has given up waiting.
    const auto done = std::make_shared<Done>();
    {
        std::lock_guard lock(m_mutex);
        const Duration now = m_clock->now();
        for (Entry& entry : m_heap)
            entry.deadline = std::min(entry.deadline, now);
        std::make_heap(m_heap.begin(), m_heap.end(), later);
        m_wake.notify_all();
    }
    // Due now and submitted last: it runs after everything above.
    enqueue(m_clock->now(), std::make_shared<DispatchWorkItem>([done] {
        std::lock_guard lock(done->mutex);
        done->done = true;
        done->signal.notify_all();
    }));
    std::unique_lock lock(done->mutex);
    return done->signal.wait_for(lock, bound, [&] { return done->done; });
}

bool DispatchQueue::isCurrent() const
{
    return std::this_thread::get_id() == m_worker.get_id();
}

void DispatchQueue::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (m_heap.empty()) {
            m_wake.wait(lock);
            continue;
        }
        const Entry& top = m_heap.front();
        if (top.item->isCancelled()) {
            std::pop_heap(m_heap.begin(), m_heap.end(), later);
            m_heap.pop_back();
            continue;
        }
        const Duration now = m_clock->now();
        if (top.deadline > now) {
            if (m_clock->runsByItself())
                m_wake.wait_for(lock, top.deadline - now);
            else
                m_wake.wait(lock);
            continue;
        }
        std::pop_heap(m_heap.begin(), m_heap.end(), later);
        std::shared_ptr<DispatchWorkItem> item = std::move(m_heap.back().item);
        m_heap.pop_back();
        lock.unlock();
        item->perform();
        item.reset();
        lock.lock();
    }
}
