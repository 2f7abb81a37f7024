// One vendor command (the drive's identification, 512 bytes in) from a client over
// loopback to the drive model and back, through each door of one tessalok-vdrive server:
// protocol v1, iSCSI and USB/IP (CBW, data and CSW as vhci-hcd sends them).
#include <benchmark/benchmark.h>

#include <cstring>
#include <thread>

#include "device/vdrive_transport.h"
#include "tests/virtual_drive/usbip/usbip_client.h"
#include "virtual_drive/disk/volume_disks.h"
#include "virtual_drive/iscsi/front_door.h"
#include "virtual_drive/iscsi/pdu.h"
#include "virtual_drive/iscsi/text_keys.h"
#include "virtual_drive/usbip/front_door.h"
#include "virtual_drive/vdrive_server.h"
#include "virtual_drive/volume_set.h"

namespace {

// One server with all three doors, shared by the benchmarks.
struct Doors {
    Doors() : server(volumes, Settings(), {}) {
        volumes.AddDrive('E', {});
        std::string error;
        server.Listen(error);
        runner = std::thread([this] { server.Run(); });
        disks.Build(volumes, {}, error);
        vdrive::iscsi::FrontDoorOptions options;
        options.settings.port = 0;
        iscsi.Start(disks, options, {}, error);
        vdrive::usbip::UsbipSettings settings;
        settings.port = 0;
        usbip.Start(disks, settings, {}, error);
    }
    ~Doors() {
        usbip.Stop();
        iscsi.Stop();
        server.Stop();
        runner.join();
    }
    static vdrive::ServerSettings Settings() {
        vdrive::ServerSettings settings;
        settings.port = 0;
        return settings;
    }
    vdrive::VolumeSet volumes;
    vdrive::VdriveServer server;
    std::thread runner;
    vdrive::VolumeDisks disks;
    vdrive::iscsi::FrontDoor iscsi;
    vdrive::usbip::FrontDoor usbip;
};

// A login straight to the full feature phase, and a SCSI command reading `expected` bytes.
vdrive::iscsi::Pdu IscsiPdu(vdrive::iscsi::Opcode opcode, std::uint8_t flags, std::uint32_t tag,
                            std::uint32_t cmdSn) {
    vdrive::iscsi::Pdu pdu;
    pdu.header[0] = static_cast<std::uint8_t>(opcode);
    pdu.header[1] = flags;
    pdu.SetWord(vdrive::iscsi::field::kTaskTag, tag);
    pdu.SetWord(vdrive::iscsi::field::kWord24, cmdSn);
    return pdu;
}

Doors& TheDoors() {
    static Doors doors;
    return doors;
}

void ProtocolV1(benchmark::State& state) {
    VirtualDriveTransport transport("127.0.0.1", TheDoors().server.Port());
    const auto handle = transport.OpenDrive('E');
    Cdb cdb{};
    const auto identify = usbip_test::IdentifyCdb();
    std::copy(identify.begin(), identify.end(), cdb.begin());
    std::vector<std::uint8_t> data(512);
    for (auto _ : state) {
        if (!transport.SendScsiCommand(handle, cdb, data.data(), 512, ScsiDirection::Read)) {
            state.SkipWithError("protocol v1 command failed");
            break;
        }
    }
    transport.CloseDrive(handle);
}

void Iscsi(benchmark::State& state) {
    using namespace vdrive::iscsi;
    std::string error;
    TcpSocket socket = TcpSocket::Connect("127.0.0.1", TheDoors().iscsi.Port(), 1000, error);
    const auto send = [&socket](const Pdu& pdu) {
        std::vector<std::uint8_t> wire;
        AppendPdu(pdu, wire);
        return socket.SendAll(wire.data(), wire.size());
    };
    const ByteSource source = [&socket](std::uint8_t* data, std::size_t length) {
        return socket.ReceiveAll(data, length, 2000);
    };
    Pdu pdu;
    Pdu login = IscsiPdu(Opcode::LoginRequest, 0x80 | 3, 0x1000, 1);
    login.header[0] |= 0x40; // immediate
    login.header[8] = 0x80;  // ISID
    for (const auto& [key, value] :
         TextKeys{{"InitiatorName", "iqn.2026-12.bench:i"}, {"TargetName", TargetNameFor('E')}}) {
        AppendTextKey(login.data, key, value);
    }
    if (!send(login) || ReadPdu(source, 1u << 24, pdu) != ReadResult::Ok) {
        state.SkipWithError("no iSCSI login");
        return;
    }
    std::uint32_t cmdSn = 1;
    std::uint32_t tag = 0;
    const auto identify = usbip_test::IdentifyCdb();
    for (auto _ : state) {
        Pdu command = IscsiPdu(Opcode::ScsiCommand, 0x80 | 0x40, ++tag, cmdSn++);
        command.SetWord(field::kWord20, 512); // expected data transfer length
        std::memcpy(command.header.data() + 32, identify.data(), identify.size());
        if (!send(command)) {
            state.SkipWithError("iSCSI send failed");
            break;
        }
        // Data-In with the status, or Data-In then a SCSI response.
        do {
            if (ReadPdu(source, 1u << 24, pdu) != ReadResult::Ok) {
                state.SkipWithError("iSCSI command failed");
                return;
            }
        } while (pdu.Op() != Opcode::ScsiResponse && (pdu.Flags() & 0x01) == 0);
    }
}

// One import for all runs: a device is imported by one connection at a time, and the
// server releases it only once it has seen the last connection close.
usbip_test::Client* ImportedDevice() {
    static usbip_test::Client client(TheDoors().usbip.Port());
    static const bool imported =
        client.Import("1-1") == vdrive::usbip::kOpStatusOk &&
        client.Control(usbip_test::SetupBytes(0x00, 0x09, 1, 0, 0)).has_value();
    return imported ? &client : nullptr;
}

void Usb(benchmark::State& state) {
    usbip_test::Client* device = ImportedDevice();
    if (device == nullptr) {
        state.SkipWithError("no USB/IP import");
        return;
    }
    usbip_test::Client& client = *device;
    const auto identify = usbip_test::IdentifyCdb();
    for (auto _ : state) {
        const auto result = client.Scsi(identify, 512, true);
        if (!result || result->cswStatus != 0) {
            state.SkipWithError("USB command failed");
            break;
        }
    }
}

BENCHMARK(ProtocolV1)->UseRealTime();
BENCHMARK(Iscsi)->UseRealTime();
BENCHMARK(Usb)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
