// ParseStringFile: entry N of a string file is the text between its (2N+1)-th and
// (2N+2)-th quote mark; lines and comments mean nothing to it.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "i18n/message_table.h"

namespace {

constexpr std::size_t kRingSize = 10;
constexpr std::size_t kBufferUnits = 512;
// Longest text an entry yields; also how far the closing mark is looked for.
constexpr std::size_t kMaxTextUnits = 255;

char16_t g_ring[kRingSize][kBufferUnits];
std::size_t g_ringPosition = 0;

// Unit `index` of a UTF-16LE byte sequence, whatever the machine's byte order.
char16_t UnitAt(const std::uint8_t* bytes, std::size_t index) {
    return static_cast<char16_t>(bytes[2 * index] | (bytes[2 * index + 1] << 8));
}

bool IsQuoteMark(char16_t unit) {
    switch (unit) {
    case u'\u0022':
    case u'\u00AB':
    case u'\u00BB':
    case u'\u201C':
    case u'\u201D':
    case u'\u201E':
        return true;
    default:
        return false;
    }
}

} // namespace

const char16_t* ParseStringFile(const std::uint8_t* file, std::size_t lengthBytes, int entry) {
    char16_t* buffer = g_ring[g_ringPosition];
    std::fill_n(buffer, kBufferUnits, u'\0');
    if (file == nullptr || entry < 0) {
        return nullptr;
    }

    // 64 bits: 2N + 1 must not overflow for any int N.
    const std::uint64_t openingMark = 2 * static_cast<std::uint64_t>(entry) + 1;
    const std::size_t units = lengthBytes / 2;
    std::uint64_t marks = 0;
    for (std::size_t j = 0; j < units; ++j) {
        if (!IsQuoteMark(UnitAt(file, j)) || ++marks != openingMark) {
            continue;
        }
        // An entry still open at the end of the file ends there.
        const std::size_t end = std::min(units, j + 1 + kMaxTextUnits);
        std::size_t length = 0;
        for (std::size_t k = j + 1; k < end && !IsQuoteMark(UnitAt(file, k)); ++k) {
            buffer[length++] = UnitAt(file, k);
        }
        g_ringPosition = (g_ringPosition + 1) % kRingSize;
        return buffer;
    }
    return nullptr;
}
