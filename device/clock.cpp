#include "device/clock.h"

#include <chrono>
#include <thread>

void SystemClock::Sleep(std::uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
