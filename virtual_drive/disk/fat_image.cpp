// The FAT16 formatter: boot sector with its parameter block, two FATs, a root directory
// whose only entry is the volume label, every other sector zero.
#include "virtual_drive/disk/fat_image.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "virtual_drive/disk/disk_image.h"

namespace vdrive {
namespace {

constexpr std::uint32_t kSector = kDiskBlockSize;
// The geometry USB flash drives report: 2048 sectors per cylinder, so the partition
// start and a disk of whole MiB fall on cylinder boundaries.
constexpr std::uint32_t kHeads = 64;
constexpr std::uint32_t kSectorsPerTrack = 32;
constexpr std::uint32_t kReservedSectors = 1;
constexpr std::uint32_t kFatCount = 2;
constexpr std::uint32_t kRootEntries = 512;
constexpr std::uint32_t kRootSectors = kRootEntries * 32 / kSector;
constexpr std::uint32_t kMinFat16Clusters = 4085;
constexpr std::uint32_t kMaxFat16Clusters = 65524;
constexpr std::uint8_t kMediaFixed = 0xF8;

struct Layout {
    std::uint32_t sectors = 0; // of the partition
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t fatSectors = 0;
    std::uint32_t clusters = 0;
};

void Put16(std::vector<std::uint8_t>& disk, std::size_t at, std::uint32_t value) {
    disk[at] = static_cast<std::uint8_t>(value);
    disk[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::vector<std::uint8_t>& disk, std::size_t at, std::uint32_t value) {
    Put16(disk, at, value & 0xFFFF);
    Put16(disk, at + 2, value >> 16);
}

void PutText(std::vector<std::uint8_t>& disk, std::size_t at, const std::string& text,
             std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        disk[at + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
    }
}

// Cluster sizes as the FAT's own table gives them for FAT16 volumes of each size.
std::uint32_t SectorsPerCluster(std::uint32_t sectors) {
    if (sectors <= 8400) {
        return 1;
    }
    const std::pair<std::uint32_t, std::uint32_t> table[] = {
        {32680, 2}, {262144, 4}, {524288, 8}, {1048576, 16}, {2097152, 32}, {4194304, 64}};
    for (const auto& [limit, perCluster] : table) {
        if (sectors <= limit) {
            return perCluster;
        }
    }
    return 0;
}

Layout ComputeLayout(std::uint32_t sectors) {
    Layout layout;
    layout.sectors = sectors;
    layout.sectorsPerCluster = SectorsPerCluster(sectors);
    if (layout.sectorsPerCluster == 0 || sectors < kReservedSectors + kRootSectors + 64) {
        throw std::invalid_argument("the partition is too large or too small for FAT16");
    }
    // Grow the FATs until they cover every cluster the rest of the partition holds.
    layout.fatSectors = 1;
    for (;;) {
        const std::uint32_t data =
            sectors - kReservedSectors - kRootSectors - kFatCount * layout.fatSectors;
        layout.clusters = data / layout.sectorsPerCluster;
        const std::uint32_t needed = ((layout.clusters + 2) * 2 + kSector - 1) / kSector;
        if (needed <= layout.fatSectors) {
            break;
        }
        layout.fatSectors = needed;
    }
    if (layout.clusters < kMinFat16Clusters || layout.clusters > kMaxFat16Clusters) {
        throw std::invalid_argument("the partition does not make a FAT16 volume");
    }
    return layout;
}

std::string VolumeLabel(const std::string& label) {
    std::string upper = label.substr(0, 11);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper;
}

// Cylinder, head and sector of `lba` as the partition table packs them; past the
// addressable cylinders the conventional "use the LBA" marker.
void PutChs(std::vector<std::uint8_t>& disk, std::size_t at, std::uint32_t lba) {
    const std::uint32_t cylinder = lba / (kHeads * kSectorsPerTrack);
    if (cylinder > 1023) {
        disk[at] = 0xFE;
        disk[at + 1] = 0xFF;
        disk[at + 2] = 0xFF;
        return;
    }
    const std::uint32_t head = (lba / kSectorsPerTrack) % kHeads;
    const std::uint32_t sector = lba % kSectorsPerTrack + 1;
    disk[at] = static_cast<std::uint8_t>(head);
    disk[at + 1] = static_cast<std::uint8_t>(sector | ((cylinder >> 2) & 0xC0));
    disk[at + 2] = static_cast<std::uint8_t>(cylinder);
}

void WriteMbr(std::vector<std::uint8_t>& disk, const Layout& layout, std::uint32_t diskId) {
    Put32(disk, 440, diskId);
    const std::size_t entry = 446;
    disk[entry] = 0x00; // not the boot partition
    PutChs(disk, entry + 1, kFatPartitionStart);
    disk[entry + 4] = kFat16LbaPartitionType;
    PutChs(disk, entry + 5, kFatPartitionStart + layout.sectors - 1);
    Put32(disk, entry + 8, kFatPartitionStart);
    Put32(disk, entry + 12, layout.sectors);
    disk[510] = 0x55;
    disk[511] = 0xAA;
}

void WriteBootSector(std::vector<std::uint8_t>& disk, std::size_t at, const Layout& layout,
                     const FatDiskOptions& options) {
    const std::uint8_t jump[] = {0xEB, 0x3C, 0x90};
    std::copy(std::begin(jump), std::end(jump), disk.begin() + static_cast<std::ptrdiff_t>(at));
    PutText(disk, at + 3, "MSWIN4.1", 8);
    Put16(disk, at + 11, kSector);
    disk[at + 13] = static_cast<std::uint8_t>(layout.sectorsPerCluster);
    Put16(disk, at + 14, kReservedSectors);
    disk[at + 16] = kFatCount;
    Put16(disk, at + 17, kRootEntries);
    if (layout.sectors < 0x10000) {
        Put16(disk, at + 19, layout.sectors);
    } else {
        Put32(disk, at + 32, layout.sectors);
    }
    disk[at + 21] = kMediaFixed;
    Put16(disk, at + 22, layout.fatSectors);
    Put16(disk, at + 24, kSectorsPerTrack);
    Put16(disk, at + 26, kHeads);
    Put32(disk, at + 28, kFatPartitionStart); // hidden sectors before the volume
    disk[at + 36] = 0x80;                     // drive number of a hard disk
    disk[at + 38] = 0x29;                     // extended boot signature: the next three
    Put32(disk, at + 39, options.volumeId);
    PutText(disk, at + 43, VolumeLabel(options.label), 11);
    PutText(disk, at + 54, "FAT16", 8);
    // Boot code: not a system disk, so hand over to the next boot device (int 18h).
    disk[at + 62] = 0xCD;
    disk[at + 63] = 0x18;
    disk[at + 510] = 0x55;
    disk[at + 511] = 0xAA;
}

void WriteFats(std::vector<std::uint8_t>& disk, std::size_t at, const Layout& layout) {
    for (std::uint32_t fat = 0; fat < kFatCount; ++fat) {
        const std::size_t start = at + std::size_t{fat} * layout.fatSectors * kSector;
        Put16(disk, start, 0xFF00u | kMediaFixed); // entry 0: the media byte
        Put16(disk, start + 2, 0xFFFF);            // entry 1: end of chain, volume clean
    }
}

void WriteLabelEntry(std::vector<std::uint8_t>& disk, std::size_t at, const std::string& label) {
    PutText(disk, at, VolumeLabel(label), 11);
    disk[at + 11] = 0x08; // volume label
    // 2026-12-01 12:00:00, the time the image was first made.
    Put16(disk, at + 22, 12u << 11);
    Put16(disk, at + 24, ((2026u - 1980u) << 9) | (12u << 5) | 1u);
}

} // namespace

std::vector<std::uint8_t> MakeFatDisk(const FatDiskOptions& options) {
    if (options.diskBytes % kSector != 0 || options.diskBytes / kSector <= kFatPartitionStart ||
        options.diskBytes / kSector - kFatPartitionStart > 0xFFFFFFFFu) {
        throw std::invalid_argument("the disk size does not fit a FAT16 partition");
    }
    const auto partitionSectors =
        static_cast<std::uint32_t>(options.diskBytes / kSector - kFatPartitionStart);
    const Layout layout = ComputeLayout(partitionSectors);

    std::vector<std::uint8_t> disk(options.diskBytes, 0);
    WriteMbr(disk, layout, options.volumeId);
    const std::size_t volume = std::size_t{kFatPartitionStart} * kSector;
    WriteBootSector(disk, volume, layout, options);
    const std::size_t fats = volume + kReservedSectors * kSector;
    WriteFats(disk, fats, layout);
    const std::size_t root = fats + std::size_t{kFatCount} * layout.fatSectors * kSector;
    WriteLabelEntry(disk, root, options.label);
    return disk;
}

} // namespace vdrive
