#include "virtual_drive/usbip/descriptors.h"

#include <cstdio>

namespace vdrive::usbip {
namespace {

constexpr std::uint8_t kDeviceType = 1;
constexpr std::uint8_t kConfigurationType = 2;
constexpr std::uint8_t kStringType = 3;
constexpr std::uint8_t kInterfaceType = 4;
constexpr std::uint8_t kEndpointType = 5;
constexpr std::uint8_t kQualifierType = 6;
constexpr std::uint8_t kControlPacketSize = 64;
constexpr std::uint16_t kUsb20 = 0x0200;
constexpr std::uint8_t kBulk = 0x02;

std::uint8_t Low(std::uint16_t value) {
    return static_cast<std::uint8_t>(value);
}
std::uint8_t High(std::uint16_t value) {
    return static_cast<std::uint8_t>(value >> 8);
}

std::vector<std::uint8_t> Endpoint(std::uint8_t address) {
    return {7, kEndpointType, address, kBulk, Low(kBulkPacketSize), High(kBulkPacketSize), 0};
}

} // namespace

UsbIdentity UsbIdentityFor(char letter, bool fingerprintDrive) {
    UsbIdentity identity;
    if (!fingerprintDrive) {
        identity.product = "Virtual USB Flash Disk";
    }
    char serial[16];
    std::snprintf(serial, sizeof serial, "7E55A10C%04X", static_cast<unsigned char>(letter));
    identity.serial = serial;
    return identity;
}

std::vector<std::uint8_t> DeviceDescriptor(const UsbIdentity& identity) {
    // The class is given by the interface; strings 1, 2 and 3; one configuration.
    return {18,
            kDeviceType,
            Low(kUsb20),
            High(kUsb20),
            0,
            0,
            0,
            kControlPacketSize,
            Low(identity.vendorId),
            High(identity.vendorId),
            Low(identity.productId),
            High(identity.productId),
            Low(identity.release),
            High(identity.release),
            1,
            2,
            3,
            1};
}

std::vector<std::uint8_t> ConfigurationDescriptor() {
    constexpr std::uint16_t kTotal = 9 + 9 + 7 + 7;
    // Bus-powered, 100 mA.
    std::vector<std::uint8_t> data{
        9, kConfigurationType, Low(kTotal), High(kTotal), 1, kConfigurationValue, 0, 0x80, 50};
    const std::vector<std::uint8_t> interface {
        9, kInterfaceType, 0, 0, 2, kMassStorageClass, kScsiTransparentSubClass, kBulkOnlyProtocol,
            0
    };
    data.insert(data.end(), interface.begin(), interface.end());
    for (const std::uint8_t address : {kBulkInEndpoint, kBulkOutEndpoint}) {
        const std::vector<std::uint8_t> endpoint = Endpoint(address);
        data.insert(data.end(), endpoint.begin(), endpoint.end());
    }
    return data;
}

std::vector<std::uint8_t> DeviceQualifier() {
    return {10, kQualifierType, Low(kUsb20), High(kUsb20), 0, 0, 0, kControlPacketSize, 1, 0};
}

std::optional<std::vector<std::uint8_t>> StringDescriptor(const UsbIdentity& identity,
                                                          std::uint8_t index) {
    const std::string* text = nullptr;
    switch (index) {
    case 0:
        return std::vector<std::uint8_t>{4, kStringType, 0x09, 0x04};
    case 1:
        text = &identity.manufacturer;
        break;
    case 2:
        text = &identity.product;
        break;
    case 3:
        text = &identity.serial;
        break;
    default:
        return std::nullopt;
    }
    // ASCII texts: UTF-16LE is each byte and a zero.
    std::vector<std::uint8_t> data{static_cast<std::uint8_t>(2 + 2 * text->size()), kStringType};
    for (const char c : *text) {
        data.push_back(static_cast<std::uint8_t>(c));
        data.push_back(0);
    }
    return data;
}

} // namespace vdrive::usbip
