#include <gmock/gmock.h>

#include "tests/fingerprint/operations_fixture.h"

using ::testing::ElementsAre;

namespace {

const std::string kFound = "text Found [JMTMESV1] Tessalok Disk";
const std::string kFreshDriveLine =
    "refresh ### There is no installation of any fingerprint ### V1 I1 E0";

class DriveSearchTest : public OperationsTest {};

TEST_F(DriveSearchTest, MasksWithoutCandidatesTryNothingAndEndWithoutDrive) {
    memory.Attach('A', drive);
    memory.Attach('B', drive);
    for (const std::uint32_t mask : {0u, 0x1u, 0x2u, 0x3u}) {
        Forget();
        ops.m_device.m_driveLetter = 'Q';
        EXPECT_EQ(ops.FindFingerprintDrive(mask), 0) << mask;
        EXPECT_EQ(ops.m_device.m_driveLetter, 0);
        EXPECT_TRUE(wire.Records().empty());
        EXPECT_THAT(window.log, ElementsAre("disable", "hide", "disable"));
    }
}

TEST_F(DriveSearchTest, FoundDriveIsAnnouncedThenShowsItsCounts) {
    memory.Attach('E', drive);
    EXPECT_EQ(ops.FindFingerprintDrive(memory.PresentDriveMask()), 1);
    EXPECT_EQ(ops.m_device.m_driveLetter, 'E');
    EXPECT_THAT(window.log, ElementsAre("disable", kFound, "fore 3232C8", "back! FFFFFF", "pump",
                                        kFreshDriveLine, "pump"));
    EXPECT_THAT(Commands(),
                ElementsAre("identify", "identity", "identity", "seed", "write", "seed", "read"));
}

TEST_F(DriveSearchTest, LowerOfTwoDrivesWinsAndTheHigherIsNeverAsked) {
    vdrive::FingerprintDriveModel second;
    memory.Attach('F', drive);
    memory.Attach('K', second);
    EXPECT_EQ(ops.FindFingerprintDrive(memory.PresentDriveMask()), 1);
    EXPECT_EQ(ops.m_device.m_driveLetter, 'F');
    for (const CommandRecord& record : wire.Records()) {
        EXPECT_EQ(record.letter, 'F');
    }
}

struct CandidateCase {
    const char* name;
    vdrive::StickOptions stick;
};

TEST_F(DriveSearchTest, NonMatchingIdentificationsAreSkippedWithoutIdentityRead) {
    const CandidateCase cases[] = {
        {"vendor in upper case", {"KESTROVA", {"INQU", "SECU"}, false}},
        {"vendor in lower case", {"kestrova", {"INQU", "SECU"}, false}},
        {"no SECU tag", {"Kestrova", {"INQU", "DIAG"}, false}},
        {"no tags", {"Kestrova", {}, false}},
        {"refuses vendor commands", {"Kestrova", {"SECU"}, true}},
    };
    for (const CandidateCase& c : cases) {
        SCOPED_TRACE(c.name);
        vdrive::UsbStickModel stick(c.stick);
        MemoryTransport local;
        RecordingTransport localWire(local);
        RecordingWindow localWindow;
        CFingerprintOperations localOps(localWindow, localWire, clock);
        localWindow.Attach(localOps);
        local.Attach('D', stick);
        local.Attach('G', drive);
        EXPECT_EQ(localOps.FindFingerprintDrive(local.PresentDriveMask()), 1);
        EXPECT_EQ(localOps.m_device.m_driveLetter, 'G');
        ASSERT_GE(localWire.Records().size(), 2u);
        EXPECT_EQ(localWire.Records()[0].letter, 'D');
        EXPECT_EQ(CommandName(localWire.Records()[0]),
                  c.stick.refuseVendorCommands ? "identify!" : "identify");
        EXPECT_EQ(localWire.Records()[1].letter, 'G');
        EXPECT_EQ(CommandName(localWire.Records()[1]), "identify");
        EXPECT_EQ(local.OpenHandleCount(), 0u);
    }
}

TEST_F(DriveSearchTest, WrongIdentityPrefixIsSkippedAfterOneIdentityRead) {
    vdrive::DriveOptions options;
    options.identity = "JMTMEX01";
    vdrive::FingerprintDriveModel impostor(options);
    memory.Attach('E', impostor);
    EXPECT_EQ(ops.FindFingerprintDrive(memory.PresentDriveMask()), 0);
    EXPECT_THAT(Commands(), ElementsAre("identify", "identity"));
    EXPECT_THAT(window.log, ElementsAre("disable", "hide", "disable"));
}

TEST_F(DriveSearchTest, FailedStatusReadLeavesAnnouncementAndSearchGoesOn) {
    vdrive::FingerprintDriveModel second;
    second.SetSlots(SlotsInUse(2));
    memory.Attach('E', drive);
    memory.Attach('H', second);
    // identify, identity, identity, seed, then every attempt of the status write fails.
    for (std::size_t attempt = 4; attempt < 7; ++attempt) {
        memory.FailCommandNumber(attempt);
    }
    EXPECT_EQ(ops.FindFingerprintDrive(memory.PresentDriveMask()), 1);
    EXPECT_EQ(ops.m_device.m_driveLetter, 'H');
    EXPECT_EQ(window.Lines("text "), (std::vector<std::string>{kFound, kFound}));
    EXPECT_EQ(window.log.back(), "pump");
    EXPECT_EQ(window.Lines("refresh").back(),
              "refresh Currently installed:2, Could install more:8 V1 I1 E1");
}

TEST_F(DriveSearchTest, FailedStatusReadOfOnlyDriveHidesTheAnnouncement) {
    memory.Attach('E', drive);
    for (std::size_t attempt = 4; attempt < 7; ++attempt) {
        memory.FailCommandNumber(attempt);
    }
    EXPECT_EQ(ops.FindFingerprintDrive(memory.PresentDriveMask()), 0);
    EXPECT_EQ(ops.m_device.m_driveLetter, 0);
    EXPECT_THAT(window.log, ElementsAre("disable", kFound, "fore 3232C8", "back! FFFFFF", "pump",
                                        "hide", "disable"));
}

TEST_F(DriveSearchTest, AnnouncementShowsIdentityUpToFirstZeroByte) {
    const std::pair<std::string, std::string> cases[] = {
        {"JMTMESV1", "JMTMESV1"},
        {"JMTMES", "JMTMES"},
        {std::string("JMTMES\0Z", 8), "JMTMES"},
        {std::string("JMTMESA\0", 8), "JMTMESA"},
    };
    for (const auto& [identity, shown] : cases) {
        vdrive::DriveOptions options;
        options.identity = identity;
        vdrive::FingerprintDriveModel model(options);
        memory.Attach('E', model);
        Forget();
        EXPECT_EQ(ops.FindFingerprintDrive(memory.PresentDriveMask()), 1);
        EXPECT_EQ(window.Lines("text "),
                  std::vector<std::string>{"text Found [" + shown + "] Tessalok Disk"});
        memory.Detach('E');
    }
}

TEST_F(DriveSearchTest, ViewStatusOnSilentDriveChangesNothing) {
    Connect();
    drive.Unplug();
    ops.ViewStatus();
    EXPECT_TRUE(window.log.empty());
    EXPECT_EQ(ops.m_device.m_driveLetter, 'E');
    EXPECT_THAT(Commands(), ElementsAre("identity!", "identity!", "identity!"));
    EXPECT_EQ(clock.waits, (std::vector<std::uint32_t>{200, 500}));
}

TEST_F(DriveSearchTest, ViewStatusAnnouncesThenRefreshesCounts) {
    Connect();
    drive.SetSlots(SlotsInUse(3));
    ops.ViewStatus();
    EXPECT_THAT(window.log,
                ElementsAre(kFound, "fore 3232C8", "back! FFFFFF", "pump",
                            "refresh Currently installed:3, Could install more:7 V1 I1 E1",
                            "pump"));
    EXPECT_EQ(ops.m_installedCount, 3);
    EXPECT_EQ(ops.m_freeCount, 7);
}

} // namespace
