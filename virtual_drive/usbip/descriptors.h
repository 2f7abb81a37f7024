// The USB descriptors of the virtual drive's USB device: a high-speed mass-storage device
// with one configuration, one interface (class 8, SCSI transparent, Bulk-Only) and two
// bulk endpoints of 512 bytes, with manufacturer, product and serial number strings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vdrive::usbip {

inline constexpr std::uint8_t kBulkInEndpoint = 0x81;
inline constexpr std::uint8_t kBulkOutEndpoint = 0x02;
inline constexpr std::uint16_t kBulkPacketSize = 512;
inline constexpr std::uint8_t kConfigurationValue = 1;
inline constexpr std::uint8_t kMassStorageClass = 0x08;
inline constexpr std::uint8_t kScsiTransparentSubClass = 0x06;
inline constexpr std::uint8_t kBulkOnlyProtocol = 0x50;

struct UsbIdentity {
    // The pid.codes test identifiers: no maker's numbers are claimed.
    std::uint16_t vendorId = 0x1209;
    std::uint16_t productId = 0x0001;
    std::uint16_t release = 0x0100;
    std::string manufacturer = "tessalok";
    std::string product = "Virtual Fingerprint Drive";
    std::string serial; // 12 or more upper-case hexadecimal digits, unique per device
};

// The identity of the volume at `letter`: its serial number names the letter.
UsbIdentity UsbIdentityFor(char letter, bool fingerprintDrive);

std::vector<std::uint8_t> DeviceDescriptor(const UsbIdentity& identity);
// The configuration with its interface and endpoint descriptors.
std::vector<std::uint8_t> ConfigurationDescriptor();
std::vector<std::uint8_t> DeviceQualifier();
// String 0 is the language list (US English); 1 to 3 are the identity's strings.
std::optional<std::vector<std::uint8_t>> StringDescriptor(const UsbIdentity& identity,
                                                          std::uint8_t index);

} // namespace vdrive::usbip
