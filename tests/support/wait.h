// Waiting, without an event loop, for what another thread does.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace vellora_test {

// Polls `condition` until it holds or `timeout` passes; false on the timeout.
inline bool WaitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace vellora_test
