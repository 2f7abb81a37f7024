// How a transfer of the transport seam crosses the bus, the same on every backend: a
// transfer without data is a write, a 1-byte transfer travels as 2 bytes, and the bytes
// are staged in a zeroed area so a failed read leaves the caller's buffer untouched.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

#include "device/scsi_types.h"

// The direction a transfer really takes: with no data there is nothing to read.
constexpr ScsiDirection EffectiveDirection(std::uint32_t length, ScsiDirection direction) {
    return length == 0 ? ScsiDirection::Write : direction;
}

// The number of bytes carried: the caller's length, except that 1 byte is carried as 2.
constexpr std::uint32_t CarriedLength(std::uint32_t length) {
    return length == 1 ? 2 : length;
}

// Zeroes `area` and, for a write, copies the caller's `length` bytes to its start.
inline void StageTransfer(std::span<std::uint8_t> area, const std::uint8_t* data,
                          std::uint32_t length, ScsiDirection direction) {
    std::fill(area.begin(), area.end(), std::uint8_t{0});
    if (EffectiveDirection(length, direction) == ScsiDirection::Write && length > 0) {
        std::copy_n(data, std::min<std::size_t>(length, area.size()), area.begin());
    }
}

// After a successful command: a read hands the caller's `length` bytes (not the carried
// length) back from `area`.
inline void CopyBackTransfer(std::span<const std::uint8_t> area, std::uint8_t* data,
                             std::uint32_t length, ScsiDirection direction) {
    if (EffectiveDirection(length, direction) == ScsiDirection::Read) {
        std::copy_n(area.begin(), std::min<std::size_t>(length, area.size()), data);
    }
}
