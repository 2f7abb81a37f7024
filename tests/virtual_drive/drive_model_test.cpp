// The drive model driven through the real vendor primitives (CFingerDisk) over the
// in-memory transport.
#include "virtual_drive/drive_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "device/finger_disk.h"
#include "device/memory_transport.h"
#include "device/scrambler.h"
#include "drive_client.h"

using vdrive::FingerprintDriveModel;
using vdrive::Report;

namespace {

// A drive at E:, identified, behind the in-memory transport.
struct AttachedDrive {
    explicit AttachedDrive(vdrive::DriveOptions options = {}) : drive(std::move(options)) {
        transport.Attach('E', drive);
        client.Identify();
    }
    FingerprintDriveModel drive;
    MemoryTransport transport;
    DriveClient client{transport, 'E'};
};

class ModelTest : public ::testing::Test, public AttachedDrive {
  protected:
    explicit ModelTest(vdrive::DriveOptions options = {}) : AttachedDrive(std::move(options)) {}
};

TEST(ModelIdentification, TagPositionVendorAndIdentity) {
    struct Case {
        std::vector<std::string> tags;
        std::optional<std::uint8_t> secuPosition;
    };
    const Case cases[] = {{{"SECU"}, 0}, {{"INQU", "FWUP", "SECU", "DIAG"}, 2}, {{"INQU"}, {}}};
    for (const Case& c : cases) {
        vdrive::DriveOptions options;
        options.tags = c.tags;
        FingerprintDriveModel drive(options);
        MemoryTransport transport;
        transport.Attach('F', drive);
        DriveClient client(transport, 'F');
        ReplyFrame reply;
        ASSERT_TRUE(client.disk.Identify(reply));
        EXPECT_EQ(client.disk.m_tagCount, c.tags.size());
        EXPECT_TRUE(reply.Matches(6 + 4 * c.tags.size(), "Kestrova"));
        EXPECT_EQ(client.disk.FindSecuTag(), c.secuPosition);
        SecureIdentity identity{};
        EXPECT_EQ(client.disk.ReadSecureIdentity(identity), c.secuPosition.has_value());
        if (c.secuPosition) {
            EXPECT_EQ(std::string(identity.begin(), identity.begin() + 6), "JMTMES");
        }
    }
}

TEST_F(ModelTest, SecuCommandAtWrongTagPositionIsRefused) {
    Cdb cdb{0xFC, 0, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'S', 'E', 'C', 'U'};
    std::uint8_t seed[2] = {};
    EXPECT_EQ(drive.ExecuteCommand(cdb, ScsiDirection::Read, seed), kScsiStatusCheckCondition);
    cdb[1] = 2;
    EXPECT_EQ(drive.ExecuteCommand(cdb, ScsiDirection::Read, seed), kScsiStatusGood);
}

TEST_F(ModelTest, StatusListsSlotsAndBrokenEntries) {
    drive.SetSlot(0, "alice");
    drive.SetSlot(3, "bob");
    drive.BreakSlotEntry(5, {'f', '5', ' '});
    ReplyFrame reply;
    ASSERT_TRUE(client.Request(vendor::kStatusRequest, vendor::kStatusReplyLength, reply));
    EXPECT_TRUE(reply.Matches(11, "S0 F1 F2 S3 F4 f5 F6 F7 F8 F9 "));
    EXPECT_EQ(reply.BigEndian16(8), 33);
}

TEST_F(ModelTest, ModelTextAtOffsetEleven) {
    ReplyFrame reply;
    ASSERT_TRUE(client.Request(vendor::kModelRequest, vendor::kModelReplyLength, reply));
    EXPECT_TRUE(reply.Matches(11, drive.Options().modelText));
}

class SeedTest : public ModelTest {
  protected:
    static vdrive::DriveOptions Fixed() {
        vdrive::DriveOptions options;
        options.fixedSeeds = {0x1234, 0x4321, 0x0BAD, 0x7E57};
        return options;
    }
    SeedTest() : ModelTest(Fixed()) {}
};

TEST_F(SeedTest, FixedSeedsComeInOrderAndPairWithTheirFrames) {
    ReplyFrame reply;
    ASSERT_TRUE(client.Request(vendor::kStatusRequest, vendor::kStatusReplyLength, reply));
    EXPECT_EQ(drive.SeedsGiven().Items(), (std::vector<std::uint16_t>{0x1234, 0x4321}));
    EXPECT_TRUE(reply.Matches(11, "F0 "));
    EXPECT_EQ(client.disk.ReadSeed(), 0x0BAD);
}

TEST_F(SeedTest, HistoryKeepsOnlyTheLatestSeedsAndResetDropsIt) {
    std::vector<std::uint16_t> read;
    for (int i = 0; i < 40; ++i) {
        read.push_back(client.disk.ReadSeed());
    }
    const std::vector<std::uint16_t> kept = drive.SeedsGiven().Items();
    ASSERT_EQ(kept.size(), vdrive::RecentWindow<std::uint16_t>::kKept);
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), read.end() - kept.size()));
    EXPECT_EQ(drive.SeedsGiven().Total(), 40u);
    drive.Reset();
    EXPECT_EQ(drive.SeedsGiven().Total(), 0u);
    EXPECT_TRUE(drive.SeedsGiven().Items().empty());
}

TEST_F(SeedTest, ClientThatPairsSeedsWrongGetsGarbage) {
    // Request scrambled with the seed that comes after the one the drive gave.
    std::uint8_t frame[11] = {'J', 'M', 'T', 'M', 'E', 'S', ' ', 'C', 0x00, 0x01, 0x6C};
    ASSERT_EQ(client.disk.ReadSeed(), 0x1234);
    ScrambleBlock(0x4321, frame, 11, frame);
    EXPECT_FALSE(client.disk.WriteBlock(frame, 11, vendor::kWriteExpectsReply));
    EXPECT_EQ(drive.BadFrameCount(), 3u); // each of the three attempts

    // Reply read without a fresh seed, descrambled with the request's seed.
    ReplyFrame reply;
    ASSERT_TRUE(client.disk.SendRequestFrame(vendor::kStatusRequest, vendor::kWriteExpectsReply));
    const std::uint16_t requestSeed = drive.SeedsGiven().Last();
    std::uint8_t raw[43] = {};
    ASSERT_TRUE(client.disk.ReadBlock(raw, 43));
    ScrambleBlock(requestSeed, raw, 43, raw);
    EXPECT_NE(std::string(raw + 11, raw + 14), "F0 ");
}

// Both doors share the drive's one seed: a seed that another door took in between leaves
// the frame keyed wrong, and the bad frame names both doors.
TEST_F(SeedTest, AFrameAfterAnotherDoorsSeedNamesBothDoors) {
    std::uint8_t frame[11] = {'J', 'M', 'T', 'M', 'E', 'S', ' ', 'C', 0x00, 0x01, 0x6C};
    drive.SetDoor("protocol v1");
    const std::uint16_t mine = client.disk.ReadSeed();
    drive.SetDoor(FingerprintDriveModel::kDiskDoor);
    ASSERT_NE(client.disk.ReadSeed(), 0); // the other door's seed
    drive.SetDoor("protocol v1");
    ScrambleBlock(mine, frame, 11, frame);
    EXPECT_FALSE(client.disk.WriteBlock(frame, 11, vendor::kWriteExpectsReply));
    EXPECT_NE(drive.LastBadFrame().find("the last seed went out through the SCSI disk (iSCSI or USB), "
                                        "this frame came through protocol v1"),
              std::string::npos)
        << drive.LastBadFrame();
}

TEST_F(ModelTest, MalformedFramesEndInCheckCondition) {
    struct Case {
        vendor::Request request;
        std::uint8_t code;
    };
    const Case cases[] = {{{0x00, 0x01, 0x99}, 0x80},      // unknown request
                          {vendor::kInstallStart, 0x80},   // start with a reply code
                          {vendor::kStatusRequest, 0x00}}; // status without reply
    for (const Case& c : cases) {
        EXPECT_FALSE(client.disk.SendRequestFrame(c.request, c.code));
    }
    EXPECT_EQ(drive.BadFrameCount(), 3u * 3u); // every attempt of every request
    std::uint8_t raw[15];
    EXPECT_FALSE(client.disk.ReadBlock(raw, 15)); // no request, so no reply
    EXPECT_EQ(drive.LastBadFrame(), "reply read without a request");
}

TEST_F(ModelTest, IdlePollBringsNoReportAndKeepsQueuedEvents) {
    drive.User().Present("x");
    const DriveClient::Poll poll = client.PollProgress();
    EXPECT_EQ(poll.lengthField, 1);
    EXPECT_EQ(drive.User().Pending(), 1u);
}

TEST_F(ModelTest, EnrolOnEmptyDriveTouchesThenStoresInFirstFreeSlot) {
    drive.SetSlot(0, "kept");
    drive.ClearSlot(0);
    drive.User().Nothing();
    drive.User().Present("new-finger", 3);
    ASSERT_TRUE(client.Start(vendor::kInstallStart));
    EXPECT_EQ(drive.State(), vdrive::DriveState::Enrolling);
    EXPECT_EQ(client.PollProgress().lengthField, 1);
    EXPECT_EQ(client.PollProgress().report, (Report{'a', 0, 0, 0}));
    EXPECT_EQ(client.PollProgress().report, (Report{'a', 0, 0, 0}));
    EXPECT_EQ(client.PollProgress().report, (Report{'S', 0, 0, 0}));
    EXPECT_EQ(drive.Slot(0), "new-finger");
    EXPECT_EQ(drive.State(), vdrive::DriveState::Idle);
}

TEST(ModelInstall, AuthorizationPhaseReports) {
    struct Case {
        const char* name;
        std::function<void(vdrive::ScriptedUser&)> script;
        Report first;
        vdrive::DriveState after;
    };
    const Case cases[] = {
        {"installed finger",
         [](auto& u) { u.Present("alice"); },
         {'S', 0, 0, 0},
         vdrive::DriveState::Enrolling},
        {"other finger",
         [](auto& u) { u.Present("mallory"); },
         {'f', 0, 0, 0},
         vdrive::DriveState::Idle},
        {"refuse", [](auto& u) { u.Refuse(); }, {'S', ' ', 'f', ' '}, vdrive::DriveState::Idle},
        {"fail", [](auto& u) { u.Fail(); }, {'g', 0, 0, 0}, vdrive::DriveState::Idle},
        {"touch", [](auto& u) { u.Touch(); }, {'a', 0, 0, 0}, vdrive::DriveState::Authorizing},
        {"ignored", [](auto& u) { u.Ignored(); }, {'w', 0, 0, 0}, vdrive::DriveState::Authorizing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AttachedDrive attached;
        FingerprintDriveModel& drive = attached.drive;
        DriveClient& client = attached.client;
        drive.SetSlot(4, "alice");
        c.script(drive.User());
        ASSERT_TRUE(client.Start(vendor::kInstallStart));
        EXPECT_EQ(client.PollProgress().report, c.first);
        EXPECT_EQ(drive.State(), c.after);
    }
}

TEST(ModelInstall, SlotLineReportAndFullTable) {
    vdrive::DriveOptions options;
    options.enrolReport = vdrive::EnrolReport::SlotLine;
    options.touchesToEnrol = 1;
    AttachedDrive attached(options);
    FingerprintDriveModel& drive = attached.drive;
    DriveClient& client = attached.client;
    for (std::size_t slot = 0; slot < 9; ++slot) {
        drive.SetSlot(slot, "f" + std::to_string(slot));
    }
    drive.User().Present("f0");
    drive.User().Present("ninth");
    ASSERT_TRUE(client.Start(vendor::kInstallStart));
    EXPECT_EQ(client.PollProgress().report, (Report{'S', 0, 0, 0}));
    EXPECT_EQ(client.PollProgress().report, (Report{'9', 0x0D, 0x0A, 'S'}));
    EXPECT_EQ(drive.Slot(9), "ninth");

    drive.User().Present("f1");
    drive.User().Present("eleventh");
    ASSERT_TRUE(client.Start(vendor::kInstallStart));
    client.PollProgress();
    EXPECT_EQ(client.PollProgress().report, (Report{'g', 0, 0, 0})); // no free slot
}

TEST_F(ModelTest, EraseWaitsForAnInstalledFingerThenErases) {
    drive.SetSlot(0, "alice");
    drive.SetSlot(1, "bob");
    drive.User().Present("mallory");
    drive.User().Present("bob");
    ASSERT_TRUE(client.Start(vendor::kEraseStart));
    EXPECT_EQ(client.PollProgress(1).report, Report{'a'});
    EXPECT_EQ(client.PollProgress(1).report, Report{'S'});
    EXPECT_EQ(drive.InstalledCount(), 2u);
    EXPECT_EQ(client.PollProgress(1).report, Report{'s'});
    EXPECT_EQ(drive.InstalledCount(), 0u);
}

TEST_F(ModelTest, EraseFailureKeepsSlots) {
    drive.SetSlot(0, "alice");
    drive.User().Fail();
    ASSERT_TRUE(client.Start(vendor::kEraseStart));
    EXPECT_EQ(client.PollProgress(1).report, Report{'f'});
    EXPECT_EQ(drive.InstalledCount(), 1u);
}

TEST_F(ModelTest, RawReportsCarryTheirLengthField) {
    drive.User().Raw({'x', 'y'}, 0);
    drive.User().Raw({'z'});
    ASSERT_TRUE(client.Start(vendor::kInstallStart));
    const DriveClient::Poll first = client.PollProgress();
    EXPECT_EQ(first.lengthField, 0);
    EXPECT_EQ(first.report, (Report{'x', 'y', 0, 0}));
    EXPECT_EQ(client.PollProgress().lengthField, 2);
}

TEST_F(ModelTest, CheckConditionFaultIsRetriedByTheClient) {
    drive.FailNextCommands(2);
    EXPECT_NE(client.disk.ReadSeed(), 0); // third attempt succeeds
    EXPECT_EQ(client.clock.waits, (std::vector<std::uint32_t>{200, 500}));
    drive.FailNextCommands(3);
    EXPECT_EQ(client.disk.ReadSeed(), 0);
}

TEST_F(ModelTest, SilentCommandsFailInProcess) {
    drive.SilenceNextCommands(1);
    const Cdb cdb{0xFC, 2, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'S', 'E', 'C', 'U'};
    std::uint8_t seed[2] = {};
    EXPECT_TRUE(drive.Execute(cdb, ScsiDirection::Read, seed).silent);
    EXPECT_EQ(drive.ExecuteCommand(cdb, ScsiDirection::Read, seed), kScsiStatusGood);
}

TEST_F(ModelTest, TruncatedReplyLosesItsTail) {
    drive.TruncateNextReplies(1, 11);
    ReplyFrame reply;
    ASSERT_TRUE(client.Request(vendor::kStatusRequest, vendor::kStatusReplyLength, reply));
    EXPECT_FALSE(reply.Matches(11, "F0 F1 ")); // key stream only past the header
}

TEST_F(ModelTest, UnplugLosesTheOperationButKeepsSlots) {
    drive.SetSlot(2, "alice");
    ASSERT_TRUE(client.Start(vendor::kEraseStart));
    drive.Unplug();
    ReplyFrame reply;
    EXPECT_FALSE(client.disk.Identify(reply));
    drive.Plug();
    ASSERT_TRUE(client.disk.Identify(reply));
    EXPECT_EQ(drive.State(), vdrive::DriveState::Idle);
    EXPECT_EQ(drive.Slot(2), "alice");
}

TEST(ModelAutomaticUser, AuthorizesAndEnrolsWithinAFewPolls) {
    vdrive::DriveOptions options;
    options.autoStepPolls = 3;
    AttachedDrive attached(options);
    FingerprintDriveModel& drive = attached.drive;
    DriveClient& client = attached.client;
    drive.SetSlot(0, "owner");
    ASSERT_TRUE(client.Start(vendor::kInstallStart));
    for (int poll = 0; poll < 20 && drive.State() != vdrive::DriveState::Idle; ++poll) {
        client.PollProgress();
    }
    EXPECT_EQ(drive.ReportsGiven().Items(), (std::vector<Report>{{'S'}, {'a'}, {'a'}, {'S'}}));
    EXPECT_EQ(drive.InstalledCount(), 2u);
}

TEST(ModelScriptedUser, TheQueueIsBoundedAsAWholeAndAFullAdderAddsNothing) {
    constexpr std::size_t kMax = vdrive::ScriptedUser::kMaxEvents;
    vdrive::ScriptedUser user;
    EXPECT_TRUE(user.Present("alice", kMax - 2));
    EXPECT_FALSE(user.Touch(3)); // one past the bound: none of the three is queued
    EXPECT_EQ(user.Pending(), kMax - 2);
    EXPECT_TRUE(user.Nothing(2));
    EXPECT_FALSE(user.Refuse());
    EXPECT_FALSE(user.Raw({'x'}));
    EXPECT_FALSE(user.Present("bob", 0xFFFFFFFFu)); // no overflow in the room check
    EXPECT_EQ(user.Pending(), kMax);
    user.Clear();
    EXPECT_TRUE(user.Empty());
    EXPECT_TRUE(user.Fail());
}

TEST(ModelUsbStick, OtherVendorOrRefusal) {
    vdrive::UsbStickModel stick;
    vdrive::StickOptions refusing;
    refusing.refuseVendorCommands = true;
    vdrive::UsbStickModel refusingStick(refusing);
    MemoryTransport transport;
    transport.Attach('D', stick);
    transport.Attach('G', refusingStick);
    DriveClient d(transport, 'D');
    ReplyFrame reply;
    ASSERT_TRUE(d.disk.Identify(reply));
    EXPECT_FALSE(reply.Matches(6 + 4 * reply.At(5), "Kestrova"));
    DriveClient g(transport, 'G');
    EXPECT_FALSE(g.disk.Identify(reply));
}

} // namespace
