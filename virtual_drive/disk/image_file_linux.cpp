// Raw image files on Linux: positioned reads and writes on one descriptor, so
// concurrent commands need no lock.
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "virtual_drive/disk/disk_image.h"
#include "virtual_drive/disk/image_file.h"

namespace vdrive {
namespace {

class PosixImageFile final : public DiskImage {
  public:
    PosixImageFile(int fd, std::uint64_t blocks) : m_fd(fd), m_blocks(blocks) {}
    ~PosixImageFile() override {
        ::fsync(m_fd);
        ::close(m_fd);
    }
    PosixImageFile(const PosixImageFile&) = delete;
    PosixImageFile& operator=(const PosixImageFile&) = delete;

    std::uint64_t BlockCount() const override { return m_blocks; }

    bool Read(std::uint64_t offset, std::span<std::uint8_t> out) override {
        while (!out.empty()) {
            const ssize_t got = ::pread(m_fd, out.data(), out.size(), static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                return false; // an error, or the file was cut short behind our back
            }
            out = out.subspan(static_cast<std::size_t>(got));
            offset += static_cast<std::uint64_t>(got);
        }
        return true;
    }

    bool Write(std::uint64_t offset, std::span<const std::uint8_t> in) override {
        while (!in.empty()) {
            const ssize_t put = ::pwrite(m_fd, in.data(), in.size(), static_cast<off_t>(offset));
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put <= 0) {
                return false;
            }
            in = in.subspan(static_cast<std::size_t>(put));
            offset += static_cast<std::uint64_t>(put);
        }
        return true;
    }

    bool Flush() override { return ::fsync(m_fd) == 0; }

  private:
    int m_fd;
    std::uint64_t m_blocks;
};

} // namespace

OpenedImage OpenImageFile(const std::filesystem::path& path) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return {nullptr, image_file::Describe(path, std::strerror(errno))};
    }
    struct stat info {};
    std::string problem;
    if (::fstat(fd, &info) != 0) {
        problem = image_file::Describe(path, std::strerror(errno));
    } else if (S_ISDIR(info.st_mode)) {
        problem = image_file::Describe(path, "is a directory");
    } else if (!S_ISREG(info.st_mode)) {
        problem = image_file::Describe(path, "not a regular file");
    } else {
        problem = image_file::SizeProblem(path, static_cast<std::uint64_t>(info.st_size));
    }
    if (problem.empty() && ::fcntl(fd, F_SETFL, 0) != 0) {
        problem = image_file::Describe(path, std::strerror(errno));
    }
    if (!problem.empty()) {
        ::close(fd);
        return {nullptr, problem};
    }
    const auto blocks = static_cast<std::uint64_t>(info.st_size) / kDiskBlockSize;
    return {std::make_unique<PosixImageFile>(fd, blocks), {}};
}

} // namespace vdrive
