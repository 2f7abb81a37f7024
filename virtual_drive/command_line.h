// The command line of tessalok-vdrive: serve (the default) or "ctl", the small client
// that sends one control text (or the mask query) to a running server.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "virtual_drive/drive_model.h"
#include "virtual_drive/vdrive_server.h"

namespace vdrive {

struct Invocation {
    enum class Mode { Serve, Control, Help, Version } mode = Mode::Serve;

    // Serve
    ServerSettings server;
    DriveOptions drive;               // for every fingerprint drive
    std::vector<char> drives;         // default: E
    std::vector<char> sticks;         // ordinary sticks: another vendor name
    std::vector<char> refusingSticks; // sticks that refuse the vendor command
    std::map<char, std::filesystem::path> stateFiles;
    std::filesystem::path portFile;
    bool latencyGiven = false;
    std::vector<std::string> startTexts; // control texts run before serving (--run, --script)
    // The iSCSI front door (--iscsi [ADDRESS:]PORT), off unless asked for.
    bool iscsi = false;
    std::string iscsiHost = "127.0.0.1";
    std::uint16_t iscsiPort = 3260;
    std::filesystem::path iscsiPortFile;
    // The USB front door (--usbip [ADDRESS:]PORT), off unless asked for.
    bool usbip = false;
    std::string usbipHost = "127.0.0.1";
    std::uint16_t usbipPort = 3240;
    std::filesystem::path usbipPortFile;
    std::map<char, std::filesystem::path> diskImages; // raw images served in place

    // Control
    std::string text;
    bool maskQuery = false;
};

// The invocation, or none with `error` saying what is wrong with the arguments.
std::optional<Invocation> ParseCommandLine(const std::vector<std::string>& args,
                                           std::string& error);

const char* UsageText();

} // namespace vdrive
