// tessalok-vdrive: the virtual fingerprint drive as a server, and its small control client.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <mutex>

#include "device/vdrive_transport.h"
#include "tessalok_version.h"
#include "virtual_drive/broken_pipe.h"
#include "virtual_drive/command_line.h"
#include "virtual_drive/control.h"
#include "app/small_file.h"
#include "virtual_drive/disk/volume_disks.h"
#include "virtual_drive/iscsi/front_door.h"
#include "virtual_drive/usbip/front_door.h"
#include "virtual_drive/volume_set.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

std::atomic<vdrive::VdriveServer*> g_server{nullptr};
std::atomic<vdrive::iscsi::FrontDoor*> g_iscsi{nullptr};
std::atomic<vdrive::usbip::FrontDoor*> g_usbip{nullptr};

void OnSignal(int) {
    if (vdrive::VdriveServer* server = g_server.load()) {
        server->Stop();
    }
    if (vdrive::iscsi::FrontDoor* iscsi = g_iscsi.load()) {
        iscsi->RequestStop();
    }
    if (vdrive::usbip::FrontDoor* usbip = g_usbip.load()) {
        usbip->RequestStop();
    }
}

// From every connection's thread. A log that cannot be written (its reader went away) is
// given up on; the server goes on serving.
void LogLine(const std::string& text) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::cerr << "tessalok-vdrive: " << text << std::endl;
    std::cerr.clear();
}

int RunControlClient(const vdrive::Invocation& invocation) {
    VirtualDriveTransport transport(invocation.server.host, invocation.server.port);
    if (invocation.maskQuery) {
        const std::uint32_t mask = transport.PresentDriveMask();
        if (!transport.LastError().empty()) {
            LogLine(transport.LastError());
            return kExitFailure;
        }
        std::string letters;
        for (int i = 0; i < 26; ++i) {
            if (mask & (1u << i)) {
                letters += static_cast<char>('A' + i);
            }
        }
        std::cout << "0x" << std::hex << mask << std::dec << " " << letters << std::endl;
        return kExitOk;
    }
    std::string reply;
    if (!transport.Control(invocation.text, reply)) {
        LogLine(transport.LastError());
        return kExitFailure;
    }
    std::cout << reply << std::endl;
    return reply.rfind("error", 0) == 0 ? kExitFailure : kExitOk;
}

bool WritePortFile(const std::filesystem::path& path, std::uint16_t port, std::string& error) {
    return WriteFileAtomically(path.native(), std::to_string(port) + "\n", error);
}

// A front door listening: its port file written, the warning beyond loopback given and
// where it listens told. False with `error` when the port file cannot be written.
bool DoorStarted(const std::string& door, const std::string& host, std::uint16_t port,
                 const std::filesystem::path& portFile, std::string& error) {
    if (!portFile.empty() && !WritePortFile(portFile, port, error)) {
        error = "cannot write the " + door + " port file: " + error;
        return false;
    }
    if (!vdrive::IsLoopbackAddress(host)) {
        LogLine("warning: " + door + " on " + host +
                ", beyond this machine: anyone who reaches this port can use the drive without "
                "any authentication");
    }
    std::cout << "tessalok-vdrive " << door << " on " << vdrive::iscsi::PortalAddress(host, port)
              << " (no authentication)" << std::endl;
    return true;
}

std::filesystem::path StateFileOf(const vdrive::Invocation& invocation, char letter) {
    if (const auto found = invocation.stateFiles.find(letter);
        found != invocation.stateFiles.end()) {
        return found->second;
    }
    const auto first = invocation.stateFiles.find(0);
    return first != invocation.stateFiles.end() && letter == invocation.drives.front()
               ? first->second
               : std::filesystem::path{};
}

int Serve(const vdrive::Invocation& invocation) {
    vdrive::VolumeSet volumes(LogLine);
    if (invocation.server.verbose) {
        volumes.Commands().SetLog(LogLine);
    }
    for (const char letter : invocation.drives) {
        volumes.AddDrive(letter, invocation.drive, StateFileOf(invocation, letter));
    }
    for (const char letter : invocation.sticks) {
        volumes.AddStick(letter, {});
    }
    vdrive::StickOptions refusing;
    refusing.refuseVendorCommands = true;
    for (const char letter : invocation.refusingSticks) {
        volumes.AddStick(letter, refusing);
    }

    vdrive::VdriveServer server(volumes, invocation.server, LogLine);
    for (const std::string& text : invocation.startTexts) {
        const std::string reply = server.Control(text);
        if (reply.rfind("error", 0) == 0) {
            LogLine("start-up text \"" + text + "\": " + reply);
            return kExitUsage;
        }
    }
    std::string error;
    if (!server.Listen(error)) {
        LogLine("cannot listen on " + invocation.server.host + ":" +
                std::to_string(invocation.server.port) + ": " + error);
        return kExitFailure;
    }
    // Everything that can fail at start-up (an image, an address in use) fails before a
    // port file tells anyone that the server is up.
    vdrive::VolumeDisks disks;
    if ((invocation.iscsi || invocation.usbip) &&
        !disks.Build(volumes, invocation.diskImages, error)) {
        LogLine(error);
        return kExitFailure;
    }
    vdrive::iscsi::FrontDoor iscsi;
    if (invocation.iscsi) {
        vdrive::iscsi::FrontDoorOptions options;
        options.settings.host = invocation.iscsiHost;
        options.settings.port = invocation.iscsiPort;
        options.settings.verbose = invocation.server.verbose;
        if (!iscsi.Start(disks, std::move(options), LogLine, error)) {
            LogLine(error);
            return kExitFailure;
        }
    }
    vdrive::usbip::FrontDoor usbip;
    if (invocation.usbip) {
        vdrive::usbip::UsbipSettings settings;
        settings.host = invocation.usbipHost;
        settings.port = invocation.usbipPort;
        if (!usbip.Start(disks, std::move(settings), LogLine, error)) {
            LogLine(error);
            return kExitFailure;
        }
    }
    if (!invocation.portFile.empty() && !WritePortFile(invocation.portFile, server.Port(), error)) {
        LogLine("cannot write the port file: " + error);
        return kExitFailure;
    }
    if (!invocation.server.LoopbackOnly()) {
        LogLine("warning: listening on " + invocation.server.host +
                ", beyond this machine: anyone who reaches this port can send control texts "
                "(shutdown, clear-slots, ...) without any authentication");
    }
    if (invocation.iscsi) {
        if (!DoorStarted("iSCSI", invocation.iscsiHost, iscsi.Port(), invocation.iscsiPortFile,
                         error)) {
            LogLine(error);
            return kExitFailure;
        }
        g_iscsi = &iscsi;
    }
    if (invocation.usbip) {
        if (!DoorStarted("USB/IP", invocation.usbipHost, usbip.Port(), invocation.usbipPortFile,
                         error)) {
            LogLine(error);
            return kExitFailure;
        }
        g_usbip = &usbip;
    }
    std::cout << "tessalok-vdrive listening on " << invocation.server.host << ":" << server.Port()
              << std::endl;
    std::cout.clear();
    g_server = &server;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    server.Run();
    g_server = nullptr;
    g_iscsi = nullptr;
    g_usbip = nullptr;
    usbip.Stop();
    iscsi.Stop();
    return kExitOk;
}

} // namespace

int main(int argc, char** argv) {
    vdrive::IgnoreBrokenPipes();
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const std::optional<vdrive::Invocation> invocation = vdrive::ParseCommandLine(args, error);
    if (!invocation) {
        LogLine(error);
        return kExitUsage;
    }
    switch (invocation->mode) {
    case vdrive::Invocation::Mode::Help:
        std::cout << vdrive::UsageText() << "\n" << vdrive::ControlHelp() << std::endl;
        return kExitOk;
    case vdrive::Invocation::Mode::Version:
        std::cout << "tessalok-vdrive " TESSALOK_VERSION << std::endl;
        return kExitOk;
    case vdrive::Invocation::Mode::Control:
        return RunControlClient(*invocation);
    case vdrive::Invocation::Mode::Serve:
        break;
    }
    return Serve(*invocation);
}
