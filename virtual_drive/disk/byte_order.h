// Big-endian fields of CDBs and SCSI data, read and written at fixed offsets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vdrive::scsi {

inline std::uint64_t GetBe(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value = (value << 8) | bytes[at + i];
    }
    return value;
}

inline void PutBe(std::span<std::uint8_t> bytes, std::size_t at, std::size_t width,
                  std::uint64_t value) {
    for (std::size_t i = width; i-- > 0;) {
        bytes[at + i] = static_cast<std::uint8_t>(value);
        value >>= 8;
    }
}

} // namespace vdrive::scsi
