// What each operation costs on the wire: the vendor commands it sends, and nothing more.
#include <gmock/gmock.h>

#include <functional>

#include "tests/fingerprint/operations_fixture.h"

namespace {

class CommandCountTest : public OperationsTest {
  protected:
    // Vendor commands that `operation` sends.
    std::size_t CommandsOf(const std::function<void()>& operation) {
        wire.Clear();
        operation();
        return wire.Records().size();
    }
};

TEST_F(CommandCountTest, SingleExchangesCostWhatTheProtocolSays) {
    Connect();
    std::array<std::uint8_t, 4> report{};
    EXPECT_EQ(CommandsOf([&] { ops.ReadFingerprintStatus(); }), 4u);
    EXPECT_EQ(CommandsOf([&] { ops.ProbeFingerprintDrive(); }), 6u);
    EXPECT_EQ(CommandsOf([&] { ops.PollProgress(report.data(), report.size()); }), 4u);
    EXPECT_EQ(CommandsOf([&] { ops.ShowModel(); }), 4u);
}

TEST_F(CommandCountTest, SearchIdentifiesEachPresentLetterUpToTheDrive) {
    vdrive::UsbStickModel stick;
    vdrive::FingerprintDriveModel later;
    memory.Attach('C', stick);
    memory.Attach('D', stick);
    memory.Attach('F', drive);
    memory.Attach('H', later);
    EXPECT_EQ(CommandsOf([&] { ops.FindFingerprintDrive(memory.PresentDriveMask() | 0x3u); }),
              3u + 6u);
    const std::vector<std::string> commands = Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "identify"), 3);
}

TEST_F(CommandCountTest, InstallAndEraseCostTheirPollsAndTwoProbes) {
    Connect();
    drive.User().Present("new-finger", 3);
    EXPECT_EQ(CommandsOf([&] { ops.InstallNewFingerprint(); }), 6u + 2u + 3u * 4u + 6u);
    drive.User().Present("new-finger"); // authorizes the erase, which then reports 's'
    EXPECT_EQ(CommandsOf([&] { ops.EraseAllFingerprints(); }), 2u + 2u * 4u + 6u);
}

} // namespace
