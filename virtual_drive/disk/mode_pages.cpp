#include "virtual_drive/disk/mode_pages.h"

#include <algorithm>

#include "virtual_drive/disk/byte_order.h"
#include "virtual_drive/disk/disk_image.h"

namespace vdrive {
namespace {

using scsi::PutBe;

constexpr std::uint8_t kCachingPage = 0x08;
constexpr std::uint8_t kControlPage = 0x0A;
constexpr std::uint8_t kAllPages = 0x3F;
constexpr std::uint8_t kAllSubpages = 0xFF;
constexpr std::uint8_t kDpoFua = 0x10; // device-specific parameter; WP (0x80) stays clear

void AppendPage(std::vector<std::uint8_t>& data, std::uint8_t page, bool changeable) {
    std::vector<std::uint8_t> body;
    if (page == kCachingPage) {
        body.assign(0x12, 0);
        body[0] = 0x04; // WCE: SYNCHRONIZE CACHE makes writes durable
    } else {
        body.assign(0x0A, 0);
        body[1] = 0x10; // unrestricted reordering; fixed-format sense (D_SENSE clear)
    }
    if (changeable) {
        std::fill(body.begin(), body.end(), 0);
    }
    data.push_back(page);
    data.push_back(static_cast<std::uint8_t>(body.size()));
    data.insert(data.end(), body.begin(), body.end());
}

void AppendBlockDescriptor(std::vector<std::uint8_t>& data, bool longLba,
                           std::uint64_t blockCount) {
    const std::size_t at = data.size();
    if (longLba) {
        data.resize(at + 16, 0);
        PutBe(data, at, 8, blockCount);
        PutBe(data, at + 12, 4, kDiskBlockSize);
    } else {
        data.resize(at + 8, 0);
        PutBe(data, at, 4, std::min<std::uint64_t>(blockCount, 0xFFFFFFFFu));
        PutBe(data, at + 5, 3, kDiskBlockSize);
    }
}

} // namespace

ModeSenseReply ModeSense(const ModeSenseRequest& request, std::uint64_t blockCount) {
    if (request.pageControl == 3) {
        return {{}, scsi::kSavingParametersNotSupported};
    }
    const bool all = request.page == kAllPages;
    const bool knownPage = all || request.page == kCachingPage || request.page == kControlPage;
    const bool knownSubpage = request.subpage == 0 || (all && request.subpage == kAllSubpages);
    if (!knownPage || !knownSubpage) {
        return {{}, scsi::kInvalidFieldInCdb};
    }

    const bool longLba = request.tenByte && request.longLba;
    const std::size_t header = request.tenByte ? 8 : 4;
    std::vector<std::uint8_t> data(header, 0);
    data[request.tenByte ? 3 : 2] = kDpoFua;
    if (!request.disableBlockDescriptors) {
        AppendBlockDescriptor(data, longLba, blockCount);
    }
    const std::size_t descriptors = data.size() - header;
    const bool changeable = request.pageControl == 1;
    for (const std::uint8_t page : {kCachingPage, kControlPage}) {
        if (all || request.page == page) {
            AppendPage(data, page, changeable);
        }
    }
    if (request.tenByte) {
        PutBe(data, 0, 2, data.size() - 2);
        data[4] = longLba ? 0x01 : 0x00;
        PutBe(data, 6, 2, descriptors);
    } else {
        data[0] = static_cast<std::uint8_t>(data.size() - 1);
        data[3] = static_cast<std::uint8_t>(descriptors);
    }
    return {std::move(data), std::nullopt};
}

} // namespace vdrive
