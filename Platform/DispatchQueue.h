#pragma once
// A serial queue on a worker thread of its own: one item at a time, in the order the items fall
// due (ties in the order they were submitted). Delayed items stay cancellable until the worker
// takes them up, also when their time has passed while another item was running.

#include <QString>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The time source of delayed work. The system clock lets a queue sleep until a deadline; a manual
// clock (tests) moves only when told to and wakes the queues that listen to it.
class DispatchClock
{
public:
    using Duration = std::chrono::nanoseconds;

    virtual ~DispatchClock() = default;
    // Time since the clock's own origin.
    virtual Duration now() const = 0;
    // True when time passes by itself, so that a waiter may sleep until a deadline.
    virtual bool runsByItself() const = 0;
    // The listener is called, from the thread that moves the clock, after each move.
    virtual std::uint64_t addListener(std::function<void()> listener) = 0;
    virtual void removeListener(std::uint64_t token) = 0;

    // The monotonic clock of the system, shared.
    static std::shared_ptr<DispatchClock> system();
};

// A unit of work that can be cancelled until it starts. Cancelling releases the work (and what
// it holds) at once; a run that has begun is not interrupted.
class DispatchWorkItem
{
public:
    explicit DispatchWorkItem(std::function<void()> work);

    // True when this call kept the work from ever running.
    bool cancel();
    bool isCancelled() const;
    // Runs the work unless it was cancelled; at most once.
    void perform();

private:
    mutable std::mutex m_mutex;
    std::function<void()> m_work;
    bool m_cancelled = false;
};

class DispatchQueue
{
public:
    using Duration = DispatchClock::Duration;

    explicit DispatchQueue(QString label, std::shared_ptr<DispatchClock> clock = DispatchClock::system());
    // Lets a running item finish; items that have not started are dropped.
    ~DispatchQueue();

    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    const QString& label() const { return m_label; }
    const std::shared_ptr<DispatchClock>& clock() const { return m_clock; }

    void async(std::function<void()> work);
    void asyncAfter(Duration delay, std::shared_ptr<DispatchWorkItem> item);
    // Runs the work on the queue after everything due before it and returns when it is done.
    // Called on the queue's own thread it runs the work at once instead of deadlocking.
    void sync(const std::function<void()>& work);
    // Makes every delayed item due at once and waits, at most `bound`, until everything submitted
    // so far has run or been cancelled; true when it has. For any thread but the worker's (which
    // would wait for itself); the items run on the worker as always, one at a time.
    bool drainNow(Duration bound);
    // True on the queue's worker thread.
    bool isCurrent() const;

private:
    struct Entry
    {
        Duration deadline;
        std::uint64_t sequence;
        std::shared_ptr<DispatchWorkItem> item;
    };
    static bool later(const Entry& a, const Entry& b);

    void enqueue(Duration deadline, std::shared_ptr<DispatchWorkItem> item);
    void run();

    const QString m_label;
    const std::shared_ptr<DispatchClock> m_clock;
    std::uint64_t m_listenerToken = 0;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Entry> m_heap; // a min-heap on (deadline, sequence)
    std::uint64_t m_nextSequence = 0;
    bool m_stopping = false;
    std::thread m_worker;
};
