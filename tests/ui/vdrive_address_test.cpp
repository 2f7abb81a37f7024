#include "app/vdrive_address.h"

#include <gtest/gtest.h>

namespace {

struct AddressCase {
    const char* text;
    const char* host;
    std::uint16_t port;
};

TEST(VirtualDriveAddress, FillsWhatTheTextGivesOverTheDefaults) {
    const VirtualDriveAddress defaults{"127.0.0.1", 48150};
    const AddressCase cases[] = {
        {"10.0.0.5:5000", "10.0.0.5", 5000}, {"example.test", "example.test", 48150},
        {":6000", "127.0.0.1", 6000},        {"", "127.0.0.1", 48150},
        {"host:0", "host", 48150},           {"host:65536", "host", 48150},
        {"host:12ab", "host", 48150},        {"host:", "host", 48150},
    };
    for (const AddressCase& c : cases) {
        const VirtualDriveAddress address = ParseVirtualDriveAddress(c.text, defaults);
        EXPECT_EQ(address.host, c.host) << c.text;
        EXPECT_EQ(address.port, c.port) << c.text;
    }
}

} // namespace
