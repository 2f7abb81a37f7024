// Endpoint 0 of the virtual drive's USB device: the standard requests a host sends to
// enumerate and configure a mass-storage device, and the two Bulk-Only class requests
// (Get Max LUN, Bulk-Only Mass Storage Reset). Anything else stalls.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "virtual_drive/usbip/bulk_only.h"
#include "virtual_drive/usbip/descriptors.h"
#include "virtual_drive/usbip/pdu.h"

namespace vdrive::usbip {

struct SetupPacket {
    std::uint8_t requestType = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;
};

// The 8 setup bytes as USB sends them (little-endian fields).
SetupPacket DecodeSetup(const std::array<std::uint8_t, 8>& bytes);

class ControlEndpoint {
  public:
    // The transport's halts and resets are the endpoint's to clear and do.
    ControlEndpoint(UsbIdentity identity, BulkOnlyTransport& transport)
        : m_identity(std::move(identity)), m_transport(transport) {}

    // One control transfer: a stall, the data read (cut to wLength), or the data taken.
    UrbReply Handle(const SetupPacket& setup, std::span<const std::uint8_t> dataOut);

    std::uint8_t Configuration() const { return m_configuration; }

  private:
    UrbReply Standard(const SetupPacket& setup);
    UrbReply GetDescriptor(const SetupPacket& setup) const;
    UrbReply Class(const SetupPacket& setup);

    const UsbIdentity m_identity;
    BulkOnlyTransport& m_transport;
    std::uint8_t m_configuration = 0;
};

} // namespace vdrive::usbip
