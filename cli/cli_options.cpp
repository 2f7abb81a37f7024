#include "cli/cli_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

#include "device/vdrive_wire.h"
#include "i18n/message_table.h"
#include "tessalok_version.h"

namespace {

struct LanguageCode {
    std::string_view code;
    int index;
};

// Lower case, '-' as separator. The Chinese scripts are told apart by region or script.
constexpr std::array<LanguageCode, 19> kLanguageCodes{{
    {"en", 0},    {"zh", 1},    {"zh-cn", 1}, {"zh-sg", 1},   {"zh-hans", 1},
    {"zh-tw", 2}, {"zh-hk", 2}, {"zh-mo", 2}, {"zh-hant", 2}, {"de", 3},
    {"fr", 4},    {"ja", 5},    {"ko", 6},    {"ru", 7},      {"pt", 8},
    {"id", 9},    {"ar", 10},   {"vi", 11},   {"th", 12},
}};

std::string Normalise(std::string_view text) {
    std::string result;
    for (const char c : text) {
        result += c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return result;
}

std::optional<int> ParseNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

struct Subcommand {
    const char* name;
    Command command;
    const char* description;
};

constexpr std::array<Subcommand, 6> kSubcommands{{
    {"scan", Command::Scan, "Search every present volume for the fingerprint drive"},
    {"status", Command::Status, "View Status: the installed and free fingerprint slots"},
    {"install", Command::Install, "Install a new fingerprint (after an authorized one)"},
    {"erase", Command::Erase, "Erase all installed fingerprints (after an authorized one)"},
    {"model", Command::Model, "Show the drive's model text"},
    {"languages", Command::Languages, "List the thirteen languages with their indexes"},
}};

constexpr unsigned Bit(Command command) {
    return 1u << static_cast<unsigned>(command);
}

// The options of single commands. Each means one thing wherever it is given.
struct CommandFlag {
    const char* name;
    const char* names; // with the short form
    bool CliOptions::*member;
    const char* description;
    const char* commandNames;
    unsigned commands; // Bit() of each command that takes it
    bool Belongs(Command command) const { return (commands & Bit(command)) != 0; }
};

constexpr std::array<CommandFlag, 3> kCommandFlags{{
    {"--json", "--json", &CliOptions::json, "One JSON object on stdout", "scan, status and model",
     Bit(Command::Scan) | Bit(Command::Status) | Bit(Command::Model)},
    {"--all", "--all", &CliOptions::all, "Show what every candidate answered", "scan",
     Bit(Command::Scan)},
    {"--yes", "--yes,-y", &CliOptions::yes, "Do not ask for confirmation", "erase",
     Bit(Command::Erase)},
}};

constexpr const char* kExitCodes = "Exit codes: 0 success; 1 the drive refused, failed or timed "
                                   "out; 2 bad usage;\n3 no fingerprint drive found, or it "
                                   "stopped answering; 130 interrupted (Ctrl-C).";

} // namespace

std::optional<int> ParseLanguage(std::string_view text) {
    if (const std::optional<int> number = ParseNumber(text)) {
        return *number >= 0 && *number < kLanguageCount ? number : std::nullopt;
    }
    const std::string code = Normalise(text);
    for (const LanguageCode& entry : kLanguageCodes) {
        if (code == entry.code)
            return entry.index;
    }
    // A regional variant of a language without script choice ("de-at", "pt-br").
    const std::string base = code.substr(0, code.find('-'));
    if (base != "zh") {
        for (const LanguageCode& entry : kLanguageCodes) {
            if (base == entry.code)
                return entry.index;
        }
    }
    return std::nullopt;
}

std::optional<std::pair<std::string, std::uint16_t>> ParseHostPort(std::string_view text) {
    std::string_view host = text;
    std::string_view portText;
    bool hasPort = false;
    if (text.starts_with('[')) {
        // "[ADDR]" or "[ADDR]:PORT": an IPv6 address with its port.
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return std::nullopt;
            portText = rest.substr(1);
            hasPort = true;
        }
    } else if (const std::size_t colon = text.rfind(':'); colon != std::string_view::npos) {
        // One colon: HOST:PORT. More: a bare IPv6 address, on the default port.
        if (text.find(':') == colon) {
            host = text.substr(0, colon);
            portText = text.substr(colon + 1);
            hasPort = true;
        }
    }
    std::uint16_t port = vdrive_wire::kDefaultPort;
    if (hasPort) {
        const std::optional<int> number = ParseNumber(portText);
        if (!number || *number < 1 || *number > 65535)
            return std::nullopt;
        port = static_cast<std::uint16_t>(*number);
    }
    if (host.empty())
        return std::nullopt;
    return std::pair{std::string(host), port};
}

ParseResult ParseCommandLine(int argc, const char* const* argv) {
    CLI::App app{"tessalok: view, install and erase the fingerprints of a fingerprint drive",
                 "tessalok"};
    app.set_version_flag("--version", std::string("tessalok ") + TESSALOK_VERSION);
    app.require_subcommand(1);
    app.footer(kExitCodes);

    CliOptions options;
    std::string vdrive;
    std::string drive;
    std::string device;
    std::string language;
    CLI::Option* vdriveOption =
        app.add_option("--vdrive", vdrive, "Use the virtual drive at HOST[:PORT] (port 48150)")
            ->option_text("HOST:PORT");
    CLI::Option* driveOption =
        app.add_option("--drive", drive, "Use drive letter X (Windows)")->option_text("X");
    CLI::Option* deviceOption =
        app.add_option("--device", device, "Use the device PATH, /dev/sg* or /dev/sd* (Linux)")
            ->option_text("PATH");
    CLI::Option* languageOption =
        app.add_option("--lang", language, "Language: index 0-12 or a code such as de, zh-TW")
            ->option_text("N|CODE");
    app.add_flag("--trace", options.trace, "Show every vendor command on stderr, decoded");
    app.add_flag("--all-disks", options.allDisks,
                 "Search every disk, not only those attached through USB (Linux)");
    // Options of the program are also accepted after the command (the subcommands
    // inherit this as they are added).
    app.fallthrough();
    // The command options are accepted before the command too: no two commands give one
    // of them different meanings. The checks after parsing refuse them for other commands.
    for (const CommandFlag& flag : kCommandFlags) {
        app.add_flag(flag.names, options.*flag.member)->group("");
    }
    for (const Subcommand& entry : kSubcommands) {
        CLI::App* sub = app.add_subcommand(entry.name, entry.description);
        sub->callback([&options, command = entry.command] { options.command = command; });
        for (const CommandFlag& flag : kCommandFlags) {
            if (flag.Belongs(entry.command))
                sub->add_flag(flag.names, options.*flag.member, flag.description);
        }
    }

    ParseResult result;
    auto usageError = [&result](const std::string& text) {
        result.exitCode = exit_code::kBadUsage;
        result.output = "tessalok: " + text + "\nRun 'tessalok --help' for usage.\n";
        return result;
    };
    // CLI11 reads "--lang=" as "--lang" and takes the next word as its value.
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word.size() > 3 && word.starts_with("--") && word.find('=') == word.size() - 1) {
            return usageError(std::string(word.substr(0, word.size() - 1)) +
                              " wants a value, not an empty text");
        }
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        result.output = app.help();
        return result;
    } catch (const CLI::CallForAllHelp&) {
        result.output = app.help("", CLI::AppFormatMode::All);
        return result;
    } catch (const CLI::CallForVersion&) {
        result.output = app.version() + "\n";
        return result;
    } catch (const CLI::ParseError& error) {
        return usageError(error.what());
    }

    for (const CommandFlag& flag : kCommandFlags) {
        if (options.*flag.member && !flag.Belongs(options.command)) {
            return usageError(std::string(flag.name) + " is an option of " + flag.commandNames +
                              " only");
        }
    }
    const bool vdriveGiven = vdriveOption->count() > 0;
    const int targets =
        vdriveGiven + (deviceOption->count() > 0) + (driveOption->count() > 0 && !vdriveGiven);
    if (targets > 1) {
        return usageError("--vdrive, --drive and --device exclude each other "
                          "(only --vdrive with --drive picks a letter of the virtual drive)");
    }
    // An empty value (a script's unset variable) is an error, never "not given": taken as
    // not given, --vdrive "" would send vendor commands to every disk of the system.
    for (const CLI::Option* option : {vdriveOption, driveOption, deviceOption, languageOption}) {
        if (option->count() > 0 && option->as<std::string>().empty())
            return usageError(option->get_name() + " wants a value, not an empty text");
    }
    if (options.allDisks && (vdriveGiven || deviceOption->count() > 0)) {
        return usageError("--all-disks widens the search of the system's disks; "
                          "it does not go with --vdrive or --device");
    }
    if (vdriveGiven) {
        const auto hostPort = ParseHostPort(vdrive);
        if (!hostPort) {
            return usageError("--vdrive wants HOST, HOST:PORT, an IPv6 address or [ADDRESS]:PORT, "
                              "not '" +
                              vdrive + "'");
        }
        options.vdriveHost = hostPort->first;
        options.vdrivePort = hostPort->second;
    }
    if (driveOption->count() > 0) {
        std::string letter = drive;
        if (letter.size() == 2 && letter[1] == ':')
            letter.pop_back();
        const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter[0])));
        if (letter.size() != 1 || upper < 'C' || upper > 'Z') {
            return usageError("--drive wants a drive letter from C to Z, not '" + drive + "'");
        }
        options.driveLetter = upper;
    }
    if (deviceOption->count() > 0)
        options.devicePath = device;
    if (languageOption->count() > 0) {
        options.language = ParseLanguage(language);
        if (!options.language) {
            return usageError("unknown language '" + language +
                              "' (see 'tessalok languages' for the indexes)");
        }
    }
    result.options = options;
    return result;
}
