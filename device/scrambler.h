// The payload scrambler: a key stream from a 15-bit shift register (x^15 + x + 1),
// XORed over request and reply frames. Scrambling and descrambling are one operation.
#pragma once

#include <cstdint>

// Writes `length` bytes to `target`, each the XOR of `source` at the same offset with the
// key stream of `seed`. Bit 15 of the seed plays no part; a length of 0 or less writes
// nothing. `source` and `target` may be the same buffer.
void ScrambleBlock(std::uint16_t seed, const std::uint8_t* source, std::int32_t length,
                   std::uint8_t* target);
