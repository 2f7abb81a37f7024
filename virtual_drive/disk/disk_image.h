// The storage behind a virtual drive's SCSI disk: a run of 512-byte blocks, in memory or
// in a raw image file served in place. Safe to use from several threads at once.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace vdrive {

inline constexpr std::uint32_t kDiskBlockSize = 512;

class DiskImage {
  public:
    virtual ~DiskImage() = default;
    virtual std::uint64_t BlockCount() const = 0;
    // Byte-addressed; the caller keeps offset + size within BlockCount() blocks. False on
    // an I/O error (the file shrank, the disk is full, ...).
    virtual bool Read(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
    virtual bool Write(std::uint64_t offset, std::span<const std::uint8_t> in) = 0;
    // Makes everything written so far durable.
    virtual bool Flush() = 0;
};

// An image in memory that starts with `bytes` (its size a non-zero multiple of 512).
std::unique_ptr<DiskImage> MakeMemoryImage(std::vector<std::uint8_t> bytes);

struct OpenedImage {
    std::unique_ptr<DiskImage> image; // null on failure
    std::string error;                // why, in words, with the path
};

// Serves the raw image file at `path` in place: every write goes straight to the file,
// Flush() and closing make it durable. Only a regular file whose size is a non-zero
// multiple of 512 is accepted; a directory, a FIFO or a device is refused without
// blocking on it.
OpenedImage OpenImageFile(const std::filesystem::path& path);

} // namespace vdrive
