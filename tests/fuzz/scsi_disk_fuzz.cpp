// A volume's SCSI disk on arbitrary commands: each input is a sequence of records
// (CDB length, CDB, flags, expected length, data out). Besides never crashing, every
// answer must keep the rules an iSCSI session relies on.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "virtual_drive/disk/block_device.h"
#include "virtual_drive/disk/volume_disk.h"
#include "virtual_drive/volume_set.h"

namespace {

void Require(bool rule) {
    if (!rule) {
        __builtin_trap();
    }
}

void CheckAnswer(const vdrive::ScsiTask& task, const vdrive::ScsiTaskResult& result) {
    Require(result.dataIn.size() <= task.expectedLength);
    Require(task.readsData || result.dataIn.empty());
    if (result.status == kScsiStatusGood) {
        Require(result.sense.empty());
    } else {
        Require(result.status == kScsiStatusCheckCondition);
        Require(result.sense.size() == 18 && result.sense[0] == 0x70);
        Require(result.dataIn.empty());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::mutex models;
    vdrive::Volume volume;
    volume.letter = 'E';
    volume.drive = std::make_unique<vdrive::FingerprintDriveModel>();
    auto lun = vdrive::MakeVolumeDisk(volume, models,
                                      vdrive::MakeMemoryImage(std::vector<std::uint8_t>(64 * 512)));
    std::size_t at = 0;
    while (at + 4 <= size) {
        const std::size_t wanted = data[at++] % 17;
        const std::size_t cdbLength = std::min(wanted, size - at);
        const std::vector<std::uint8_t> cdb(data + at, data + at + cdbLength);
        at += cdbLength;
        if (at + 3 > size) {
            break;
        }
        const std::uint8_t flags = data[at++];
        // Lengths up to 64 KiB, and a few far beyond what any command moves.
        std::uint32_t expected = (std::uint32_t{data[at]} << 8) | data[at + 1];
        at += 2;
        if ((flags & 0x80) != 0) {
            expected <<= 12;
        }
        const std::size_t sent = std::min<std::size_t>(expected, size - at);
        const std::vector<std::uint8_t> out(data + at, data + at + sent);
        at += sent;

        switch ((flags >> 4) & 0x07) {
        case 1:
            volume.drive->Unplug();
            break;
        case 2:
            volume.drive->Plug();
            break;
        case 3:
            lun->Reset();
            break;
        case 4:
            lun->NexusLost(flags & 0x03);
            break;
        case 5:
            volume.drive->FailNextCommands(1);
            break;
        default:
            break;
        }
        vdrive::ScsiTask task;
        task.cdb = cdb;
        task.expectedLength = expected;
        task.readsData = (flags & 0x04) != 0;
        task.writesData = (flags & 0x08) != 0;
        task.dataOut = out;
        task.nexus = flags & 0x03;
        CheckAnswer(task, lun->Execute(task));
    }
    return 0;
}
