// The in-memory image: readers share the lock, a writer holds it alone.
#include <algorithm>
#include <mutex>
#include <shared_mutex>
#include <stdexcept>

#include "virtual_drive/disk/disk_image.h"

namespace vdrive {
namespace {

class MemoryImage final : public DiskImage {
  public:
    explicit MemoryImage(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}

    std::uint64_t BlockCount() const override { return m_bytes.size() / kDiskBlockSize; }

    bool Read(std::uint64_t offset, std::span<std::uint8_t> out) override {
        if (!InRange(offset, out.size())) {
            return false;
        }
        std::shared_lock lock(m_mutex);
        std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
        return true;
    }

    bool Write(std::uint64_t offset, std::span<const std::uint8_t> in) override {
        if (!InRange(offset, in.size())) {
            return false;
        }
        std::unique_lock lock(m_mutex);
        std::copy(in.begin(), in.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(offset));
        return true;
    }

    bool Flush() override { return true; }

  private:
    bool InRange(std::uint64_t offset, std::size_t size) const {
        return offset <= m_bytes.size() && size <= m_bytes.size() - offset;
    }

    std::shared_mutex m_mutex;
    std::vector<std::uint8_t> m_bytes;
};

} // namespace

std::unique_ptr<DiskImage> MakeMemoryImage(std::vector<std::uint8_t> bytes) {
    if (bytes.empty() || bytes.size() % kDiskBlockSize != 0) {
        throw std::invalid_argument("a disk image holds a non-zero number of 512-byte blocks");
    }
    return std::make_unique<MemoryImage>(std::move(bytes));
}

} // namespace vdrive
