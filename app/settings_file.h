// Reading the settings file safely. It holds one short key, so anything that is not a
// small regular file is not a settings file: a FIFO would block the program before its
// window or its first output, a link to /dev/zero would fill the memory. Such a file is
// treated as unreadable (the default value, no write).
#pragma once

#include <cstdint>
#include <string>

// Far more than a settings file with its one key ever holds.
inline constexpr std::uintmax_t kMaxSettingsFileBytes = 64 * 1024;

enum class SettingsFile {
    Missing,  // nothing at the path
    Readable, // a regular file of at most kMaxSettingsFileBytes
    Refused,  // something else, or it cannot be read
};

// Looks at the file at `path` without blocking; when Readable and `text` is given, reads
// it into `text`.
SettingsFile ReadSettingsFile(const std::u16string& path, std::string* text);
