#pragma once
// Destroys large data on a short-lived thread of its own: handing hundreds of megabytes back to
// the system takes a while that launching or quitting need not wait for.

#include <system_error>
#include <thread>
#include <utility>

template <typename T> void discardInBackground(T&& value)
{
    auto discard = [held = std::forward<T>(value)]() mutable { [[maybe_unused]] auto gone = std::move(held); };
    try {
        std::thread(std::move(discard)).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the lambda, destroyed here, frees everything now.
    }
}
