#include "device/clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

constexpr std::uint32_t kHourMs = 3600 * 1000;

// A wait of an hour that ends only because the flag is raised: before it begins, and
// while it runs. A clock that ignored the flag would hang the test.
TEST(SystemClock, TheStopFlagEndsAWait) {
    std::atomic<bool> stop{true};
    SystemClock clock(&stop);
    clock.Sleep(kHourMs);

    stop.store(false);
    std::thread ctrlC([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        stop.store(true);
    });
    clock.Sleep(kHourMs);
    ctrlC.join();
}

TEST(SystemClock, WaitsTheWholeTimeWhileTheFlagStaysDown) {
    std::atomic<bool> stop{false};
    SystemClock clock(&stop);
    const auto start = std::chrono::steady_clock::now();
    clock.Sleep(3 * SystemClock::kStopCheckMs + 7);
    EXPECT_GE(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(3 * SystemClock::kStopCheckMs + 7));
}

} // namespace
