// The virtual drive's address for the demo program: "host:port", "host" or ":port";
// missing parts keep the defaults. Portable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct VirtualDriveAddress {
    std::string host;
    std::uint16_t port = 0;
};

// `text` parsed over `defaults`; a port that is not a number from 1 to 65535 keeps the
// default port.
VirtualDriveAddress ParseVirtualDriveAddress(std::string_view text,
                                             const VirtualDriveAddress& defaults);
