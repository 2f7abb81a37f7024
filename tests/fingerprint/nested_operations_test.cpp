// Handlers that run inside a waiting operation's message pump, and the device-change
// handling of the main window.
#include <gmock/gmock.h>

#include "tests/fingerprint/operations_fixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

constexpr std::uint32_t kUnitE = 1u << 4;

class NestedOperationsTest : public OperationsTest {
  protected:
    std::vector<char> LettersAsked() const {
        std::vector<char> letters;
        for (const CommandRecord& record : wire.Records()) {
            if (letters.empty() || letters.back() != record.letter) {
                letters.push_back(record.letter);
            }
        }
        return letters;
    }
};

TEST_F(NestedOperationsTest, ArrivalSearchesOnlyWhenNotBusy) {
    Connect();
    vdrive::UsbStickModel stick;
    memory.Attach('D', stick);
    g_busy = 1;
    ops.OnVolumeArrival();
    EXPECT_THAT(window.log, IsEmpty());
    EXPECT_TRUE(wire.Records().empty());

    g_busy = 0;
    ops.OnVolumeArrival();
    EXPECT_EQ(window.log.front(), "disable");
    EXPECT_THAT(LettersAsked(), ElementsAre('D', 'E')); // the present mask, not the new unit
    EXPECT_EQ(ops.m_device.m_driveLetter, 'E');
}

TEST_F(NestedOperationsTest, StickArrivingDuringInstallStartsNoSearch) {
    Connect();
    vdrive::UsbStickModel stick;
    window.AtPump(4, [&] {
        memory.Attach('D', stick);
        ops.OnVolumeArrival();
    });
    drive.User().Nothing(3);
    drive.User().Present("new-finger", 3);
    ops.InstallNewFingerprint();
    for (const CommandRecord& record : wire.Records()) {
        EXPECT_NE(record.letter, 'D');
    }
    EXPECT_THAT(window.Lines("box "), ElementsAre("box " + Msg(35)));
    EXPECT_EQ(g_busy, 0);
}

TEST_F(NestedOperationsTest, RemovingTheDriveDuringEraseEndsInTheNoDriveState) {
    drive.SetSlots(SlotsInUse(2));
    Connect();
    // Pump 4: the second cycle's, before its poll; that poll fails, the pump after it
    // runs, and the erase stops at the top of the third cycle.
    window.AtPump(4, [&] {
        memory.Detach('E');
        ops.OnVolumeRemoval(kUnitE);
        EXPECT_EQ(ops.m_installedCount, 0);
        EXPECT_EQ(ops.m_freeCount, 0);
    });
    ops.EraseAllFingerprints();
    EXPECT_EQ(g_busy, 0);
    EXPECT_EQ(ops.m_device.m_driveLetter, 0);
    EXPECT_THAT(window.Lines("box "), IsEmpty());
    EXPECT_THAT(std::vector<std::string>(window.log.end() - 4, window.log.end()),
                ElementsAre("disable", "hide", "disable", "pump"));
}

TEST_F(NestedOperationsTest, RemovingAnotherVolumeSearchesAndRefreshesTheCounts) {
    vdrive::UsbStickModel stick;
    memory.Attach('D', stick);
    Connect();
    drive.SetSlots(SlotsInUse(5));
    memory.Detach('D');
    ops.OnVolumeRemoval(1u << 3);
    EXPECT_EQ(ops.m_device.m_driveLetter, 'E');
    EXPECT_EQ(window.Lines("refresh").back(),
              "refresh Currently installed:5, Could install more:5 V1 I1 E1");
}

TEST_F(NestedOperationsTest, RemovalMaskMatchesFromDriveCUpward) {
    Connect();
    g_busy = 1;
    ops.OnVolumeRemoval(0x3u | 1u << 5); // A, B and F: not the drive, so no search
    EXPECT_EQ(ops.m_device.m_driveLetter, 'E');
    EXPECT_EQ(g_busy, 1);
    EXPECT_TRUE(wire.Records().empty());
    g_busy = 0;
}

TEST_F(NestedOperationsTest, InnerInstallEndingClearsBusyAndTheOuterEraseAborts) {
    drive.SetSlots(SlotsInUse(1));
    Connect();
    // During the erase's first cycle the user clicks Install; that install finds the drive
    // waiting for an erase finger, which the raw reports below stand in for.
    window.AtPump(2, [&] { ops.InstallNewFingerprint(); });
    drive.User().Raw({'S', 0, 0, 0}); // inner: authorized
    drive.User().Raw({'S', 0, 0, 0}); // inner: enrolled
    ops.EraseAllFingerprints();
    EXPECT_EQ(g_busy, 0);
    EXPECT_THAT(window.Lines("box "), ElementsAre("box " + Msg(35)));
    // The outer erase showed one cycle, polled once after the inner install and stopped:
    // the inner install's new probe is the last thing on screen.
    const std::vector<std::string> texts = window.Lines("text ");
    // Cycle 0 twice (the erase's and the inner authorization's), never a cycle 1.
    EXPECT_EQ(std::count(texts.begin(), texts.end(),
                         "text " + ToUtf8(FormatText(u"%d-%s(%d)", {0, GetText(22), 0}))),
              2);
    EXPECT_EQ(std::count(texts.begin(), texts.end(),
                         "text " + ToUtf8(FormatText(u"%d-%s(%d)", {1, GetText(22), 0}))),
              0);
    EXPECT_EQ(texts.back(), "text Found [JMTMESV1] Tessalok Disk");
    EXPECT_EQ(window.log.back(), "pump");
}

TEST_F(NestedOperationsTest, ClosingTheWindowDuringInstallStopsAfterTheCurrentPoll) {
    Connect();
    window.AtPump(5, [] { g_busy = 0; }); // close: the third enrol cycle's pump
    ops.InstallNewFingerprint();
    EXPECT_THAT(window.Lines("box "), IsEmpty());
    EXPECT_EQ(Commands().size(), 6u + 2u + 3u * 4u);
}

} // namespace
