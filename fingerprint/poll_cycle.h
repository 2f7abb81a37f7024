// The numbers shared by the install and erase polling loops.
#pragma once

#include "fingerprint/fingerprint_operations.h"

namespace poll_cycle {

// Cycles that may pass without a report before a phase times out.
inline constexpr int kIdleBudget = 15;
// Cycles of a phase that does not renumber them on reports.
inline constexpr int kMaxCycles = 60;

// Blinking text colour of cycle `cycle`: white on odd cycles, `evenColour` on even ones.
inline Colour BlinkColour(int cycle, Colour evenColour) {
    return cycle % 2 != 0 ? colours::kWhite : evenColour;
}

// Holds g_busy at 1 while an install or erase waits for the drive and clears it on every
// way out, an exception's included: a flag left set would keep the window from following
// volume arrivals for good.
class BusyWhilePolling {
  public:
    BusyWhilePolling() { g_busy = 1; }
    BusyWhilePolling(const BusyWhilePolling&) = delete;
    BusyWhilePolling& operator=(const BusyWhilePolling&) = delete;
    ~BusyWhilePolling() { g_busy = 0; }
};

} // namespace poll_cycle
