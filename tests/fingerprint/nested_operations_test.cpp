// Handlers that run inside a waiting operation's message pump, and the device-change
// handling of the main window.
#include <gmock/gmock.h>

#include <new>

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

// View Status and Version neither set nor test the busy flag: handled inside a waiting
// Install or Erase All they must leave it running to its own result.
TEST_F(NestedOperationsTest, ViewStatusOrVersionInsideAWaitingOperationDoesNotStopIt) {
    struct Case {
        const char* name;
        bool install; // else Erase All
        bool version; // else View Status
    };
    const Case cases[] = {
        {"View Status inside Install", true, false},
        {"Version inside Install", true, true},
        {"View Status inside Erase All", false, false},
        {"Version inside Erase All", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OperationsRig rig;
        rig.drive.SetSlots(SlotsInUse(2));
        rig.Connect();
        // Pump 4: the install's second authorization cycle, the erase's second cycle
        // (before its poll); either way the drive is waiting for a finger then.
        bool busyAfterClick = false;
        rig.window.AtPump(4, [&] {
            if (c.version) {
                rig.ops.ShowModel();
            } else {
                EXPECT_EQ(rig.ops.ProbeFingerprintDrive(), 1);
            }
            busyAfterClick = g_busy == 1;
        });
        rig.drive.User().Nothing(2);
        rig.drive.User().Present("finger-1");
        if (c.install) {
            rig.drive.User().Present("new-finger", 3);
            rig.ops.InstallNewFingerprint();
        } else {
            rig.ops.EraseAllFingerprints();
        }
        EXPECT_TRUE(busyAfterClick);
        EXPECT_EQ(g_busy, 0);
        const int result = c.install ? 35 : 24;
        EXPECT_THAT(rig.window.Lines("box "), ElementsAre("box " + Msg(result)));
        EXPECT_EQ(rig.drive.InstalledCount(), c.install ? 3u : 0u);
        EXPECT_EQ(rig.clock.waits.size(), (c.version ? 1u : 0u) + (c.install ? 0u : 1u));
        if (c.version) {
            // The model shows, then the cycle's line comes back before the next cycle.
            const std::vector<std::string> texts = rig.window.Lines("text ");
            const auto model = std::find(texts.begin(), texts.end(), "text KV-FP2000 Rev 2.00.7");
            ASSERT_NE(model, texts.end());
            ASSERT_GE(model - texts.begin(), 1);
            EXPECT_EQ(*(model + 1), *(model - 1));
        }
    }
}

TEST_F(NestedOperationsTest, EraseAllInsideAWaitingInstall) {
    for (const bool confirmed : {true, false}) {
        SCOPED_TRACE(confirmed ? "confirmed: the erase runs, the install stops"
                               : "declined: the install goes on");
        OperationsRig rig;
        rig.drive.SetSlots(SlotsInUse(2));
        rig.Connect();
        rig.window.answerYes = confirmed;
        rig.window.AtPump(4, [&] { rig.ops.EraseAllFingerprints(); }); // second authorization cycle
        rig.drive.User().Nothing(1);                                   // the install's first poll
        rig.drive.User().Present("finger-0"); // the erase's (or, declined, the install's) finger
        rig.drive.User().Present("new-finger", 3);
        rig.ops.InstallNewFingerprint();
        EXPECT_EQ(g_busy, 0);
        if (confirmed) {
            // The erase's result and new probe; the install shows no result of its own.
            EXPECT_THAT(rig.window.Lines("box "), ElementsAre("box " + Msg(24)));
            EXPECT_EQ(rig.drive.InstalledCount(), 0u);
            EXPECT_FALSE(rig.drive.IsInstalled("new-finger"));
            EXPECT_EQ(rig.window.Lines("refresh").back(),
                      "refresh ### There is no installation of any fingerprint ### V1 I1 E0");
        } else {
            EXPECT_THAT(rig.window.Lines("box "), ElementsAre("box " + Msg(35)));
            EXPECT_EQ(rig.drive.InstalledCount(), 3u);
        }
    }
}

TEST_F(NestedOperationsTest, RemovingTheConnectedDriveWhileIdle) {
    struct Case {
        const char* name;
        bool driveStillThere; // the broadcast came, yet E: still answers
        bool otherDriveAtF;
        char letter;
        std::string lastRefresh;
    };
    const Case cases[] = {
        {"gone: the no-drive state", false, false, 0, ""},
        {"gone: the search finds the drive at F:", false, true, 'F',
         "refresh Currently installed:4, Could install more:6 V1 I1 E1"},
        {"still answering: found again with fresh counts", true, false, 'E',
         "refresh Currently installed:1, Could install more:9 V1 I1 E1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vdrive::FingerprintDriveModel other; // outlives the transport that reaches it
        other.SetSlots(SlotsInUse(4));
        OperationsRig rig;
        rig.drive.SetSlots(SlotsInUse(3));
        rig.Connect();
        if (c.otherDriveAtF) {
            rig.memory.Attach('F', other);
        }
        if (c.driveStillThere) {
            rig.drive.SetSlots(SlotsInUse(1));
        } else {
            rig.memory.Detach('E');
        }
        rig.ops.OnVolumeRemoval(kUnitE);
        EXPECT_EQ(g_busy, 0);
        EXPECT_EQ(rig.ops.m_device.m_driveLetter, c.letter);
        EXPECT_EQ(rig.window.log.front(), "disable");
        if (c.letter == 0) {
            EXPECT_EQ(rig.ops.m_installedCount, 0);
            EXPECT_EQ(rig.ops.m_freeCount, 0);
            EXPECT_THAT(rig.window.log, ElementsAre("disable", "hide", "disable"));
            EXPECT_FALSE(rig.window.statusVisible);
        } else {
            EXPECT_EQ(rig.window.Lines("refresh").back(), c.lastRefresh);
            EXPECT_TRUE(rig.window.statusVisible);
        }
    }
}

// The window stops a handler's exception at its window procedure and goes on; the busy
// flag must not stay set behind it, or volume arrivals would never be followed again.
TEST_F(NestedOperationsTest, AnExceptionOutOfAWaitingOperationClearsTheBusyFlag) {
    for (const bool install : {true, false}) {
        SCOPED_TRACE(install ? "Install" : "Erase All");
        OperationsRig rig;
        rig.drive.SetSlots(SlotsInUse(2));
        rig.Connect();
        rig.window.AtPump(4, [] { throw std::bad_alloc(); });
        if (install) {
            EXPECT_THROW(rig.ops.InstallNewFingerprint(), std::bad_alloc);
        } else {
            EXPECT_THROW(rig.ops.EraseAllFingerprints(), std::bad_alloc);
        }
        EXPECT_EQ(g_busy, 0);
        rig.Forget();
        rig.ops.OnVolumeArrival();
        EXPECT_FALSE(rig.wire.Records().empty()); // the arrival starts a search
    }
}

TEST_F(NestedOperationsTest, ClosingTheWindowDuringInstallStopsAfterTheCurrentPoll) {
    Connect();
    window.AtPump(5, [] { g_busy = 0; }); // close: the third enrol cycle's pump
    ops.InstallNewFingerprint();
    EXPECT_THAT(window.Lines("box "), IsEmpty());
    EXPECT_EQ(Commands().size(), 6u + 2u + 3u * 4u);
}

} // namespace
