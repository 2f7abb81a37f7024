// Sense data as a device returns it with CHECK CONDITION (fixed or descriptor format),
// reduced to what a diagnostic needs: the sense key and the additional sense code and
// qualifier. Read from untrusted bytes: every access is bounds-checked.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

struct SenseSummary {
    std::uint8_t key = 0;  // 0..15
    std::uint8_t asc = 0;  // additional sense code
    std::uint8_t ascq = 0; // its qualifier
};

// The summary of `sense` (the bytes the device wrote), or nothing when they hold no
// current or deferred sense of either format.
std::optional<SenseSummary> ParseSense(std::span<const std::uint8_t> sense);

// "NOT READY, medium not present (sense 2/3A/00)"; codes without a name show as numbers.
std::string DescribeSense(const SenseSummary& sense);
