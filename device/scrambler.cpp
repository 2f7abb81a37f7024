#include "device/scrambler.h"

void ScrambleBlock(std::uint16_t seed, const std::uint8_t* source, std::int32_t length,
                   std::uint8_t* target) {
    // The register holds the seed's low 15 bits in reverse order: bit 14 - k of R is bit k.
    unsigned reg = 0;
    for (unsigned k = 0; k < 15; ++k) {
        if (seed >> k & 1u) {
            reg |= 1u << (14 - k);
        }
    }
    for (std::int32_t i = 0; i < length; ++i) {
        unsigned key = 0;
        for (int bit = 0; bit < 8; ++bit) {
            const unsigned feedback = (reg ^ reg >> 1) & 1u;
            key = key >> 1 | feedback << 7;
            reg = reg >> 1 | feedback << 14;
        }
        target[i] = static_cast<std::uint8_t>(source[i] ^ key);
    }
}
