// The platform transport without a drive: opens of volumes that are not there fail
// cleanly, with a diagnostic, and send nothing.
#include "device/system_transport.h"

#include <gtest/gtest.h>

namespace {

TEST(SystemTransportTest, LetterZeroNeverOpens) {
    const auto transport = CreateSystemTransport();
    EXPECT_EQ(transport->OpenDrive(0), IScsiTransport::kInvalidHandle);
    EXPECT_FALSE(transport->LastError().empty());
}

TEST(SystemTransportTest, AnAbsentLetterFailsToOpen) {
    const auto transport = CreateSystemTransport();
    const std::uint32_t mask = transport->PresentDriveMask();
    char absent = 0;
    for (char letter = 'Z'; letter >= 'C' && absent == 0; --letter) {
        if ((mask >> (letter - 'A') & 1u) == 0) {
            absent = letter;
        }
    }
    if (absent == 0) {
        GTEST_SKIP() << "every drive letter is in use";
    }
    EXPECT_EQ(transport->OpenDrive(absent), IScsiTransport::kInvalidHandle);
    EXPECT_NE(transport->LastError().find(absent), std::string::npos) << transport->LastError();
}

TEST(SystemTransportTest, ExplicitDevicesStartAtCAndMissingOnesFail) {
    const auto transport = CreateSystemTransport({"/no/such/device-for-tessalok"});
    EXPECT_EQ(transport->OpenDrive('C'), IScsiTransport::kInvalidHandle);
    EXPECT_FALSE(transport->LastError().empty());
    EXPECT_EQ(transport->OpenDrive('D'), IScsiTransport::kInvalidHandle);
    EXPECT_EQ(transport->PresentDriveMask() & ~(1u << ('C' - 'A')), 0u);
}

} // namespace
