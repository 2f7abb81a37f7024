// A virtual drive's SCSI disk in the test process: a fingerprint drive model at E behind
// a small memory image, and helpers that send CDBs and read sense data.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <vector>

#include "virtual_drive/disk/block_device.h"
#include "virtual_drive/disk/volume_disk.h"
#include "virtual_drive/volume_set.h"

namespace disk_test {

using Bytes = std::vector<std::uint8_t>;

struct Sense {
    std::uint8_t key = 0;
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;
    friend bool operator==(const Sense&, const Sense&) = default;
};

inline void PrintTo(const Sense& s, std::ostream* out) {
    *out << std::hex << "key " << int{s.key} << " asc " << int{s.asc} << " ascq " << int{s.ascq};
}

inline constexpr std::uint64_t kDiskBlocks = 1024;

inline constexpr Sense kInvalidOpcode{0x05, 0x20, 0x00};
inline constexpr Sense kInvalidField{0x05, 0x24, 0x00};
inline constexpr Sense kLbaOutOfRange{0x05, 0x21, 0x00};
inline constexpr Sense kNoMedium{0x02, 0x3A, 0x00};
inline constexpr Sense kRemovalPrevented{0x05, 0x53, 0x02};
inline constexpr Sense kMediumChanged{0x06, 0x28, 0x00};

// The sense of a CHECK CONDITION; fails the test for any other status.
inline Sense SenseOf(const vdrive::ScsiTaskResult& result) {
    EXPECT_EQ(result.status, kScsiStatusCheckCondition);
    if (result.sense.size() < 14) {
        ADD_FAILURE() << "sense data too short: " << result.sense.size();
        return {};
    }
    EXPECT_EQ(result.sense[0], 0x70);
    return {static_cast<std::uint8_t>(result.sense[2] & 0x0F), result.sense[12], result.sense[13]};
}

inline std::uint64_t Be(const Bytes& data, std::size_t at, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value = (value << 8) | data.at(at + i);
    }
    return value;
}

// A CDB with `fields` written big-endian at their offsets.
inline Bytes
Command(std::uint8_t opcode, std::size_t length,
        std::initializer_list<std::tuple<std::size_t, std::size_t, std::uint64_t>> fields = {}) {
    Bytes cdb(length, 0);
    cdb[0] = opcode;
    for (const auto& [at, width, value] : fields) {
        for (std::size_t i = 0; i < width; ++i) {
            cdb.at(at + i) = static_cast<std::uint8_t>(value >> (8 * (width - 1 - i)));
        }
    }
    return cdb;
}

inline Bytes Read10(std::uint64_t lba, std::uint64_t blocks) {
    return Command(0x28, 10, {{2, 4, lba}, {7, 2, blocks}});
}
inline Bytes Write10(std::uint64_t lba, std::uint64_t blocks) {
    return Command(0x2A, 10, {{2, 4, lba}, {7, 2, blocks}});
}
inline Bytes TestUnitReady() {
    return Command(0x00, 6);
}
inline Bytes StartStop(bool loadEject, bool start) {
    return Command(0x1B, 6, {{4, 1, (loadEject ? 2u : 0u) | (start ? 1u : 0u)}});
}
inline Bytes PreventAllow(bool prevent) {
    return Command(0x1E, 6, {{4, 1, prevent ? 1u : 0u}});
}

class DiskFixture : public ::testing::Test {
  protected:
    static constexpr std::uint64_t kBlocks = kDiskBlocks;

    DiskFixture() {
        drive = &volumes.AddDrive('E', {});
        lun = vdrive::MakeVolumeDisk(*volumes.Find('E'), modelMutex,
                                     vdrive::MakeMemoryImage(Bytes(kBlocks * 512, 0)));
    }

    // A command that reads `expected` bytes (none: no data phase).
    vdrive::ScsiTaskResult In(const Bytes& cdb, std::uint32_t expected = 4096,
                              std::uint64_t nexus = 0) {
        vdrive::ScsiTask task;
        task.cdb = cdb;
        task.expectedLength = expected;
        task.readsData = expected > 0;
        task.nexus = nexus;
        return lun->Execute(task);
    }

    vdrive::ScsiTaskResult Out(const Bytes& cdb, const Bytes& data) {
        vdrive::ScsiTask task;
        task.cdb = cdb;
        task.expectedLength = static_cast<std::uint32_t>(data.size());
        task.writesData = !data.empty();
        task.dataOut = data;
        return lun->Execute(task);
    }

    vdrive::VolumeSet volumes;
    vdrive::FingerprintDriveModel* drive = nullptr;
    std::mutex modelMutex;
    std::unique_ptr<vdrive::IScsiLogicalUnit> lun;
};

} // namespace disk_test
