// A freshly formatted disk as a USB flash drive comes: an MBR with one partition from
// LBA 2048 to the end of the disk, holding an empty FAT16 volume with a label, so that
// Linux mounts it (vfat) and Windows gives it a drive letter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vdrive {

inline constexpr std::uint64_t kDefaultDiskBytes = 16u * 1024 * 1024;
inline constexpr std::uint32_t kFatPartitionStart = 2048; // sectors, 1 MiB aligned
inline constexpr std::uint8_t kFat16LbaPartitionType = 0x0E;

struct FatDiskOptions {
    std::uint64_t diskBytes = kDefaultDiskBytes;
    std::string label = "TESSALOK"; // up to 11 characters, stored in capitals
    std::uint32_t volumeId = 0x7E55A10C;
};

// The whole disk image. Throws std::invalid_argument for a size that is not a multiple of
// 512 or whose partition cannot hold a FAT16 volume (about 2 MiB to 2 GiB).
std::vector<std::uint8_t> MakeFatDisk(const FatDiskOptions& options = {});

} // namespace vdrive
