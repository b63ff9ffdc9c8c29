#pragma once
// Splits a range of work into contiguous chunks run on several threads, for the large arrays of
// the library document. The first chunk runs on the calling thread.

#include <QtGlobal>
#include <algorithm>
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

// Calls work(chunk, begin, end) for `chunks` contiguous parts of [0, count), in parallel, and
// returns when all are done.
template <typename Work> void run(qsizetype count, int chunks, Work&& work)
{
    const auto bounds = [count, chunks](int chunk) { return count * chunk / chunks; };
    std::vector<std::thread> threads;
    threads.reserve(size_t(chunks - 1));
    int chunk = 1;
    try {
        for (; chunk < chunks; ++chunk)
            threads.emplace_back([&work, chunk, &bounds] { work(chunk, bounds(chunk), bounds(chunk + 1)); });
    } catch (const std::system_error&) {
        // No thread to be had: the calling thread does the rest.
    }
    for (int rest = chunk; rest < chunks; ++rest)
        work(rest, bounds(rest), bounds(rest + 1));
    work(0, bounds(0), bounds(1));
    for (std::thread& thread : threads)
        thread.join();
}

// Runs `other` on a thread of its own (here, after `here`, when no thread is to be had) while
// the calling thread runs `here`; returns when both are done.
template <typename Other, typename Here> void together(Other&& other, Here&& here)
{
    std::thread thread;
    try {
        thread = std::thread([&other] { other(); });
    } catch (const std::system_error&) {
    }
    here();
    if (thread.joinable())
        thread.join();
    else
        other();
}

} // namespace ParallelChunks
