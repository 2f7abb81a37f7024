// Endpoint 0: what a host asks to enumerate and configure the device, the two Bulk-Only
// class requests, and the stall for everything else.
#include <gtest/gtest.h>

#include "usbip_client.h"
#include "virtual_drive/usbip/control_requests.h"

using namespace vdrive::usbip;
using usbip_test::SetupBytes;

namespace {

class NoUnit final : public vdrive::IScsiLogicalUnit {
  public:
    vdrive::ScsiTaskResult Execute(const vdrive::ScsiTask&) override { return {}; }
};

class ControlTest : public ::testing::Test {
  protected:
    UrbReply Ask(std::uint8_t type, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                 std::uint16_t length) {
        return control.Handle(DecodeSetup(SetupBytes(type, request, value, index, length)), {});
    }

    NoUnit unit;
    BulkOnlyTransport transport{unit, 1};
    ControlEndpoint control{UsbIdentityFor('E', true), transport};
};

struct DescriptorCase {
    const char* what;
    std::uint16_t value;
    std::uint16_t length;
    std::size_t size; // what comes back
    std::uint8_t type;
};

TEST_F(ControlTest, DescriptorsAreWhatAMassStorageDeviceGivesCutToTheLengthAsked) {
    for (const DescriptorCase& c : std::vector<DescriptorCase>{
             {"device", 0x0100, 64, 18, 1},
             {"device, first 8 bytes", 0x0100, 8, 8, 1},
             {"configuration header", 0x0200, 9, 9, 2},
             {"configuration whole", 0x0200, 255, 32, 2},
             {"languages", 0x0300, 255, 4, 3},
             {"serial number", 0x0303, 255, 2 + 2 * 12, 3},
             {"device qualifier", 0x0600, 10, 10, 6},
         }) {
        const UrbReply reply = Ask(0x80, 0x06, c.value, 0, c.length);
        EXPECT_EQ(reply.status, kStatusOk) << c.what;
        ASSERT_EQ(reply.data.size(), c.size) << c.what;
        EXPECT_EQ(reply.data[1], c.type) << c.what;
    }
    const UrbReply config = Ask(0x80, 0x06, 0x0200, 0, 255);
    EXPECT_EQ(std::vector<std::uint8_t>(config.data.begin() + 14, config.data.begin() + 17),
              (std::vector<std::uint8_t>{8, 6, 0x50})); // mass storage, SCSI, Bulk-Only
    EXPECT_EQ(config.data[20], 0x81);                   // bulk in
    EXPECT_EQ(config.data[22] | config.data[23] << 8, 512);
    EXPECT_EQ(config.data[27], 0x02); // bulk out
}

TEST_F(ControlTest, ConfigurationInterfaceAndTheClassRequestsAreAnswered) {
    EXPECT_EQ(Ask(0x80, 0x08, 0, 0, 1).data, std::vector<std::uint8_t>{0});
    EXPECT_EQ(Ask(0x00, 0x09, 1, 0, 0).status, kStatusOk);
    EXPECT_EQ(Ask(0x80, 0x08, 0, 0, 1).data, std::vector<std::uint8_t>{1});
    EXPECT_EQ(Ask(0x01, 0x0B, 0, 0, 0).status, kStatusOk); // SET_INTERFACE 0, alternate 0
    EXPECT_EQ(Ask(0x80, 0x00, 0, 0, 2).data, (std::vector<std::uint8_t>{0, 0}));
    EXPECT_EQ(Ask(0xA1, 0xFE, 0, 0, 1).data, std::vector<std::uint8_t>{0}); // one LUN
    EXPECT_EQ(Ask(0x21, 0xFF, 0, 0, 0).status, kStatusOk);                  // reset
}

TEST_F(ControlTest, EverythingElseStalls) {
    struct Case {
        const char* what;
        std::uint8_t type, request;
        std::uint16_t value, index, length;
    };
    for (const Case& c : std::vector<Case>{
             {"other-speed configuration", 0x80, 0x06, 0x0700, 0, 32},
             {"string past the serial", 0x80, 0x06, 0x0304, 0, 255},
             {"second configuration", 0x80, 0x06, 0x0201, 0, 255},
             {"configuration 2", 0x00, 0x09, 2, 0, 0},
             {"alternate setting 1", 0x01, 0x0B, 1, 0, 0},
             {"another interface", 0x01, 0x0B, 0, 1, 0},
             {"Get Max LUN with a value", 0xA1, 0xFE, 1, 0, 1},
             {"reset with a length", 0x21, 0xFF, 0, 0, 1},
             {"vendor request", 0xC0, 0x01, 0, 0, 4},
             {"halt of no such endpoint", 0x02, 0x01, 0, 0x83, 0},
             {"remote wake-up", 0x00, 0x03, 1, 0, 0},
         }) {
        EXPECT_EQ(Ask(c.type, c.request, c.value, c.index, c.length).status, kStatusStall)
            << c.what;
    }
}

TEST_F(ControlTest, EndpointStatusShowsAHaltUntilCleared) {
    ASSERT_TRUE(transport.In(13) == std::nullopt);                // nothing yet: the transfer waits
    ASSERT_TRUE(transport.Out(std::vector<std::uint8_t>(30, 0))); // an invalid CBW
    EXPECT_EQ(Ask(0x82, 0x00, 0, 0x81, 2).data, (std::vector<std::uint8_t>{1, 0}));
    EXPECT_EQ(Ask(0x02, 0x01, 0, 0x81, 0).status, kStatusOk);
    EXPECT_EQ(Ask(0x82, 0x00, 0, 0x81, 2).data[0], 1); // kept until a reset recovery
    EXPECT_EQ(Ask(0x21, 0xFF, 0, 0, 0).status, kStatusOk);
    EXPECT_EQ(Ask(0x02, 0x01, 0, 0x81, 0).status, kStatusOk);
    EXPECT_EQ(Ask(0x82, 0x00, 0, 0x81, 2).data[0], 0);
    EXPECT_EQ(Ask(0x82, 0x00, 0, 0x02, 2).data[0], 1); // the other one is still halted
}

} // namespace
