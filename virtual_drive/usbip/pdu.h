// The USB/IP wire format (protocol version 1.1.1, as the kernel's vhci-hcd, the usbip tool
// and usbip-win2 speak it): the operation messages a connection starts with (device list,
// import) and the URB messages of an imported device (submit, unlink and their returns).
// Every field is big-endian; the setup packet travels as the USB bytes it is.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vdrive::usbip {

inline constexpr std::uint16_t kVersion = 0x0111;

inline constexpr std::uint16_t kOpReqDevlist = 0x8005;
inline constexpr std::uint16_t kOpRepDevlist = 0x0005;
inline constexpr std::uint16_t kOpReqImport = 0x8003;
inline constexpr std::uint16_t kOpRepImport = 0x0003;
inline constexpr std::uint32_t kOpStatusOk = 0;
inline constexpr std::uint32_t kOpStatusError = 1;

inline constexpr std::uint32_t kCmdSubmit = 1;
inline constexpr std::uint32_t kCmdUnlink = 2;
inline constexpr std::uint32_t kRetSubmit = 3;
inline constexpr std::uint32_t kRetUnlink = 4;

inline constexpr std::uint32_t kDirOut = 0;
inline constexpr std::uint32_t kDirIn = 1;

// URB completion codes as Linux numbers them (negative errno).
inline constexpr std::int32_t kStatusOk = 0;
inline constexpr std::int32_t kStatusStall = -32;     // -EPIPE
inline constexpr std::int32_t kStatusUnlinked = -104; // -ECONNRESET

inline constexpr std::size_t kOpHeaderSize = 8;
inline constexpr std::size_t kUrbHeaderSize = 48;
inline constexpr std::size_t kBusIdSize = 32;
inline constexpr std::size_t kPathSize = 256;
inline constexpr std::size_t kImportReplySize = kOpHeaderSize + 312;
// The largest transfer one URB may carry here (usb-storage asks for at most 240 KiB).
inline constexpr std::uint32_t kMaxTransfer = 1u << 20;

struct OpHeader {
    std::uint16_t version = kVersion;
    std::uint16_t code = 0;
    std::uint32_t status = kOpStatusOk;
};

OpHeader DecodeOpHeader(std::span<const std::uint8_t, kOpHeaderSize> bytes);
void EncodeOpHeader(const OpHeader& header, std::vector<std::uint8_t>& out);
// The bus id of an import request (32 bytes, NUL-padded; the text up to the first NUL).
std::string DecodeBusId(std::span<const std::uint8_t, kBusIdSize> bytes);

// What the device list and the import reply say about one device.
struct DeviceSummary {
    std::string path;  // sysfs-like, at most 255 characters
    std::string busId; // "1-1", at most 31 characters
    std::uint32_t busNumber = 1;
    std::uint32_t deviceNumber = 1;
    std::uint32_t speed = 3; // high speed
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t release = 0; // bcdDevice
    std::uint8_t deviceClass = 0;
    std::uint8_t deviceSubClass = 0;
    std::uint8_t deviceProtocol = 0;
    std::uint8_t configurationValue = 0;
    std::uint8_t configurations = 1;
    struct Interface {
        std::uint8_t interfaceClass = 0;
        std::uint8_t subClass = 0;
        std::uint8_t protocol = 0;
    };
    std::vector<Interface> interfaces;
    std::uint32_t DeviceId() const { return busNumber << 16 | deviceNumber; }
};

void EncodeDevlistReply(std::span<const DeviceSummary> devices, std::vector<std::uint8_t>& out);
// A refused import is its 8-byte header alone.
void EncodeImportReply(const DeviceSummary* imported, std::vector<std::uint8_t>& out);

// The 48-byte header of a URB message. For CMD_SUBMIT the transfer fields follow the
// basic ones; for CMD_UNLINK only `unlinkSeqnum` is used.
struct UrbHeader {
    std::uint32_t command = 0;
    std::uint32_t seqnum = 0;
    std::uint32_t devid = 0;
    std::uint32_t direction = kDirOut;
    std::uint32_t endpoint = 0;
    // CMD_SUBMIT
    std::uint32_t transferFlags = 0;
    std::uint32_t transferLength = 0;
    std::uint32_t startFrame = 0;
    std::uint32_t packets = 0; // 0 or 0xFFFFFFFF: not isochronous
    std::uint32_t interval = 0;
    std::array<std::uint8_t, 8> setup{};
    // CMD_UNLINK
    std::uint32_t unlinkSeqnum = 0;
};

UrbHeader DecodeUrbHeader(std::span<const std::uint8_t, kUrbHeaderSize> bytes);
void EncodeUrbHeader(const UrbHeader& header, std::vector<std::uint8_t>& out);

// True for a submit with isochronous packets, which this device has no endpoint for.
inline bool IsIsochronous(const UrbHeader& header) {
    return header.packets != 0 && header.packets != 0xFFFFFFFFu;
}

// The answer to one CMD_SUBMIT.
struct UrbReply {
    std::int32_t status = kStatusOk;
    std::vector<std::uint8_t> data; // IN transfers: what was read
    std::uint32_t outLength = 0;    // OUT transfers: how much was taken
};

// RET_SUBMIT for `submit` (its seqnum, its packet count echoed), with the data of an IN.
void EncodeRetSubmit(const UrbHeader& submit, const UrbReply& reply,
                     std::vector<std::uint8_t>& out);
void EncodeRetUnlink(std::uint32_t seqnum, std::int32_t status, std::vector<std::uint8_t>& out);

} // namespace vdrive::usbip
