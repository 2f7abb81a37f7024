// Raw image files on Windows: an unbuffered C stream (no copy in between), one command at
// a time because seek and transfer are two steps.
#include <cstdio>
#include <mutex>
#include <system_error>

#include <io.h>

#include "virtual_drive/disk/disk_image.h"
#include "virtual_drive/disk/image_file.h"

namespace vdrive {
namespace {

class StreamImageFile final : public DiskImage {
  public:
    StreamImageFile(std::FILE* file, std::uint64_t blocks) : m_file(file), m_blocks(blocks) {}
    ~StreamImageFile() override {
        Flush();
        std::fclose(m_file);
    }
    StreamImageFile(const StreamImageFile&) = delete;
    StreamImageFile& operator=(const StreamImageFile&) = delete;

    std::uint64_t BlockCount() const override { return m_blocks; }

    bool Read(std::uint64_t offset, std::span<std::uint8_t> out) override {
        std::lock_guard lock(m_mutex);
        return Seek(offset) && std::fread(out.data(), 1, out.size(), m_file) == out.size();
    }

    bool Write(std::uint64_t offset, std::span<const std::uint8_t> in) override {
        std::lock_guard lock(m_mutex);
        return Seek(offset) && std::fwrite(in.data(), 1, in.size(), m_file) == in.size();
    }

    bool Flush() override {
        std::lock_guard lock(m_mutex);
        return std::fflush(m_file) == 0 && _commit(_fileno(m_file)) == 0;
    }

  private:
    bool Seek(std::uint64_t offset) {
        return _fseeki64(m_file, static_cast<long long>(offset), SEEK_SET) == 0;
    }

    std::mutex m_mutex;
    std::FILE* m_file;
    std::uint64_t m_blocks;
};

} // namespace

OpenedImage OpenImageFile(const std::filesystem::path& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error) {
        return {nullptr, image_file::Describe(path, error.message())};
    }
    if (std::filesystem::is_directory(status)) {
        return {nullptr, image_file::Describe(path, "is a directory")};
    }
    if (!std::filesystem::is_regular_file(status)) {
        return {nullptr, image_file::Describe(path, "not a regular file")};
    }
    const std::uint64_t size = std::filesystem::file_size(path, error);
    if (error) {
        return {nullptr, image_file::Describe(path, error.message())};
    }
    if (std::string problem = image_file::SizeProblem(path, size); !problem.empty()) {
        return {nullptr, problem};
    }
    std::FILE* file = _wfopen(path.c_str(), L"r+b");
    if (file == nullptr) {
        return {nullptr, image_file::Describe(path, "cannot be opened for reading and writing")};
    }
    std::setvbuf(file, nullptr, _IONBF, 0);
    return {std::make_unique<StreamImageFile>(file, size / kDiskBlockSize), {}};
}

} // namespace vdrive
