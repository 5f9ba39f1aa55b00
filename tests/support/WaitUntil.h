#pragma once
// Polls fnDone until it holds or timeout has passed; whether it held. For
// state another process or thread changes: nothing here runs an event loop.
#include <chrono>
#include <thread>

template <class F>
bool WaitUntil(F fnDone, std::chrono::milliseconds timeout,
               std::chrono::milliseconds step = std::chrono::milliseconds(20)) {
    const auto tEnd = std::chrono::steady_clock::now() + timeout;
    while (!fnDone()) {
        if (std::chrono::steady_clock::now() > tEnd) return false;
        std::this_thread::sleep_for(step);
    }
    return true;
}
