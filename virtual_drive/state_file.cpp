#include "virtual_drive/state_file.h"

#include <algorithm>

#include "app/small_file.h"

namespace vdrive {

namespace {

constexpr std::string_view kHeader = "tessalok-vdrive state 1";
// Anything longer is not a state file of this program.
constexpr std::size_t kMaxFileSize = 64 * 1024;

std::string_view TrimLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
        line.remove_suffix(1);
    }
    return line;
}

} // namespace

bool IsValidIdentity(std::string_view identity) {
    if (identity.empty() || identity.size() > kMaxIdentityLength) {
        return false;
    }
    for (const char c : identity) {
        if (c <= ' ' || c > '~') {
            return false;
        }
    }
    return true;
}

std::string FormatState(const SlotTable& slots) {
    std::string text(kHeader);
    text += '\n';
    for (std::size_t d = 0; d < slots.size(); ++d) {
        if (slots[d]) {
            text += "slot " + std::to_string(d) + ' ' + *slots[d] + '\n';
        }
    }
    return text;
}

std::optional<SlotTable> ParseState(std::string_view text, std::string& error) {
    SlotTable slots{};
    std::size_t lineNumber = 0;
    bool sawHeader = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line =
            TrimLineEnd(text.substr(0, end == std::string_view::npos ? text.size() : end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        if (!sawHeader) {
            if (line != kHeader) {
                error = "line 1 is not \"" + std::string(kHeader) + "\"";
                return std::nullopt;
            }
            sawHeader = true;
            continue;
        }
        if (line.empty()) {
            continue;
        }
        // "slot D IDENTITY"
        const bool shaped = line.size() >= 8 && line.substr(0, 5) == "slot " && line[5] >= '0' &&
                            line[5] <= '9' && line[6] == ' ';
        const std::string_view identity = shaped ? line.substr(7) : std::string_view{};
        if (!shaped || !IsValidIdentity(identity)) {
            error = "line " + std::to_string(lineNumber) + " is not \"slot DIGIT IDENTITY\"";
            return std::nullopt;
        }
        const std::size_t slot = static_cast<std::size_t>(line[5] - '0');
        if (slots[slot]) {
            error = "line " + std::to_string(lineNumber) + " names slot " + std::to_string(slot) +
                    " a second time";
            return std::nullopt;
        }
        slots[slot] = std::string(identity);
    }
    if (!sawHeader) {
        error = "the file is empty";
        return std::nullopt;
    }
    return slots;
}

LoadedState LoadStateFile(const std::filesystem::path& path) {
    LoadedState state;
    const std::string name = "state file " + path.string();
    constexpr const char* kEmpty = ": starting with an empty drive";
    std::string content;
    std::string error;
    switch (ReadSmallFile(path.native(), kMaxFileSize, content, error)) {
    case SmallFileResult::Read:
        break;
    case SmallFileResult::Missing:
        state.message = name + " not found" + kEmpty;
        return state;
    case SmallFileResult::NotRegular:
        state.message = name + " is not a regular file" + kEmpty;
        return state;
    case SmallFileResult::TooLarge:
        state.message = name + " is too large" + kEmpty;
        return state;
    case SmallFileResult::Failed:
        state.message = name + " cannot be read (" + error + ")" + kEmpty;
        return state;
    }
    if (const std::optional<SlotTable> slots = ParseState(content, error)) {
        state.slots = *slots;
        state.loaded = true;
        state.message = name + " loaded";
        return state;
    }
    state.message = name + " is corrupt (" + error + ")" + kEmpty;
    return state;
}

namespace {

bool IsTemporaryOf(const std::string& candidate, const std::string& name) {
    const std::string prefix = name + ".tmp-";
    if (candidate.size() <= prefix.size() || candidate.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    return std::all_of(candidate.begin() + static_cast<std::ptrdiff_t>(prefix.size()),
                       candidate.end(), [](char c) {
                           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                                  (c >= 'A' && c <= 'Z') || c == '-';
                       });
}

} // namespace

int RemoveStaleTemporaries(const std::filesystem::path& path,
                           std::filesystem::file_time_type::duration minimumAge) {
    namespace fs = std::filesystem;
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    const std::string name = path.filename().string();
    const auto now = fs::file_time_type::clock::now();
    int removed = 0;
    std::error_code code;
    for (fs::directory_iterator entry(folder, code), end; !code && entry != end;
         entry.increment(code)) {
        std::error_code entryCode;
        if (!IsTemporaryOf(entry->path().filename().string(), name) ||
            !fs::is_regular_file(entry->symlink_status(entryCode)) ||
            now - fs::last_write_time(entry->path(), entryCode) < minimumAge || entryCode) {
            continue;
        }
        if (fs::remove(entry->path(), entryCode)) {
            ++removed;
        }
    }
    return removed;
}

bool SaveStateFile(const std::filesystem::path& path, const SlotTable& slots, std::string& error) {
    return WriteFileAtomically(path.native(), FormatState(slots), error);
}

} // namespace vdrive
