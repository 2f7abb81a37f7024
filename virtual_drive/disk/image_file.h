// What the platform files of OpenImageFile share.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace vdrive::image_file {

// Empty when a file of `size` bytes can be served as a disk, else the reason.
std::string SizeProblem(const std::filesystem::path& path, std::uint64_t size);

std::string Describe(const std::filesystem::path& path, const std::string& problem);

} // namespace vdrive::image_file
