#include "virtual_drive/state_file.h"

#include <fstream>
#include <sstream>
#include <system_error>

namespace vdrive {

namespace {

constexpr std::string_view kHeader = "tessalok-vdrive state 1";
// Anything longer is not a state file of this program.
constexpr std::uintmax_t kMaxFileSize = 64 * 1024;

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
    std::error_code code;
    if (!std::filesystem::exists(path, code)) {
        state.message = "state file " + path.string() + " not found: starting with an empty drive";
        return state;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, code);
    std::ifstream in(path, std::ios::binary);
    if (code || size > kMaxFileSize || !in) {
        state.message = "state file " + path.string() +
                        " cannot be read or is too large: starting with an empty drive";
        return state;
    }
    std::ostringstream content;
    content << in.rdbuf();
    std::string error;
    if (const std::optional<SlotTable> slots = ParseState(content.str(), error)) {
        state.slots = *slots;
        state.loaded = true;
        state.message = "state file " + path.string() + " loaded";
        return state;
    }
    state.message =
        "state file " + path.string() + " is corrupt (" + error + "): starting with an empty drive";
    return state;
}

bool SaveStateFile(const std::filesystem::path& path, const SlotTable& slots, std::string& error) {
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << FormatState(slots);
        out.flush();
        if (!out) {
            error = "cannot write " + temporary.string();
            return false;
        }
    }
    std::error_code code;
    std::filesystem::rename(temporary, path, code);
    if (code) {
        error = "cannot replace " + path.string() + ": " + code.message();
        std::filesystem::remove(temporary, code);
        return false;
    }
    return true;
}

} // namespace vdrive
