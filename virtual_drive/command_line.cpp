#include "virtual_drive/command_line.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <functional>
#include <sstream>

#include "virtual_drive/control.h"

namespace vdrive {

namespace {

constexpr unsigned kAutoUserStep = 6;
constexpr int kAutoUserLatencyMs = 25;

std::optional<unsigned long> ParseNumber(const std::string& text, unsigned long limit,
                                         int base = 10) {
    unsigned long value = 0;
    const auto [end, code] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || code != std::errc{} || end != text.data() + text.size() || value > limit) {
        return std::nullopt;
    }
    return value;
}

// A door's "PORT" (on loopback) or "ADDRESS:PORT" into `host` and `port`.
bool ParseDoorAddress(const std::string& text, std::string& host, std::uint16_t& port) {
    // "PORT" on loopback, or "ADDRESS:PORT"; an IPv6 address may be in brackets.
    const std::size_t colon = text.rfind(':');
    const auto number =
        ParseNumber(text.substr(colon == std::string::npos ? 0 : colon + 1), 65535);
    if (colon != std::string::npos) {
        host = text.substr(0, colon);
        if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
            host = host.substr(1, host.size() - 2);
        }
    }
    port = static_cast<std::uint16_t>(number.value_or(0));
    return number.has_value() && !host.empty();
}

std::optional<char> ParseLetter(const std::string& text) {
    std::string letter = text;
    if (letter.size() == 2 && letter[1] == ':') {
        letter.pop_back();
    }
    if (letter.size() != 1) {
        return std::nullopt;
    }
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(letter[0])));
    if (c < 'C' || c > 'Z') {
        return std::nullopt;
    }
    return c;
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = text.find(',', start);
        items.push_back(
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    return items;
}

bool ParseSeeds(const std::string& text, std::vector<std::uint16_t>& seeds) {
    seeds.clear();
    if (text == "random") {
        return true;
    }
    for (const std::string& item : SplitList(text)) {
        const std::string digits = item.rfind("0x", 0) == 0 ? item.substr(2) : item;
        const auto value = ParseNumber(digits, 0xFFFF, 16);
        if (!value) {
            return false;
        }
        seeds.push_back(static_cast<std::uint16_t>(*value));
    }
    return !seeds.empty();
}

// A script is read whole, at most kMaxScriptSize bytes; a pipe (--script <(...)) is fine,
// an endless device is refused.
constexpr std::size_t kMaxScriptSize = 1 << 20;

bool ReadScript(const std::filesystem::path& path, std::vector<std::string>& texts) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::string content(kMaxScriptSize + 1, '\0');
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    content.resize(static_cast<std::size_t>(in.gcount()));
    if (content.size() > kMaxScriptSize || in.bad()) {
        return false;
    }
    std::istringstream lines(content);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] != '#') {
            texts.push_back(line.substr(first));
        }
    }
    return true;
}

// Options that take a value, and what each does with it; false: the value is wrong.
using ValueOption = std::function<bool(Invocation&, const std::string&)>;

bool AddLetter(std::vector<char>& list, const std::string& value) {
    const auto letter = ParseLetter(value);
    if (letter) {
        list.push_back(*letter);
    }
    return letter.has_value();
}

bool SetInt(int& target, const std::string& value, unsigned long limit) {
    const auto number = ParseNumber(value, limit);
    if (number) {
        target = static_cast<int>(*number);
    }
    return number.has_value();
}

bool SetPositive(unsigned& target, const std::string& value, unsigned long limit) {
    const auto number = ParseNumber(value, limit);
    if (number && *number > 0) {
        target = static_cast<unsigned>(*number);
    }
    return number && *number > 0;
}

const std::map<std::string, ValueOption>& ServeOptions() {
    static const std::map<std::string, ValueOption> options{
        {"--listen",
         [](Invocation& i, const std::string& v) {
             i.server.host = v;
             return true;
         }},
        {"--port",
         [](Invocation& i, const std::string& v) {
             const auto port = ParseNumber(v, 65535);
             if (port) {
                 i.server.port = static_cast<std::uint16_t>(*port);
             }
             return port.has_value();
         }},
        {"--port-file",
         [](Invocation& i, const std::string& v) {
             i.portFile = v;
             return !v.empty();
         }},
        {"--iscsi",
         [](Invocation& i, const std::string& v) {
             i.iscsi = ParseDoorAddress(v, i.iscsiHost, i.iscsiPort);
             return i.iscsi;
         }},
        {"--iscsi-port-file",
         [](Invocation& i, const std::string& v) {
             i.iscsiPortFile = v;
             return !v.empty();
         }},
        {"--usbip",
         [](Invocation& i, const std::string& v) {
             i.usbip = ParseDoorAddress(v, i.usbipHost, i.usbipPort);
             return i.usbip;
         }},
        {"--usbip-port-file",
         [](Invocation& i, const std::string& v) {
             i.usbipPortFile = v;
             return !v.empty();
         }},
        {"--disk-image",
         [](Invocation& i, const std::string& v) {
             const auto letter =
                 v.size() > 2 && v[1] == '=' ? ParseLetter(v.substr(0, 1)) : std::nullopt;
             if (letter) {
                 i.diskImages[*letter] = v.substr(2);
             }
             return letter.has_value();
         }},
        {"--drive", [](Invocation& i, const std::string& v) { return AddLetter(i.drives, v); }},
        {"--stick", [](Invocation& i, const std::string& v) { return AddLetter(i.sticks, v); }},
        {"--refusing-stick",
         [](Invocation& i, const std::string& v) { return AddLetter(i.refusingSticks, v); }},
        {"--tags",
         [](Invocation& i, const std::string& v) {
             i.drive.tags = SplitList(v);
             return std::all_of(i.drive.tags.begin(), i.drive.tags.end(),
                                [](const std::string& t) { return t.size() == 4; }) &&
                    i.drive.tags.size() <= 100;
         }},
        {"--model",
         [](Invocation& i, const std::string& v) {
             i.drive.modelText = v;
             return v.size() <= vendor::kModelTextLength;
         }},
        {"--identity",
         [](Invocation& i, const std::string& v) {
             i.drive.identity = v;
             return v.size() <= vendor::kIdentityLength;
         }},
        {"--vendor",
         [](Invocation& i, const std::string& v) {
             i.drive.vendorName = v;
             return v.size() <= 8;
         }},
        {"--seeds",
         [](Invocation& i, const std::string& v) { return ParseSeeds(v, i.drive.fixedSeeds); }},
        {"--state-file",
         [](Invocation& i, const std::string& v) {
             // "PATH" for the first drive, "F=PATH" for drive F.
             if (v.size() > 2 && v[1] == '=') {
                 const auto letter = ParseLetter(v.substr(0, 1));
                 if (letter) {
                     i.stateFiles[*letter] = v.substr(2);
                 }
                 return letter.has_value();
             }
             i.stateFiles[0] = v;
             return !v.empty();
         }},
        {"--touches",
         [](Invocation& i, const std::string& v) {
             return SetPositive(i.drive.touchesToEnrol, v, 100);
         }},
        {"--auto-step",
         // Up to 14, so the operations' idle budget of 15 polls never runs out.
         [](Invocation& i, const std::string& v) {
             return SetPositive(i.drive.autoStepPolls, v, 14);
         }},
        {"--latency",
         [](Invocation& i, const std::string& v) {
             i.latencyGiven = true;
             return SetInt(i.server.latencyMs, v, 3000);
         }},
        {"--silence-ms",
         [](Invocation& i, const std::string& v) { return SetInt(i.server.silenceMs, v, 600000); }},
        {"--run",
         [](Invocation& i, const std::string& v) {
             i.startTexts.push_back(v);
             return true;
         }},
        {"--script",
         [](Invocation& i, const std::string& v) { return ReadScript(v, i.startTexts); }},
    };
    return options;
}

// A letter whose image file is also another letter's (the same path, however spelt, or
// the same file under another name).
std::optional<char> SharedImage(const std::map<char, std::filesystem::path>& images) {
    for (auto first = images.begin(); first != images.end(); ++first) {
        for (auto second = std::next(first); second != images.end(); ++second) {
            const auto resolved = [](const std::filesystem::path& path) {
                std::error_code code;
                return std::filesystem::weakly_canonical(std::filesystem::absolute(path, code),
                                                         code);
            };
            std::error_code code;
            if (resolved(first->second) == resolved(second->second) ||
                std::filesystem::equivalent(first->second, second->second, code)) {
                return second->first;
            }
        }
    }
    return std::nullopt;
}

std::optional<Invocation> ParseControl(const std::vector<std::string>& args, std::string& error) {
    Invocation invocation;
    invocation.mode = Invocation::Mode::Control;
    std::vector<std::string> words;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if ((arg == "--host" || arg == "--port") && i + 1 < args.size()) {
            if (arg == "--host") {
                invocation.server.host = args[++i];
                continue;
            }
            const auto port = ParseNumber(args[++i], 65535);
            if (!port || *port == 0) {
                error = "ctl: --port needs a port number from 1 to 65535";
                return std::nullopt;
            }
            invocation.server.port = static_cast<std::uint16_t>(*port);
        } else if (arg == "--mask") {
            invocation.maskQuery = true;
        } else {
            words.push_back(arg);
        }
    }
    for (const std::string& word : words) {
        invocation.text += (invocation.text.empty() ? "" : " ") + word;
    }
    if (invocation.text.empty() == !invocation.maskQuery) {
        error = "ctl: give a control text or --mask (try \"ctl help\")";
        return std::nullopt;
    }
    return invocation;
}

} // namespace

std::optional<Invocation> ParseCommandLine(const std::vector<std::string>& args,
                                           std::string& error) {
    if (!args.empty() && args[0] == "ctl") {
        return ParseControl(args, error);
    }
    Invocation invocation;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            invocation.mode = Invocation::Mode::Help;
            return invocation;
        }
        if (arg == "--version") {
            invocation.mode = Invocation::Mode::Version;
            return invocation;
        }
        if (arg == "--verbose" || arg == "-v") {
            invocation.server.verbose = true;
            continue;
        }
        if (arg == "--auto-user") {
            if (invocation.drive.autoStepPolls == 0) {
                invocation.drive.autoStepPolls = kAutoUserStep;
            }
            continue;
        }
        if (arg == "--slot-line") {
            invocation.drive.enrolReport = EnrolReport::SlotLine;
            continue;
        }
        const auto option = ServeOptions().find(arg);
        if (option == ServeOptions().end()) {
            error = "unknown option " + arg + " (try --help)";
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            error = arg + " needs a value";
            return std::nullopt;
        }
        if (!option->second(invocation, args[++i])) {
            error = "bad value for " + arg + ": " + args[i];
            return std::nullopt;
        }
    }
    if (invocation.drives.empty()) {
        invocation.drives.push_back('E');
    }
    std::vector<char> letters = invocation.drives;
    letters.insert(letters.end(), invocation.sticks.begin(), invocation.sticks.end());
    letters.insert(letters.end(), invocation.refusingSticks.begin(),
                   invocation.refusingSticks.end());
    std::sort(letters.begin(), letters.end());
    if (std::adjacent_find(letters.begin(), letters.end()) != letters.end()) {
        error = "a drive letter is given twice";
        return std::nullopt;
    }
    for (const auto& [letter, path] : invocation.stateFiles) {
        if (letter != 0 && std::find(invocation.drives.begin(), invocation.drives.end(), letter) ==
                               invocation.drives.end()) {
            error = std::string("--state-file for ") + letter + ": which is not a --drive";
            return std::nullopt;
        }
    }
    if (!invocation.diskImages.empty() && !invocation.iscsi && !invocation.usbip) {
        error = "--disk-image serves a disk over iSCSI or USB/IP: add --iscsi [ADDRESS:]PORT "
                "or --usbip [ADDRESS:]PORT";
        return std::nullopt;
    }
    if (const std::optional<char> shared = SharedImage(invocation.diskImages)) {
        error = std::string("--disk-image ") + *shared +
                ": the image is given to another letter too (two disks on one file would "
                "overwrite each other)";
        return std::nullopt;
    }
    // A demo user acts at the pace of a hand on the sensor: a few seconds per enrolment.
    if (invocation.drive.autoStepPolls > 0 && !invocation.latencyGiven) {
        invocation.server.latencyMs = kAutoUserLatencyMs;
    }
    return invocation;
}

const char* UsageText() {
    return "usage: tessalok-vdrive [options]          serve virtual volumes\n"
           "       tessalok-vdrive ctl [--host H] [--port N] TEXT...   send a control text\n"
           "       tessalok-vdrive ctl [--host H] [--port N] --mask    ask for the drive mask\n"
           "\n"
           "options:\n"
           "  --listen ADDRESS     listen address (default 127.0.0.1; beyond loopback anyone\n"
           "                       who reaches the port can send control texts)\n"
           "  --port N             port (default 48150; 0 picks a free one)\n"
           "  --port-file PATH     write the port listened on to PATH\n"
           "  --iscsi [ADDRESS:]PORT  serve every volume over iSCSI too (loopback unless an\n"
           "                       address is given, IPv6 as [::1]; 0 picks a free port);\n"
           "                       no authentication\n"
           "  --iscsi-port-file PATH  write the iSCSI port listened on to PATH\n"
           "  --usbip [ADDRESS:]PORT  serve every volume as a USB device over USB/IP too, bus\n"
           "                       ids 1-1, 1-2, ... in letter order (loopback unless an\n"
           "                       address is given; 0 picks a free port); no authentication\n"
           "  --usbip-port-file PATH  write the USB/IP port listened on to PATH\n"
           "  --disk-image X=PATH  serve the raw image file PATH as volume X's disk (iSCSI,\n"
           "                       USB); without it a 16 MiB FAT volume in memory\n"
           "  --drive X            a fingerprint drive at letter X (repeatable; default E)\n"
           "  --stick X            an ordinary USB stick at X (another vendor name)\n"
           "  --refusing-stick X   a USB stick at X that refuses the vendor command\n"
           "  --tags LIST          identification tags, comma-separated (INQU,FWUP,SECU,DIAG)\n"
           "  --vendor NAME        vendor name, 8 characters (Kestrova)\n"
           "  --identity TEXT      secure identity, 8 characters (JMTMESV1)\n"
           "  --model TEXT         model text, 20 characters\n"
           "  --seeds random|LIST  random seeds, or these hexadecimal seeds in turn\n"
           "  --state-file [X=]PATH  keep drive X's slots (default: the first drive) in PATH\n"
           "  --touches N          presentations an enrolment takes (3)\n"
           "  --slot-line          report an enrolment as slot digit, CR, LF, 'S'\n"
           "  --auto-user          a user who authorizes and enrols by itself (demos)\n"
           "  --auto-step N        the automatic user acts every N-th waiting poll (6)\n"
           "  --latency MS         delay before every command reply (0; 25 with --auto-user)\n"
           "  --silence-ms MS      how long a silenced command goes unanswered (5000)\n"
           "  --run TEXT           run a control text before serving (repeatable)\n"
           "  --script FILE        run the control texts of FILE (1 MiB at most), one a line,\n"
           "                       # comments\n"
           "  --verbose, -v        log every command, decoded, and every SCSI command any\n"
           "                       door receives, to standard error\n"
           "  --help, -h           this text\n"
           "  --version            the program's version\n"
           "\n"
           "exit codes: 0 done, 1 failure (cannot listen or connect, control error),\n"
           "            2 wrong arguments\n";
}

} // namespace vdrive
