// The drive's slot table on disk: a small text file, written atomically (a temporary file
// of a unique name, flushed to the disk, then renamed over the old one), so a crash never
// leaves half a file. One state file serves one server: two servers on one file each keep
// a whole file, but the last save wins.
//
//     tessalok-vdrive state 1
//     slot 0 alice-thumb
//     slot 3 bob-index
//
// Free slots have no line. Finger identities are 1 to 64 printable ASCII characters
// without blanks.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "virtual_drive/drive_model.h"

namespace vdrive {

using SlotTable = std::array<std::optional<std::string>, kSlotCount>;

inline constexpr std::size_t kMaxIdentityLength = 64;
bool IsValidIdentity(std::string_view identity);

std::string FormatState(const SlotTable& slots);
// The slot table of `text`, or none with `error` saying which line is wrong.
std::optional<SlotTable> ParseState(std::string_view text, std::string& error);

struct LoadedState {
    SlotTable slots{};
    bool loaded = false; // false: missing or corrupt, `message` says which; slots empty
    std::string message;
};
LoadedState LoadStateFile(const std::filesystem::path& path);
// Removes the temporary files a save of `path` left when the server was killed in the
// middle of it (`NAME.tmp-` and letters, digits or dashes, a regular file, last written
// at least `minimumAge` ago, so that another server's save in progress is never touched).
// Gives how many went.
int RemoveStaleTemporaries(const std::filesystem::path& path,
                           std::filesystem::file_time_type::duration minimumAge);
// False with `error` (the system's reason included) when the file cannot be written; the
// old file is then untouched.
bool SaveStateFile(const std::filesystem::path& path, const SlotTable& slots, std::string& error);

} // namespace vdrive
