#pragma once

// Threads for the document's reader and writer.

#include <system_error>
#include <thread>
#include <utility>

// A thread that runs f, or none (not joinable) when the system has none to give.
template <class F> std::jthread TryToStartThread(F&& f) {
    try {
        return std::jthread(std::forward<F>(f));
    } catch (const std::system_error&) {
        return {};
    }
}
