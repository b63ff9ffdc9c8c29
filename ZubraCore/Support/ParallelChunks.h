#pragma once
// Splits a range of work into contiguous chunks run on several threads, for the large arrays of
// the library document. The first chunk runs on the calling thread. No thread is left running
// when a chunk throws: the throw reaches the caller after every chunk has ended.

#include <QtGlobal>
#include <algorithm>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace ParallelChunks {

// The number of chunks for `count` items of at least `minChunk` each, bounded by the cores
// (less the ones left for other work, such as the GUI thread's).
inline int chunkCount(qsizetype count, qsizetype minChunk, int coresLeft = 0)
{
    const int cores = std::max(1, int(std::thread::hardware_concurrency()) - coresLeft);
    return int(std::clamp<qsizetype>(count / std::max<qsizetype>(minChunk, 1), 1, qsizetype(std::min(cores, 8))));
}

// Runs work() and keeps what it throws, the first throw only.
class FirstFailure
{
public:
    template <typename Work> void run(Work&& work) noexcept
    {
        try {
            work();
        } catch (...) {
            const std::lock_guard lock(m_mutex);
            if (!m_failure)
                m_failure = std::current_exception();
        }
    }
    // Throws what was kept, if anything.
    void rethrow() const
    {
        if (m_failure)
            std::rethrow_exception(m_failure);
    }

private:
    std::mutex m_mutex;
    std::exception_ptr m_failure;
};

// Calls work(chunk, begin, end) for `chunks` contiguous parts of [0, count), in parallel, and
// returns when all are done. What a chunk throws (std::bad_alloc on a large library) is thrown
// here once every chunk has ended, on whichever thread it ran.
template <typename Work> void run(qsizetype count, int chunks, Work&& work)
{
    const auto bounds = [count, chunks](int chunk) { return count * chunk / chunks; };
    FirstFailure failure;
    const auto runChunk = [&](int chunk) {
        failure.run([&work, &bounds, chunk] { work(chunk, bounds(chunk), bounds(chunk + 1)); });
    };
    std::vector<std::thread> threads;
    int chunk = 1;
    try {
        threads.reserve(size_t(std::max(chunks - 1, 0)));
        for (; chunk < chunks; ++chunk)
            threads.emplace_back([&runChunk, chunk] { runChunk(chunk); });
    } catch (const std::system_error&) {
        // No thread to be had: the calling thread does the rest.
    } catch (const std::bad_alloc&) {
    }
    for (int rest = chunk; rest < chunks; ++rest)
        runChunk(rest);
    runChunk(0);
    for (std::thread& thread : threads)
        thread.join();
    failure.rethrow();
}

// Runs `other` on a thread of its own (here, after `here`, when no thread is to be had) while
// the calling thread runs `here`; returns when both are done. What either throws is thrown here
// once both have ended.
template <typename Other, typename Here> void together(Other&& other, Here&& here)
{
    FirstFailure failure;
    std::thread thread;
    try {
        thread = std::thread([&failure, &other] { failure.run(other); });
    } catch (const std::system_error&) {
    } catch (const std::bad_alloc&) {
    }
    failure.run(here);
    if (thread.joinable())
        thread.join();
    else
        failure.run(other);
    failure.rethrow();
}

} // namespace ParallelChunks
