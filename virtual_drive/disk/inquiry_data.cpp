#include "virtual_drive/disk/inquiry_data.h"

#include <algorithm>
#include <span>

#include "virtual_drive/disk/byte_order.h"

namespace vdrive {
namespace {

using scsi::PutBe;

constexpr std::uint8_t kDirectAccess = 0x00;
constexpr std::size_t kStandardLength = 96;
// Version descriptors: SAM-5, iSCSI, SPC-4, SBC-3.
constexpr std::uint16_t kVersionDescriptors[] = {0x00A0, 0x0960, 0x0460, 0x04C0};
constexpr std::uint8_t kSupportedPages[] = {0x00, 0x80, 0x83, 0xB0, 0xB1};

// Printable ASCII only, as identification fields must be; padded with blanks.
void PutAscii(std::vector<std::uint8_t>& data, std::size_t at, const std::string& text,
              std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        const char c = i < text.size() ? text[i] : ' ';
        data[at + i] = c >= 0x20 && c <= 0x7E ? static_cast<std::uint8_t>(c) : '_';
    }
}

std::vector<std::uint8_t> PageHeader(std::uint8_t page, std::size_t length) {
    std::vector<std::uint8_t> data(4 + length, 0);
    data[0] = kDirectAccess;
    data[1] = page;
    PutBe(data, 2, 2, length);
    return data;
}

std::vector<std::uint8_t> SupportedPages() {
    auto data = PageHeader(0x00, std::size(kSupportedPages));
    std::copy(std::begin(kSupportedPages), std::end(kSupportedPages), data.begin() + 4);
    return data;
}

std::vector<std::uint8_t> SerialNumberPage(const DiskIdentity& identity) {
    const std::size_t length = std::min<std::size_t>(identity.serial.size(), 250);
    auto data = PageHeader(0x80, length);
    PutAscii(data, 4, identity.serial, length);
    return data;
}

std::uint64_t Fnv1a(const std::string& text) {
    std::uint64_t hash = 0xCBF29CE484222325u;
    for (const char c : text) {
        hash = (hash ^ static_cast<std::uint8_t>(c)) * 0x100000001B3u;
    }
    return hash;
}

// A T10 vendor identification of the unit (vendor and serial), and an NAA locally
// assigned name derived from them for initiators that want a binary one.
std::vector<std::uint8_t> DeviceIdentificationPage(const DiskIdentity& identity) {
    const std::string serial = identity.serial.substr(0, 200);
    const std::size_t t10Length = 8 + serial.size();
    const std::size_t naaLength = 8;
    auto data = PageHeader(0x83, 4 + t10Length + 4 + naaLength);
    std::size_t at = 4;
    data[at] = 0x02;     // ASCII
    data[at + 1] = 0x01; // associated with the logical unit; T10 vendor ID
    data[at + 3] = static_cast<std::uint8_t>(t10Length);
    PutAscii(data, at + 4, identity.vendor, 8);
    PutAscii(data, at + 12, serial, serial.size());
    at += 4 + t10Length;
    data[at] = 0x01;     // binary
    data[at + 1] = 0x03; // associated with the logical unit; NAA
    data[at + 3] = naaLength;
    const std::uint64_t naa =
        (std::uint64_t{3} << 60) | (Fnv1a(identity.vendor + serial) & 0x0FFFFFFFFFFFFFFFu);
    PutBe(data, at + 4, 8, naa);
    return data;
}

std::vector<std::uint8_t> BlockLimitsPage() {
    auto data = PageHeader(0xB0, 0x3C);
    PutBe(data, 6, 2, kOptimalGranularityBlocks);
    PutBe(data, 8, 4, kMaxTransferBlocks);
    PutBe(data, 12, 4, kMaxTransferBlocks);
    // No UNMAP, no WRITE SAME, no atomic writes: the rest stays zero.
    return data;
}

std::vector<std::uint8_t> BlockCharacteristicsPage() {
    auto data = PageHeader(0xB1, 0x3C);
    PutBe(data, 4, 2, 0x0001); // non-rotating medium (flash)
    return data;
}

} // namespace

std::vector<std::uint8_t> StandardInquiry(const DiskIdentity& identity) {
    std::vector<std::uint8_t> data(kStandardLength, 0);
    data[0] = kDirectAccess;
    data[1] = 0x80; // RMB: removable medium
    data[2] = 0x06; // SPC-4
    data[3] = 0x12; // HISUP, response data format 2
    data[4] = static_cast<std::uint8_t>(kStandardLength - 5);
    data[7] = 0x02; // CMDQUE: commands complete independently
    PutAscii(data, 8, identity.vendor, 8);
    PutAscii(data, 16, identity.product, 16);
    PutAscii(data, 32, identity.revision, 4);
    std::size_t at = 58;
    for (const std::uint16_t descriptor : kVersionDescriptors) {
        PutBe(data, at, 2, descriptor);
        at += 2;
    }
    return data;
}

std::optional<std::vector<std::uint8_t>> VpdPage(std::uint8_t page, const DiskIdentity& identity) {
    switch (page) {
    case 0x00:
        return SupportedPages();
    case 0x80:
        return SerialNumberPage(identity);
    case 0x83:
        return DeviceIdentificationPage(identity);
    case 0xB0:
        return BlockLimitsPage();
    case 0xB1:
        return BlockCharacteristicsPage();
    default:
        return std::nullopt;
    }
}

} // namespace vdrive
