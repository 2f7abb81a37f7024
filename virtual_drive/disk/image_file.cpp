#include "virtual_drive/disk/image_file.h"

#include "virtual_drive/disk/disk_image.h"

namespace vdrive::image_file {

std::string SizeProblem(const std::filesystem::path& path, std::uint64_t size) {
    if (size == 0) {
        return Describe(path, "the file is empty");
    }
    if (size % kDiskBlockSize != 0) {
        return Describe(path,
                        "its size, " + std::to_string(size) + " bytes, is not a multiple of 512");
    }
    return {};
}

std::string Describe(const std::filesystem::path& path, const std::string& problem) {
    return "disk image " + path.string() + ": " + problem;
}

} // namespace vdrive::image_file
