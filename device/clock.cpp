#include "device/clock.h"

#include <algorithm>
#include <chrono>
#include <thread>

void SystemClock::Sleep(std::uint32_t milliseconds) {
    if (m_stop == nullptr) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        return;
    }
    // Against a deadline, so the slices add up to the whole wait.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!m_stop->load()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            deadline - now, std::chrono::milliseconds(kStopCheckMs)));
    }
}
