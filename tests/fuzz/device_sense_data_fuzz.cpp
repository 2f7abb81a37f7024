// Sense data as a device or the kernel returns it, fed arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <span>

#include "device/sense_data.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (const auto summary = ParseSense(std::span<const std::uint8_t>(data, size))) {
        if (summary->key > 15 || DescribeSense(*summary).empty()) {
            __builtin_trap();
        }
    }
    return 0;
}
