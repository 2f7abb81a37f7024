// The Bulk-Only Transport: the thirteen cases of host and device agreeing or not on the
// data stage, an invalid CBW and its reset recovery, a silent drive, the sense kept for
// REQUEST SENSE, and transfers waiting and unlinked on the device.
#include <gtest/gtest.h>

#include "usbip_client.h"
#include "virtual_drive/disk/sense.h"
#include "virtual_drive/usbip/storage_device.h"

using namespace vdrive::usbip;
using usbip_test::Cbw;

namespace {

constexpr std::uint8_t kNoData = 0x00; // TEST UNIT READY
constexpr std::uint8_t kReads = 0x12;  // INQUIRY
constexpr std::uint8_t kWrites = 0x2A; // WRITE(10)

// A unit whose commands move `length` bytes, cut as the disk cuts them; it can fail or
// stay silent.
class ScriptedUnit final : public vdrive::IScsiLogicalUnit {
  public:
    vdrive::ScsiTaskResult Execute(const vdrive::ScsiTask& task) override {
        ++commands;
        lastDataOut.assign(task.dataOut.begin(), task.dataOut.end());
        if (silent) {
            silent = false;
            vdrive::ScsiTaskResult none;
            none.answered = false;
            return none;
        }
        if (fail) {
            fail = false;
            return vdrive::scsi::CheckCondition(vdrive::scsi::SenseKey::NotReady,
                                                vdrive::scsi::kMediumNotPresent);
        }
        vdrive::ScsiTaskResult result;
        result.commandLength = length;
        if (task.readsData) {
            result.dataIn.assign(std::min(length, task.expectedLength), 0x5A);
        }
        return result;
    }
    std::uint32_t length = 0;
    bool silent = false;
    bool fail = false;
    int commands = 0;
    std::vector<std::uint8_t> lastDataOut;
};

struct Outcome {
    std::size_t dataIn = 0;
    bool dataStalled = false;
    CswStatus status = CswStatus::Passed;
    std::uint32_t residue = 0;
    friend bool operator==(const Outcome&, const Outcome&) = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    return out << "data " << o.dataIn << (o.dataStalled ? " stalled" : "") << ", status "
               << static_cast<int>(o.status) << ", residue " << o.residue;
}

// One command as a host runs it: CBW, the data stage it announced, CSW.
Outcome RunCommand(BulkOnlyTransport& transport, std::uint8_t operation, std::uint32_t host,
                   bool hostReads) {
    const std::vector<std::uint8_t> cdb{operation, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(transport.Out(Cbw(1, host, hostReads, cdb))->status, kStatusOk);
    Outcome outcome;
    if (host > 0 && hostReads) {
        const auto data = transport.In(host);
        EXPECT_TRUE(data);
        outcome.dataIn = data->data.size();
        outcome.dataStalled = data->status == kStatusStall;
        transport.ClearHalt(0x81);
    } else if (host > 0) {
        EXPECT_EQ(transport.Out(std::vector<std::uint8_t>(host, 0x33))->outLength, host);
    }
    const auto csw = transport.In(kCswSize);
    EXPECT_TRUE(csw && csw->data.size() == kCswSize);
    outcome.status = transport.LastStatus();
    outcome.residue = transport.LastResidue();
    return outcome;
}

struct Case {
    int number;
    std::uint8_t operation;
    std::uint32_t device; // bytes the command moves
    std::uint32_t host;   // dCBWDataTransferLength
    bool hostReads;
    Outcome expected;
};

TEST(BulkOnly, TheThirteenCasesOfHostAndDevice) {
    using enum CswStatus;
    for (const Case& c : std::vector<Case>{
             {1, kNoData, 0, 0, false, {0, false, Passed, 0}},           // Hn = Dn
             {2, kReads, 36, 0, false, {0, false, PhaseError, 0}},       // Hn < Di
             {3, kWrites, 512, 0, false, {0, false, PhaseError, 0}},     // Hn < Do
             {4, kNoData, 0, 64, true, {0, true, Passed, 64}},           // Hi > Dn
             {5, kReads, 36, 64, true, {36, false, Passed, 28}},         // Hi > Di
             {6, kReads, 36, 36, true, {36, false, Passed, 0}},          // Hi = Di
             {7, kReads, 36, 8, true, {8, false, PhaseError, 0}},        // Hi < Di
             {8, kWrites, 512, 512, true, {0, true, PhaseError, 512}},   // Hi <> Do
             {9, kNoData, 0, 512, false, {0, false, Passed, 512}},       // Ho > Dn
             {10, kReads, 36, 512, false, {0, false, PhaseError, 0}},    // Ho <> Di
             {11, kWrites, 512, 1024, false, {0, false, Passed, 512}},   // Ho > Do
             {12, kWrites, 512, 512, false, {0, false, Passed, 0}},      // Ho = Do
             {13, kWrites, 1024, 512, false, {0, false, PhaseError, 0}}, // Ho < Do
         }) {
        ScriptedUnit unit;
        unit.length = c.device;
        BulkOnlyTransport transport(unit, 1);
        EXPECT_EQ(RunCommand(transport, c.operation, c.host, c.hostReads), c.expected)
            << "case " << c.number;
        EXPECT_EQ(unit.commands, 1) << "case " << c.number;
    }
}

TEST(BulkOnly, DataSpreadOverSeveralTransfersArrivesWhole) {
    ScriptedUnit unit;
    unit.length = 2048;
    BulkOnlyTransport transport(unit, 1);
    const std::vector<std::uint8_t> write{kWrites, 0, 0, 0, 0, 0, 0, 0, 4, 0};
    ASSERT_TRUE(transport.Out(Cbw(5, 2048, false, write)));
    for (int part = 0; part < 4; ++part) {
        EXPECT_EQ(unit.commands, 0);
        EXPECT_EQ(transport.Out(std::vector<std::uint8_t>(512, 0x11))->outLength, 512u);
    }
    EXPECT_EQ(unit.lastDataOut.size(), 2048u);
    const auto csw = transport.In(13);
    ASSERT_TRUE(csw);
    EXPECT_EQ(csw->data[4], 5); // the tag comes back
    EXPECT_EQ(transport.LastStatus(), CswStatus::Passed);
}

TEST(BulkOnly, AnInvalidCbwStallsBothEndpointsUntilAResetRecovery) {
    const auto valid = Cbw(1, 0, false, {kNoData, 0, 0, 0, 0, 0});
    const auto changed = [&valid](std::size_t at, std::uint8_t value) {
        auto cbw = valid;
        cbw[at] = value;
        return cbw;
    };
    std::vector<std::uint8_t> overlong = valid;
    overlong.push_back(0);
    for (const auto& bad : {changed(0, 'X'), changed(13, 1), changed(14, 0), changed(14, 17),
                            overlong, std::vector<std::uint8_t>(valid.begin(), valid.end() - 1)}) {
        ScriptedUnit unit;
        BulkOnlyTransport transport(unit, 1);
        ASSERT_TRUE(transport.Out(bad));
        EXPECT_EQ(transport.In(13)->status, kStatusStall);
        EXPECT_EQ(transport.Out(valid)->status, kStatusStall);
        transport.ClearHalt(0x81);
        transport.ClearHalt(0x02);
        EXPECT_TRUE(transport.Halted(0x81) && transport.Halted(0x02)); // not without a reset
        transport.Reset();
        transport.ClearHalt(0x81);
        transport.ClearHalt(0x02);
        EXPECT_EQ(RunCommand(transport, kNoData, 0, false).status, CswStatus::Passed);
        EXPECT_EQ(unit.commands, 1);
    }
}

TEST(BulkOnly, ASilentCommandLeavesTheStatusUnsentUntilAReset) {
    ScriptedUnit unit;
    unit.silent = true;
    BulkOnlyTransport transport(unit, 1);
    ASSERT_TRUE(transport.Out(Cbw(1, 36, true, {kReads, 0, 0, 0, 36, 0})));
    EXPECT_FALSE(transport.In(36));
    EXPECT_FALSE(transport.Out(Cbw(2, 0, false, {kNoData, 0, 0, 0, 0, 0})));
    transport.Reset();
    unit.length = 36;
    EXPECT_EQ(RunCommand(transport, kReads, 36, true), (Outcome{36, false, CswStatus::Passed, 0}));
}

TEST(HeldSense, AFailedCommandsSenseGoesToTheNextRequestSenseOnly) {
    ScriptedUnit unit;
    HeldSenseUnit held(unit);
    const std::vector<std::uint8_t> requestSense{0x03, 0, 0, 0, 18, 0};
    vdrive::ScsiTask task;
    const std::vector<std::uint8_t> tur{0x00, 0, 0, 0, 0, 0};
    task.cdb = tur;
    unit.fail = true;
    EXPECT_EQ(held.Execute(task).status, kScsiStatusCheckCondition);
    task.cdb = requestSense;
    task.readsData = true;
    task.expectedLength = 18;
    const auto sense = held.Execute(task);
    ASSERT_EQ(sense.dataIn.size(), 18u);
    EXPECT_EQ(sense.dataIn[2], 0x02); // NOT READY
    EXPECT_EQ(sense.dataIn[12], 0x3A);
    EXPECT_EQ(unit.commands, 2); // the disk still sees the REQUEST SENSE
    unit.length = 18;
    // Given once: the next REQUEST SENSE gets the unit's own answer.
    EXPECT_EQ(held.Execute(task).dataIn, std::vector<std::uint8_t>(18, 0x5A));
}

TEST(StorageDevice, TransfersWaitInOrderAndAnUnlinkedOneIsNeverAnswered) {
    ScriptedUnit unit;
    unit.length = 36;
    StorageDevice device(unit, 1, UsbIdentityFor('E', true));
    const auto submission = [](std::uint32_t seqnum, std::uint32_t endpoint, bool in,
                               std::uint32_t length, std::vector<std::uint8_t> data = {}) {
        Submission s;
        s.header.command = kCmdSubmit;
        s.header.seqnum = seqnum;
        s.header.endpoint = endpoint;
        s.header.direction = in ? kDirIn : kDirOut;
        s.header.transferLength = in ? length : static_cast<std::uint32_t>(data.size());
        s.data = std::move(data);
        return s;
    };
    std::vector<Completion> done;
    device.Submit(submission(1, 1, true, 36), done); // data, before its command
    device.Submit(submission(2, 1, true, 13), done); // CSW
    device.Submit(submission(3, 1, true, 13), done); // for a command never sent
    EXPECT_TRUE(done.empty());
    EXPECT_EQ(device.Waiting(), 3u);
    EXPECT_TRUE(device.Unlink(3));
    EXPECT_FALSE(device.Unlink(3));

    device.Submit(submission(4, 2, false, 0, Cbw(9, 36, true, {kReads, 0, 0, 0, 36, 0})), done);
    ASSERT_EQ(done.size(), 3u);
    EXPECT_EQ(done[0].header.seqnum, 4u); // the CBW
    EXPECT_EQ(done[1].header.seqnum, 1u);
    EXPECT_EQ(done[1].reply.data.size(), 36u);
    EXPECT_EQ(done[2].header.seqnum, 2u);
    EXPECT_EQ(done[2].reply.data.size(), kCswSize);
    EXPECT_FALSE(device.Unlink(1)); // answered already
    EXPECT_EQ(device.Waiting(), 0u);

    done.clear();
    device.Submit(submission(5, 3, true, 64), done); // no such endpoint
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].reply.status, kStatusStall);
}

} // namespace
