#include "virtual_drive/usbip/pdu.h"

#include <algorithm>

#include "virtual_drive/disk/byte_order.h"

namespace vdrive::usbip {
namespace {

using scsi::GetBe;

void Append(std::vector<std::uint8_t>& out, std::size_t width, std::uint64_t value) {
    const std::size_t at = out.size();
    out.resize(at + width);
    scsi::PutBe(out, at, width, value);
}

// `text` in a NUL-padded field of `size` bytes (cut to leave one NUL at least).
void AppendText(std::vector<std::uint8_t>& out, const std::string& text, std::size_t size) {
    const std::size_t at = out.size();
    out.resize(at + size, 0);
    std::copy_n(text.begin(), std::min(text.size(), size - 1), out.begin() + static_cast<long>(at));
}

// The part of a device the device list and the import reply share.
void AppendDevice(const DeviceSummary& device, std::vector<std::uint8_t>& out) {
    AppendText(out, device.path, kPathSize);
    AppendText(out, device.busId, kBusIdSize);
    Append(out, 4, device.busNumber);
    Append(out, 4, device.deviceNumber);
    Append(out, 4, device.speed);
    Append(out, 2, device.vendorId);
    Append(out, 2, device.productId);
    Append(out, 2, device.release);
    for (const std::uint8_t byte :
         {device.deviceClass, device.deviceSubClass, device.deviceProtocol,
          device.configurationValue, device.configurations,
          static_cast<std::uint8_t>(device.interfaces.size())}) {
        out.push_back(byte);
    }
}

} // namespace

OpHeader DecodeOpHeader(std::span<const std::uint8_t, kOpHeaderSize> bytes) {
    return {static_cast<std::uint16_t>(GetBe(bytes, 0, 2)),
            static_cast<std::uint16_t>(GetBe(bytes, 2, 2)),
            static_cast<std::uint32_t>(GetBe(bytes, 4, 4))};
}

void EncodeOpHeader(const OpHeader& header, std::vector<std::uint8_t>& out) {
    Append(out, 2, header.version);
    Append(out, 2, header.code);
    Append(out, 4, header.status);
}

std::string DecodeBusId(std::span<const std::uint8_t, kBusIdSize> bytes) {
    const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    return {bytes.begin(), end};
}

void EncodeDevlistReply(std::span<const DeviceSummary> devices, std::vector<std::uint8_t>& out) {
    EncodeOpHeader({kVersion, kOpRepDevlist, kOpStatusOk}, out);
    Append(out, 4, devices.size());
    for (const DeviceSummary& device : devices) {
        AppendDevice(device, out);
        for (const DeviceSummary::Interface& interface : device.interfaces) {
            out.insert(out.end(),
                       {interface.interfaceClass, interface.subClass, interface.protocol, 0});
        }
    }
}

void EncodeImportReply(const DeviceSummary* imported, std::vector<std::uint8_t>& out) {
    EncodeOpHeader({kVersion, kOpRepImport, imported ? kOpStatusOk : kOpStatusError}, out);
    if (imported != nullptr) {
        AppendDevice(*imported, out);
    }
}

UrbHeader DecodeUrbHeader(std::span<const std::uint8_t, kUrbHeaderSize> bytes) {
    const auto word = [&bytes](std::size_t at) {
        return static_cast<std::uint32_t>(GetBe(bytes, at, 4));
    };
    UrbHeader header;
    header.command = word(0);
    header.seqnum = word(4);
    header.devid = word(8);
    header.direction = word(12);
    header.endpoint = word(16);
    header.transferFlags = word(20);
    header.transferLength = word(24);
    header.startFrame = word(28);
    header.packets = word(32);
    header.interval = word(36);
    std::copy_n(bytes.begin() + 40, 8, header.setup.begin());
    header.unlinkSeqnum = word(20);
    return header;
}

void EncodeUrbHeader(const UrbHeader& header, std::vector<std::uint8_t>& out) {
    for (const std::uint32_t value :
         {header.command, header.seqnum, header.devid, header.direction, header.endpoint}) {
        Append(out, 4, value);
    }
    if (header.command == kCmdUnlink || header.command == kRetUnlink) {
        Append(out, 4, header.unlinkSeqnum);
        out.resize(out.size() + 24, 0);
        return;
    }
    for (const std::uint32_t value : {header.transferFlags, header.transferLength,
                                      header.startFrame, header.packets, header.interval}) {
        Append(out, 4, value);
    }
    out.insert(out.end(), header.setup.begin(), header.setup.end());
}

void EncodeRetSubmit(const UrbHeader& submit, const UrbReply& reply,
                     std::vector<std::uint8_t>& out) {
    const bool in = submit.direction == kDirIn;
    const auto actual = static_cast<std::uint32_t>(in ? reply.data.size() : reply.outLength);
    Append(out, 4, kRetSubmit);
    Append(out, 4, submit.seqnum);
    out.resize(out.size() + 12, 0); // devid, direction and endpoint are zero in returns
    Append(out, 4, static_cast<std::uint32_t>(reply.status));
    Append(out, 4, actual);
    Append(out, 4, 0);              // start frame
    Append(out, 4, submit.packets); // as the submit had it: 0 or "not isochronous"
    Append(out, 4, 0);              // error count
    out.resize(out.size() + 8, 0);
    if (in) {
        out.insert(out.end(), reply.data.begin(), reply.data.end());
    }
}

void EncodeRetUnlink(std::uint32_t seqnum, std::int32_t status, std::vector<std::uint8_t>& out) {
    UrbHeader header;
    header.command = kRetUnlink;
    header.seqnum = seqnum;
    header.unlinkSeqnum = static_cast<std::uint32_t>(status);
    EncodeUrbHeader(header, out);
}

} // namespace vdrive::usbip
