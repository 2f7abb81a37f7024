// The string files built into the program (generated from i18n/strings/*.txt).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "i18n/message_table.h"

// Entries 0..36 of every string file.
inline constexpr int kMessageCount = 37;

// One built-in file: UTF-16 text that begins with U+FEFF and ends its lines with CR LF.
// `lengthBytes` covers the text without the terminating zero unit.
struct StringFileData {
    const char16_t* units;
    std::size_t lengthBytes;
};

// Index 0..12: that language's string file.
extern const StringFileData kStringFiles[kLanguageCount];
// Entry k: the name of language k, message number kLanguageNameBase + k.
extern const StringFileData kLanguageNameFile;

// The files are compiled as char16_t, so their bytes are UTF-16LE only where char16_t is
// stored little-endian, which holds for every machine the program is built for.
static_assert(std::endian::native == std::endian::little,
              "the built-in string files are handed to the parser as UTF-16LE bytes");

inline const std::uint8_t* FileBytes(const StringFileData& file) {
    return reinterpret_cast<const std::uint8_t*>(file.units);
}
