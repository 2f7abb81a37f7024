#include "app/vdrive_address.h"

#include <charconv>

VirtualDriveAddress ParseVirtualDriveAddress(std::string_view text,
                                             const VirtualDriveAddress& defaults) {
    VirtualDriveAddress address = defaults;
    const std::size_t colon = text.rfind(':');
    const std::string_view host = text.substr(0, colon);
    if (!host.empty()) {
        address.host = std::string(host);
    }
    if (colon == std::string_view::npos) {
        return address;
    }
    const std::string_view port = text.substr(colon + 1);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (error == std::errc() && end == port.data() + port.size() && value >= 1 && value <= 65535) {
        address.port = static_cast<std::uint16_t>(value);
    }
    return address;
}
