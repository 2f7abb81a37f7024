// Basic types shared by the transports and the drive models.
#pragma once

#include <array>
#include <cstdint>

inline constexpr std::size_t kCdbLength = 16;
using Cdb = std::array<std::uint8_t, kCdbLength>;

enum class ScsiDirection : std::uint8_t { Write = 0, Read = 1 };

inline constexpr std::uint8_t kScsiStatusGood = 0x00;
inline constexpr std::uint8_t kScsiStatusCheckCondition = 0x02;

// Each command gets this long to complete (seconds).
inline constexpr unsigned kScsiTimeoutSeconds = 4;
