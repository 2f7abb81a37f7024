#include "virtual_drive/usbip/control_requests.h"

#include <algorithm>

namespace vdrive::usbip {
namespace {

namespace request {
constexpr std::uint8_t kGetStatus = 0x00;
constexpr std::uint8_t kClearFeature = 0x01;
constexpr std::uint8_t kSetFeature = 0x03;
constexpr std::uint8_t kSetAddress = 0x05;
constexpr std::uint8_t kGetDescriptor = 0x06;
constexpr std::uint8_t kGetConfiguration = 0x08;
constexpr std::uint8_t kSetConfiguration = 0x09;
constexpr std::uint8_t kGetInterface = 0x0A;
constexpr std::uint8_t kSetInterface = 0x0B;
constexpr std::uint8_t kGetMaxLun = 0xFE;
constexpr std::uint8_t kMassStorageReset = 0xFF;
} // namespace request

constexpr std::uint8_t kTypeMask = 0x60;
constexpr std::uint8_t kTypeStandard = 0x00;
constexpr std::uint8_t kTypeClass = 0x20;
constexpr std::uint8_t kRecipientMask = 0x1F;
constexpr std::uint8_t kToInterface = 1;
constexpr std::uint8_t kToEndpoint = 2;
constexpr std::uint8_t kToOther = 3; // a hub port, as some hosts send a port reset
constexpr std::uint16_t kEndpointHalt = 0;
constexpr std::uint16_t kPortReset = 4;

UrbReply Stalled() {
    UrbReply reply;
    reply.status = kStatusStall;
    return reply;
}

UrbReply Data(std::vector<std::uint8_t> data, std::uint16_t length) {
    UrbReply reply;
    data.resize(std::min<std::size_t>(data.size(), length));
    reply.data = std::move(data);
    return reply;
}

bool BulkEndpoint(std::uint16_t index) {
    return index == kBulkInEndpoint || index == kBulkOutEndpoint;
}

} // namespace

SetupPacket DecodeSetup(const std::array<std::uint8_t, 8>& bytes) {
    const auto word = [&bytes](std::size_t at) {
        return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
    };
    return {bytes[0], bytes[1], word(2), word(4), word(6)};
}

UrbReply ControlEndpoint::Handle(const SetupPacket& setup, std::span<const std::uint8_t> dataOut) {
    static_cast<void>(dataOut); // no request here takes data
    switch (setup.requestType & kTypeMask) {
    case kTypeStandard:
        return Standard(setup);
    case kTypeClass:
        return Class(setup);
    default:
        return Stalled();
    }
}

UrbReply ControlEndpoint::Standard(const SetupPacket& setup) {
    const std::uint8_t recipient = setup.requestType & kRecipientMask;
    switch (setup.request) {
    case request::kGetDescriptor:
        return GetDescriptor(setup);
    case request::kGetStatus:
        if (recipient == kToEndpoint) {
            if (setup.index != 0 && !BulkEndpoint(setup.index)) {
                return Stalled();
            }
            const bool halted = setup.index != 0 && m_transport.Halted(setup.index & 0xFF);
            return Data({static_cast<std::uint8_t>(halted ? 1 : 0), 0}, setup.length);
        }
        return Data({0, 0}, setup.length); // bus-powered, no remote wake-up
    case request::kClearFeature:
        if (recipient == kToEndpoint && setup.value == kEndpointHalt &&
            (setup.index == 0 || BulkEndpoint(setup.index))) {
            if (setup.index != 0) {
                m_transport.ClearHalt(static_cast<std::uint8_t>(setup.index));
            }
            return {};
        }
        return Stalled();
    case request::kSetFeature:
        if (recipient == kToOther && setup.value == kPortReset) {
            m_transport.Reset(); // a port reset as usbip-win2 may pass it on
            return {};
        }
        return Stalled();
    case request::kSetAddress:
        return {}; // the host controller's business: vhci-hcd answers it itself
    case request::kGetConfiguration:
        return Data({m_configuration}, setup.length);
    case request::kSetConfiguration:
        if (setup.value > kConfigurationValue) {
            return Stalled();
        }
        // Configuring the device (again) is where a reset of the bus ends.
        m_configuration = static_cast<std::uint8_t>(setup.value);
        m_transport.Reset();
        m_transport.ClearHalt(kBulkInEndpoint);
        m_transport.ClearHalt(kBulkOutEndpoint);
        return {};
    case request::kGetInterface:
        return setup.index == 0 ? Data({0}, setup.length) : Stalled();
    case request::kSetInterface:
        return setup.index == 0 && setup.value == 0 ? UrbReply{} : Stalled();
    default:
        return Stalled();
    }
}

UrbReply ControlEndpoint::GetDescriptor(const SetupPacket& setup) const {
    const auto type = static_cast<std::uint8_t>(setup.value >> 8);
    const auto index = static_cast<std::uint8_t>(setup.value);
    switch (type) {
    case 1:
        return Data(DeviceDescriptor(m_identity), setup.length);
    case 2:
        return index == 0 ? Data(ConfigurationDescriptor(), setup.length) : Stalled();
    case 3:
        if (auto text = StringDescriptor(m_identity, index)) {
            return Data(std::move(*text), setup.length);
        }
        return Stalled();
    case 6:
        return Data(DeviceQualifier(), setup.length);
    default:
        return Stalled();
    }
}

UrbReply ControlEndpoint::Class(const SetupPacket& setup) {
    const bool toInterface0 =
        (setup.requestType & kRecipientMask) == kToInterface && setup.index == 0;
    if (toInterface0 && setup.request == request::kGetMaxLun && setup.value == 0 &&
        setup.length == 1) {
        return Data({0}, setup.length); // one logical unit
    }
    if (toInterface0 && setup.request == request::kMassStorageReset && setup.value == 0 &&
        setup.length == 0) {
        m_transport.Reset();
        return {};
    }
    return Stalled();
}

} // namespace vdrive::usbip
