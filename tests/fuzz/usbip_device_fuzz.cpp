// One USB/IP connection on arbitrary bytes from the client: the operation request (device
// list or import), then the URB messages of the imported device, through endpoint 0's
// requests and the Bulk-Only Transport to the real SCSI disk of a drive volume. Nothing the
// device sends back may answer a transfer twice, answer one never submitted, or carry more
// data than the transfer asked for.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

#include "virtual_drive/disk/byte_order.h"
#include "virtual_drive/disk/volume_disks.h"
#include "virtual_drive/usbip/server.h"
#include "virtual_drive/usbip/storage_device.h"
#include "virtual_drive/volume_set.h"

using namespace vdrive::usbip;

namespace {

constexpr std::size_t kMaxWaiting = 64;

// The disk is built once: making its 16 MiB image for every input would be most of the
// work. Its state (medium, attentions) carries over from input to input.
struct Drive {
    Drive() {
        volumes.AddDrive('E', {});
        std::string error;
        disks.Build(volumes, {}, error);
        units = disks.ForDoor("USB");
    }
    vdrive::VolumeSet volumes;
    vdrive::VolumeDisks disks;
    std::vector<vdrive::DoorUnit> units;
};

// Checks the device's messages against the transfers still open; aborts on a fault.
void CheckReplies(const std::vector<std::uint8_t>& out, std::map<std::uint32_t, UrbHeader>& open) {
    std::size_t at = 0;
    while (at < out.size()) {
        if (out.size() - at < kUrbHeaderSize) {
            std::abort();
        }
        const auto word = [&](std::size_t offset) {
            return static_cast<std::uint32_t>(vdrive::scsi::GetBe(out, at + offset, 4));
        };
        const std::uint32_t command = word(0);
        const std::uint32_t seqnum = word(4);
        const std::uint32_t actual = word(24);
        at += kUrbHeaderSize;
        if (command == kRetUnlink) {
            continue;
        }
        const auto submitted = open.find(seqnum);
        if (command != kRetSubmit || submitted == open.end() ||
            actual > submitted->second.transferLength) {
            std::abort();
        }
        if (submitted->second.direction == kDirIn) {
            at += actual;
        }
        open.erase(submitted);
    }
    if (at != out.size()) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Drive drive;
    const std::span<const std::uint8_t> input(data, size);
    if (size < kOpHeaderSize) {
        return 0;
    }
    const OpHeader request = DecodeOpHeader(input.first<kOpHeaderSize>());
    const ExportedDevice exported = ExportVolume(0, 'E', true);
    std::vector<std::uint8_t> out;
    if (request.code == kOpReqDevlist) {
        EncodeDevlistReply(std::vector<DeviceSummary>{exported.summary}, out);
        return 0;
    }
    if (request.code != kOpReqImport || size < kOpHeaderSize + kBusIdSize) {
        return 0;
    }
    const std::string busId = DecodeBusId(input.subspan<kOpHeaderSize, kBusIdSize>());
    EncodeImportReply(busId == exported.summary.busId ? &exported.summary : nullptr, out);

    StorageDevice device(*drive.units.front().unit, 1, exported.identity);
    std::map<std::uint32_t, UrbHeader> open; // submitted, not answered, not unlinked
    std::size_t at = kOpHeaderSize + kBusIdSize;
    while (size - at >= kUrbHeaderSize) {
        const UrbHeader header = DecodeUrbHeader(input.subspan(at).first<kUrbHeaderSize>());
        at += kUrbHeaderSize;
        const auto following = DataFollowing(header, device.Waiting(), kMaxWaiting);
        if (!following || size - at < *following) {
            break; // the connection would end here
        }
        if (header.command == kCmdSubmit && open.contains(header.seqnum)) {
            at += *following; // a sequence number still open: no client reuses one
            continue;
        }
        std::vector<std::uint8_t> payload(input.begin() + static_cast<long>(at),
                                          input.begin() + static_cast<long>(at + *following));
        at += *following;
        if (header.command == kCmdSubmit) {
            open[header.seqnum] = header;
        } else {
            open.erase(header.unlinkSeqnum); // whether still waiting or not, never answered now
        }
        out.clear();
        device.Handle(header, std::move(payload), out);
        CheckReplies(out, open);
    }
    return 0;
}
