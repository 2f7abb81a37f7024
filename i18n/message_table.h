// The numbered message table: thirteen built-in string files and the language-name list.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int kLanguageCount = 13;
inline constexpr int kLanguageNameBase = 900; // 900 + index: the language's own name

// Message `number` (0..36 in the language of g_language; 900..912 the language names)
// as a zero-terminated UTF-16 text in a ring of ten buffers, valid until ten further
// lookups; null when the number has no entry. A language index outside 0..12 reads English.
const char16_t* GetText(int number);

// Entry `entry` of one string file (UTF-16LE bytes, `lengthBytes` long) in the next ring
// buffer, or null (the ring does not advance then).
const char16_t* ParseStringFile(const std::uint8_t* file, std::size_t lengthBytes, int entry);
