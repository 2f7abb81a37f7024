// The medium as a removable one: eject and load, prevented removal per nexus, resets,
// a pulled plug and its return; and vendor commands to the drive model behind it.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "device/finger_disk.h"
#include "device/memory_transport.h"
#include "tests/virtual_drive/disk/disk_harness.h"

using namespace disk_test;

namespace {

constexpr std::uint8_t kGood = kScsiStatusGood;

TEST_F(DiskFixture, EjectMakesMediaCommandsNotReadyUntilLoaded) {
    ASSERT_EQ(In(StartStop(true, false), 0).status, kGood);
    for (const Bytes& cdb : {TestUnitReady(), Read10(0, 1), Write10(0, 1), Command(0x25, 10),
                             Command(0x9E, 16, {{1, 1, 0x10}, {13, 1, 32}}), Command(0x35, 10)}) {
        EXPECT_EQ(SenseOf(In(cdb)), kNoMedium) << int{cdb[0]};
    }
    // The unit itself keeps answering.
    EXPECT_EQ(In(Command(0x12, 6, {{4, 1, 96}}), 96).status, kGood);
    EXPECT_EQ(In(Command(0x1A, 6, {{2, 1, 0x3F}, {4, 1, 255}}), 255).status, kGood);
    const auto sense = In(Command(0x03, 6, {{4, 1, 18}}), 18).dataIn;
    EXPECT_EQ((Sense{sense.at(2), sense.at(12), sense.at(13)}), kNoMedium);
    EXPECT_EQ(In(StartStop(true, false), 0).status, kGood); // ejecting again is fine

    ASSERT_EQ(In(StartStop(true, true), 0).status, kGood);
    EXPECT_EQ(In(TestUnitReady(), 0).status, kGood); // no unit attention for a load
}

TEST_F(DiskFixture, StartStopWithoutLoadEjectOrWithAPowerConditionLeavesTheMedium) {
    for (std::uint8_t byte4 : {0x00, 0x01, 0x12, 0x72, 0xF2, 0x04}) {
        EXPECT_EQ(In(Command(0x1B, 6, {{1, 1, 1}, {4, 1, byte4}}), 0).status, kGood);
        EXPECT_EQ(In(TestUnitReady(), 0).status, kGood) << int{byte4};
    }
}

TEST_F(DiskFixture, PreventedRemovalBlocksEjectAndLoadOnEveryNexus) {
    ASSERT_EQ(In(PreventAllow(true), 0, /*nexus*/ 1).status, kGood);
    EXPECT_EQ(SenseOf(In(StartStop(true, false), 0, 1)), kRemovalPrevented);
    EXPECT_EQ(SenseOf(In(StartStop(true, false), 0, 2)), kRemovalPrevented);
    EXPECT_EQ(In(TestUnitReady(), 0).status, kGood);

    // Another nexus's ALLOW does not lift nexus 1's PREVENT.
    ASSERT_EQ(In(PreventAllow(false), 0, 2).status, kGood);
    EXPECT_EQ(SenseOf(In(StartStop(true, false), 0, 2)), kRemovalPrevented);

    ASSERT_EQ(In(PreventAllow(false), 0, 1).status, kGood);
    ASSERT_EQ(In(StartStop(true, false), 0, 2).status, kGood);
    ASSERT_EQ(In(PreventAllow(true), 0, 1).status, kGood);
    EXPECT_EQ(SenseOf(In(StartStop(true, true), 0, 1)), kRemovalPrevented);
    EXPECT_EQ(SenseOf(In(TestUnitReady(), 0)), kNoMedium);
}

TEST_F(DiskFixture, ALostNexusTakesItsPreventWithIt) {
    ASSERT_EQ(In(PreventAllow(true), 0, 7).status, kGood);
    ASSERT_EQ(In(PreventAllow(true), 0, 8).status, kGood);
    lun->NexusLost(7);
    EXPECT_EQ(SenseOf(In(StartStop(true, false), 0, 9)), kRemovalPrevented);
    lun->NexusLost(8);
    EXPECT_EQ(In(StartStop(true, false), 0, 9).status, kGood);
}

TEST_F(DiskFixture, AResetClearsPreventAndRaisesOneUnitAttention) {
    ASSERT_EQ(In(TestUnitReady(), 0).status, kGood);
    ASSERT_EQ(In(PreventAllow(true), 0, 1).status, kGood);
    lun->Reset();
    EXPECT_EQ(In(Command(0x12, 6, {{4, 1, 36}}), 36).status, kGood); // INQUIRY passes it by
    EXPECT_EQ(SenseOf(In(TestUnitReady(), 0)), (Sense{0x06, 0x29, 0x00}));
    EXPECT_EQ(In(TestUnitReady(), 0).status, kGood);
    // Nexus 1 has its own attention to collect; then its PREVENT is seen gone.
    EXPECT_EQ(SenseOf(In(StartStop(true, false), 0, 1)), (Sense{0x06, 0x29, 0x00}));
    EXPECT_EQ(In(StartStop(true, false), 0, 1).status, kGood);
}

// Each nexus the unit knows gets the attention once; one that comes later has nothing
// to be told, and a lost nexus is forgotten.
TEST_F(DiskFixture, EveryKnownNexusGetsTheUnitAttentionOnce) {
    for (const std::uint64_t nexus : {1, 2, 3}) {
        ASSERT_EQ(In(TestUnitReady(), 0, nexus).status, kGood);
    }
    lun->NexusLost(3);
    lun->Reset();
    EXPECT_EQ(In(TestUnitReady(), 0, 4).status, kGood); // new after the reset
    for (const std::uint64_t nexus : {2, 1}) {
        EXPECT_EQ(SenseOf(In(TestUnitReady(), 0, nexus)), (Sense{0x06, 0x29, 0x00})) << nexus;
        EXPECT_EQ(In(TestUnitReady(), 0, nexus).status, kGood) << nexus;
    }
    EXPECT_EQ(In(TestUnitReady(), 0, 3).status, kGood); // logged in again after it

    // The latest attention is the one told.
    drive->Unplug();
    EXPECT_EQ(SenseOf(In(TestUnitReady(), 0, 1)), kNoMedium);
    drive->Plug();
    EXPECT_EQ(In(Command(0x12, 6, {{4, 1, 36}}), 36, 1).status, kGood); // sees the plug back
    lun->Reset();
    EXPECT_EQ(SenseOf(In(TestUnitReady(), 0, 2)), (Sense{0x06, 0x29, 0x00}));
    EXPECT_EQ(In(TestUnitReady(), 0, 2).status, kGood);
}

// A CDB of the fingerprint drive's identification: 512 bytes in.
Bytes Identification() {
    Bytes cdb(16, 0);
    cdb[0] = 0xFC;
    cdb[8] = 0x02;
    cdb[12] = 'I';
    cdb[13] = 'N';
    cdb[14] = 'Q';
    cdb[15] = 'U';
    return cdb;
}

TEST_F(DiskFixture, APulledPlugIsNoMediumForMediaAndVendorCommandsButInquiryAnswers) {
    drive->Unplug();
    EXPECT_EQ(SenseOf(In(Identification(), 512)), kNoMedium);
    EXPECT_EQ(SenseOf(In(TestUnitReady(), 0)), kNoMedium);
    EXPECT_EQ(SenseOf(In(Read10(0, 1), 512)), kNoMedium);
    EXPECT_EQ(In(Command(0x12, 6, {{4, 1, 36}}), 36).status, kGood);
    EXPECT_EQ(In(Command(0xA0, 12, {{9, 1, 16}}), 16).status, kGood);

    drive->Plug();
    // The vendor command after the return is not disturbed by the unit attention...
    EXPECT_EQ(In(Identification(), 512).status, kGood);
    // ...which the next media command gets, once.
    EXPECT_EQ(SenseOf(In(Read10(0, 1), 512)), kMediumChanged);
    EXPECT_EQ(In(Read10(0, 1), 512).status, kGood);
    EXPECT_EQ(In(TestUnitReady(), 0).status, kGood);
}

TEST_F(DiskFixture, RequestSenseDeliversAPendingUnitAttentionOnce) {
    drive->Unplug();
    EXPECT_EQ(In(Command(0x12, 6, {{4, 1, 36}}), 36).status, kGood); // sees the pull
    drive->Plug();
    const auto first = In(Command(0x03, 6, {{4, 1, 18}}), 18).dataIn;
    EXPECT_EQ((Sense{first.at(2), first.at(12), first.at(13)}), kMediumChanged);
    EXPECT_EQ(In(TestUnitReady(), 0).status, kGood);
}

TEST_F(DiskFixture, VendorFaultsOfTheModelReachTheInitiator) {
    const auto good = In(Identification(), 512);
    ASSERT_EQ(good.status, kGood);
    ASSERT_EQ(good.dataIn.size(), 512u);
    EXPECT_EQ(good.commandLength, 512u);
    EXPECT_EQ(std::string(good.dataIn.begin() + 6, good.dataIn.begin() + 10), "INQU");

    drive->FailNextCommands(1);
    const auto refused = In(Identification(), 512);
    EXPECT_TRUE(refused.answered);
    EXPECT_EQ(SenseOf(refused), (Sense{0x09, 0x80, 0x00}));
    EXPECT_TRUE(refused.dataIn.empty());

    drive->SilenceNextCommands(1);
    EXPECT_FALSE(In(Identification(), 512).answered);
    EXPECT_EQ(In(Identification(), 512).status, kGood);

    // A transfer in both directions, or larger than any vendor command, never reaches it:
    // the fault armed before them is still there for the next command.
    drive->FailNextCommands(1);
    vdrive::ScsiTask both;
    const Bytes cdb = Identification();
    const Bytes out(512, 0);
    both.cdb = cdb;
    both.expectedLength = 512;
    both.readsData = both.writesData = true;
    both.dataOut = out;
    EXPECT_EQ(SenseOf(lun->Execute(both)), kInvalidField);
    EXPECT_EQ(SenseOf(In(Identification(), vdrive::kMaxVendorTransfer + 1)), kInvalidField);
    EXPECT_EQ(SenseOf(In(Identification(), 512)), (Sense{0x09, 0x80, 0x00}));
    EXPECT_EQ(In(Identification(), 512).status, kGood);
}

// A volume handle of the device layer whose commands go through the logical unit, as
// they do through a kernel's SCSI stack: the whole vendor protocol must survive it.
class ThroughTheDisk final : public IScsiTarget {
  public:
    explicit ThroughTheDisk(vdrive::IScsiLogicalUnit& lun) : m_lun(lun) {}
    std::uint8_t ExecuteCommand(const ::Cdb& cdb, ScsiDirection direction,
                                std::span<std::uint8_t> data) override {
        vdrive::ScsiTask task;
        task.cdb = cdb;
        task.expectedLength = static_cast<std::uint32_t>(data.size());
        task.readsData = direction == ScsiDirection::Read && !data.empty();
        task.writesData = direction == ScsiDirection::Write && !data.empty();
        task.dataOut = data;
        const auto result = m_lun.Execute(task);
        if (result.status == kScsiStatusGood && task.readsData) {
            EXPECT_EQ(result.dataIn.size(), data.size());
            std::copy(result.dataIn.begin(), result.dataIn.end(), data.begin());
        }
        return result.answered ? result.status : kScsiStatusCheckCondition;
    }

  private:
    vdrive::IScsiLogicalUnit& m_lun;
};

struct NoWait final : IClock {
    void Sleep(std::uint32_t) override {}
};

TEST_F(DiskFixture, TheDeviceLayerReadsTheSlotListThroughTheDisk) {
    drive->SetSlot(3, "alice-thumb");
    ThroughTheDisk target(*lun);
    MemoryTransport transport;
    transport.Attach('E', target);
    NoWait clock;
    CFingerDisk disk(transport, clock);
    disk.m_driveLetter = 'E';

    ReplyFrame identification;
    ASSERT_TRUE(disk.Identify(identification));
    SecureIdentity identity{};
    ASSERT_TRUE(disk.ReadSecureIdentity(identity));
    EXPECT_EQ(std::string(identity.begin(), identity.end()), "JMTMESV1");
    ASSERT_TRUE(disk.SendRequestFrame(vendor::kStatusRequest, vendor::kWriteExpectsReply));
    ReplyFrame status;
    ASSERT_TRUE(disk.ReceiveReplyFrame(vendor::kStatusReplyLength, status));
    // The fourth entry of the slot list says installed.
    EXPECT_EQ(status.At(vendor::kFrameHeaderLength + 3 * 3), 'S');
    EXPECT_EQ(drive->BadFrameCount(), 0u);
}

TEST_F(DiskFixture, BlockIoGoesOnWhileAVendorCommandHoldsTheModel) {
    std::promise<void> held;
    std::promise<void> release;
    std::thread vendor([&] {
        std::lock_guard lock(modelMutex); // as a long vendor command would
        held.set_value();
        release.get_future().wait();
    });
    held.get_future().wait();
    auto io = std::async(std::launch::async, [&] {
        return In(Read10(0, 8), 4096).status == kGood && In(TestUnitReady(), 0).status == kGood;
    });
    // Not a speed check: a unit that waits for the model never finishes while it is held.
    const bool finished = io.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    release.set_value();
    vendor.join();
    ASSERT_TRUE(finished);
    EXPECT_TRUE(io.get());
}

TEST(DiskVolumes, AStickVolumeAnswersVendorCommandsAsTheStickDoes) {
    vdrive::VolumeSet volumes;
    volumes.AddStick('F', {});
    vdrive::StickOptions refusing;
    refusing.refuseVendorCommands = true;
    volumes.AddStick('G', refusing);
    std::mutex mutex;
    auto stick = vdrive::MakeVolumeDisk(*volumes.Find('F'), mutex);
    auto refuser = vdrive::MakeVolumeDisk(*volumes.Find('G'), mutex);
    vdrive::ScsiTask task;
    const Bytes cdb = Identification();
    task.cdb = cdb;
    task.expectedLength = 512;
    task.readsData = true;
    const auto answer = stick->Execute(task);
    ASSERT_EQ(answer.status, kGood);
    EXPECT_EQ(std::string(answer.dataIn.begin() + 10, answer.dataIn.begin() + 18), "UsbFlash");
    EXPECT_EQ(SenseOf(refuser->Execute(task)), (Sense{0x09, 0x80, 0x00}));
    // The default medium: the formatted 16 MiB disk, its signature told by the letter, so
    // that a host with both attached tells the disks apart.
    const Bytes capacity = Command(0x25, 10);
    task.cdb = capacity;
    EXPECT_EQ(Be(stick->Execute(task).dataIn, 0, 4), 16u * 2048 - 1);
    const Bytes mbr = Read10(0, 1);
    task.cdb = mbr;
    const Bytes first = stick->Execute(task).dataIn;
    const Bytes second = refuser->Execute(task).dataIn;
    ASSERT_EQ(first.size(), 512u);
    ASSERT_EQ(second.size(), 512u);
    EXPECT_EQ(first[440], 'F');
    EXPECT_EQ(second[440], 'G');
}

} // namespace

namespace {

// Several sessions at once, as the iSCSI server runs them: each writes and reads back its
// own blocks while vendor commands and plug changes come from other threads. No block may
// come back with another session's bytes, and every answer must be one the unit gives.
TEST_F(DiskFixture, SessionsSideBySideKeepTheirOwnBlocks) {
    constexpr int kSessions = 4;
    constexpr int kRounds = 300;
    std::atomic<bool> stop{false};
    std::atomic<int> mixedUp{0};
    std::vector<std::thread> threads;
    for (int session = 0; session < kSessions; ++session) {
        threads.emplace_back([&, session] {
            const std::uint64_t lba = 64 * static_cast<std::uint64_t>(session);
            for (int round = 0; round < kRounds; ++round) {
                const Bytes pattern(8 * 512, static_cast<std::uint8_t>(session * 50 + round % 50));
                const auto written = Out(Write10(lba, 8), pattern);
                const auto read = In(Read10(lba, 8), 8 * 512, static_cast<std::uint64_t>(session));
                if (written.status == kScsiStatusGood && read.status == kScsiStatusGood &&
                    read.dataIn != pattern) {
                    ++mixedUp;
                }
            }
        });
    }
    threads.emplace_back([&] {
        while (!stop) {
            In(Identification(), 512);
        }
    });
    threads.emplace_back([&] {
        for (int i = 0; !stop; ++i) {
            std::lock_guard lock(modelMutex); // as the control texts do
            if (i % 2 == 0) {
                drive->Unplug();
            } else {
                drive->Plug();
            }
        }
    });
    for (int session = 0; session < kSessions; ++session) {
        threads[static_cast<std::size_t>(session)].join();
    }
    stop = true;
    for (std::size_t i = kSessions; i < threads.size(); ++i) {
        threads[i].join();
    }
    EXPECT_EQ(mixedUp, 0);
}

} // namespace
