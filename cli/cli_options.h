// The command line of tessalok: commands, options and the exit codes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class Command { Scan, Status, Install, Erase, Model, Languages };

// Exit codes, as documented in docs/command-line.md.
namespace exit_code {
inline constexpr int kSuccess = 0;
inline constexpr int kDriveFailed = 1; // the drive refused, failed or timed out
inline constexpr int kBadUsage = 2;
inline constexpr int kNoDrive = 3;       // no fingerprint drive found, or it stopped answering
inline constexpr int kInterrupted = 130; // Ctrl-C during install or erase
} // namespace exit_code

struct CliOptions {
    Command command = Command::Status;
    std::optional<std::string> vdriveHost; // --vdrive HOST[:PORT]
    std::uint16_t vdrivePort = 0;
    std::optional<char> driveLetter;       // --drive X, upper case
    std::optional<std::string> devicePath; // --device PATH
    std::optional<int> language;           // --lang; none: the start-language rule
    bool json = false;
    bool trace = false;
    bool allDisks = false; // --all-disks: search every disk, not only USB ones (Linux)
    bool all = false; // scan --all
    bool yes = false; // erase --yes
};

// The outcome of parsing: options to run, or an exit code with the text to print (help
// and version on stdout with code 0, usage errors on stderr with code 2).
struct ParseResult {
    std::optional<CliOptions> options;
    int exitCode = exit_code::kSuccess;
    std::string output;
};

ParseResult ParseCommandLine(int argc, const char* const* argv);

// A language given as an index "0".."12" or a code such as "de", "zh-TW", "pt_BR".
std::optional<int> ParseLanguage(std::string_view text);

// "HOST" or "HOST:PORT"; the port defaults to 48150. None when the port is not a number
// from 1 to 65535 or the host is empty.
std::optional<std::pair<std::string, std::uint16_t>> ParseHostPort(std::string_view text);
