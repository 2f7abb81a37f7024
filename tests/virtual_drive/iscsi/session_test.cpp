// The full feature phase: commands in CmdSN order, Data-In with status and residuals,
// R2T and Data-Out, task management, NOP, text, logout and rejects.
#include <gtest/gtest.h>

#include "iscsi_pdus.h"
#include "virtual_drive/iscsi/connection.h"
#include "virtual_drive/iscsi/target_name.h"

using namespace vdrive::iscsi;
using iscsi_test::Command;
using iscsi_test::DataOut;
using iscsi_test::kWord20;
using iscsi_test::kWord24;
using iscsi_test::kWord28;
using iscsi_test::kWord32;
using iscsi_test::kWord36;
using iscsi_test::kWord40;
using iscsi_test::kWord44;
using iscsi_test::Make;

namespace {

constexpr std::uint32_t kFirstCmdSn = 100;
const std::vector<std::uint8_t> kRead10OfTwo = {0x28, 0, 0, 0, 0, 0, 0, 0, 2, 0};
const std::vector<std::uint8_t> kRead10OfFour = {0x28, 0, 0, 0, 0, 0, 0, 0, 4, 0};
const std::vector<std::uint8_t> kWrite10OfFour = {0x2A, 0, 0, 0, 0, 0, 0, 0, 4, 0};

// A connection logged in to target E (a RecordingUnit) or into discovery, with small
// segments (1024 bytes each way) and bursts (1024) so that transfers take several PDUs.
class SessionRig {
  public:
    explicit SessionRig(const std::string& sessionType = "Normal", Flush flush = {}) {
        auto unit = std::make_unique<iscsi_test::RecordingUnit>();
        recorder = unit.get();
        targets.push_back({TargetNameFor('E'), std::move(unit)});
        targets.push_back({TargetNameFor('F'), std::make_unique<iscsi_test::RecordingUnit>()});
        connection = std::make_unique<Connection>(targets, "127.0.0.1:3260", true, 42);
        connection->SetFlush(std::move(flush));
        std::vector<std::uint8_t> out;
        EXPECT_TRUE(
            connection->Handle(iscsi_test::LoginRequest(0, 1,
                                                        {{"InitiatorName", "iqn.2026-12.test:i"},
                                                         {"TargetName", TargetNameFor('E')},
                                                         {"SessionType", sessionType}},
                                                        kFirstCmdSn),
                               out));
        EXPECT_TRUE(
            connection->Handle(iscsi_test::LoginRequest(1, 3,
                                                        {{"MaxRecvDataSegmentLength", "1024"},
                                                         {"MaxBurstLength", "1024"},
                                                         {"ImmediateData", "Yes"}},
                                                        kFirstCmdSn),
                               out));
        EXPECT_TRUE(connection->LoggedIn());
    }

    // Sends one PDU; `open` says whether the connection is to stay open.
    std::vector<Pdu> Send(const Pdu& pdu, bool open = true) {
        std::vector<std::uint8_t> out;
        EXPECT_EQ(connection->Handle(pdu, out), open);
        return iscsi_test::Split(out);
    }

    TargetList targets;
    iscsi_test::RecordingUnit* recorder = nullptr;
    std::unique_ptr<Connection> connection;
};

Pdu Nop(std::uint32_t taskTag, std::uint32_t cmdSn, bool immediate = false) {
    Pdu nop = Make(Opcode::NopOut, 0x80, taskTag);
    nop.header[0] |= immediate ? 0x40 : 0;
    nop.SetWord(kWord20, kReservedTag);
    nop.SetWord(kWord24, cmdSn);
    return nop;
}

Pdu TaskManagement(std::uint8_t function, std::uint32_t referenced, std::uint32_t cmdSn) {
    Pdu request = Make(Opcode::TaskManagement, static_cast<std::uint8_t>(0x80 | function), 0x77);
    request.header[0] |= 0x40; // immediate, as initiators send them
    request.SetWord(kWord20, referenced);
    request.SetWord(kWord24, cmdSn);
    return request;
}

TEST(IscsiSession, ReadGoesAsDataInWithStatusInTheLast) {
    SessionRig rig;
    const std::vector<Pdu> out = rig.Send(Command(1, kFirstCmdSn, kRead10OfFour, 0x40, 1024 + 512));
    ASSERT_EQ(out.size(), 2u); // 1024 bytes fit the initiator's segments in one PDU each
    for (std::uint32_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(out[i].Op(), Opcode::DataIn);
        EXPECT_EQ(out[i].TaskTag(), 1u);
        EXPECT_EQ(out[i].Word(kWord36), i); // DataSN
        EXPECT_EQ(out[i].Word(kWord40), i * 1024);
        EXPECT_EQ(out[i].Word(kWord28), kFirstCmdSn + 1); // ExpCmdSN moved on
    }
    EXPECT_EQ(out[0].data.size(), 1024u);
    EXPECT_EQ(out[1].data.size(), 512u);           // only what was expected: the rest is overflow
    EXPECT_EQ(out[1].data[0], 3);                  // the third block
    EXPECT_EQ(out[0].Flags(), 0x80);               // end of a burst, no status
    EXPECT_EQ(out[1].Flags(), 0x80 | 0x04 | 0x01); // final, overflow, status
    EXPECT_EQ(out[1].header[3], 0);
    EXPECT_EQ(out[1].Word(kWord44), 512u);
}

TEST(IscsiSession, ResidualsAgainstTheExpectedLength) {
    struct Case {
        std::uint32_t expected;
        std::uint8_t flags; // of the response that carries the status
        std::uint32_t residual;
        std::size_t dataBytes;
    };
    const std::vector<Case> cases = {
        {1024, 0x80 | 0x01, 0, 1024},           // exact
        {4096, 0x80 | 0x02 | 0x01, 3072, 1024}, // underflow
        {200, 0x80 | 0x04 | 0x01, 824, 200},    // overflow
        {0, 0x80 | 0x04, 1024, 0},              // nothing expected: a SCSI Response only
    };
    for (const Case& c : cases) {
        SessionRig rig;
        const std::vector<Pdu> out =
            rig.Send(Command(1, kFirstCmdSn, kRead10OfTwo, 0x40, c.expected));
        ASSERT_FALSE(out.empty());
        std::size_t data = 0;
        for (const Pdu& pdu : out) {
            data += pdu.data.size();
        }
        EXPECT_EQ(out.back().Flags(), c.flags) << c.expected;
        EXPECT_EQ(out.back().Word(kWord44), c.residual) << c.expected;
        EXPECT_EQ(data, c.dataBytes) << c.expected;
    }
}

TEST(IscsiSession, CheckConditionCarriesItsSense) {
    SessionRig rig;
    rig.recorder->notReady = true;
    const std::vector<Pdu> out = rig.Send(Command(3, kFirstCmdSn, {0x00}, 0, 0));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].Op(), Opcode::ScsiResponse);
    EXPECT_EQ(out[0].header[3], 0x02);
    ASSERT_EQ(out[0].data.size(), 2u + 18u);
    EXPECT_EQ(out[0].data[1], 18); // sense length first
    EXPECT_EQ(out[0].data[2 + 12], 0x3A);
}

TEST(IscsiSession, OtherLunsAndOversizedTransfersAreRefusedByTheTarget) {
    SessionRig rig;
    Pdu otherLun = Command(1, kFirstCmdSn, kRead10OfTwo, 0x40, 1024);
    otherLun.header[9] = 1;
    const Pdu huge = Command(2, kFirstCmdSn + 1, kRead10OfTwo, 0x40, kMaxTransferLength + 1);
    for (const Pdu& command : {otherLun, huge}) {
        const std::vector<Pdu> out = rig.Send(command);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].header[3], 0x02);
        EXPECT_EQ(out[0].data[2 + 2], 0x05); // ILLEGAL REQUEST
    }
    EXPECT_EQ(rig.recorder->executed, 0);
}

TEST(IscsiSession, WriteDataComesByR2TInBursts) {
    SessionRig rig;
    std::vector<Pdu> out = rig.Send(Command(5, kFirstCmdSn, kWrite10OfFour, 0x20, 2048));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].Op(), Opcode::ReadyToTransfer);
    EXPECT_EQ(out[0].Word(kWord36), 0u);    // R2TSN
    EXPECT_EQ(out[0].Word(kWord40), 0u);    // offset
    EXPECT_EQ(out[0].Word(kWord44), 1024u); // one burst
    const std::uint32_t firstTag = out[0].Word(kWord20);

    EXPECT_TRUE(
        rig.Send(DataOut(5, firstTag, 0, 0, std::vector<std::uint8_t>(512, 0xA1), false)).empty());
    out = rig.Send(DataOut(5, firstTag, 1, 512, std::vector<std::uint8_t>(512, 0xA2), true));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].Op(), Opcode::ReadyToTransfer);
    EXPECT_EQ(out[0].Word(kWord36), 1u);
    EXPECT_EQ(out[0].Word(kWord40), 1024u);
    const std::uint32_t secondTag = out[0].Word(kWord20);
    EXPECT_NE(secondTag, firstTag);

    out = rig.Send(DataOut(5, secondTag, 0, 1024, std::vector<std::uint8_t>(1024, 0xA3), true));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].Op(), Opcode::ScsiResponse);
    EXPECT_EQ(out[0].header[3], 0);
    EXPECT_EQ(out[0].Flags(), 0x80); // four blocks named, four sent
    ASSERT_EQ(rig.recorder->written.size(), 2048u);
    EXPECT_EQ(rig.recorder->written[511], 0xA1);
    EXPECT_EQ(rig.recorder->written[512], 0xA2);
    EXPECT_EQ(rig.recorder->written[2047], 0xA3);
    EXPECT_EQ(rig.recorder->lastNexus, 42u);
}

TEST(IscsiSession, DataOutOutOfSequenceEndsTheConnection) {
    struct Case {
        const char* what;
        std::uint32_t dataSn, offset, length;
        bool rightTag;
    };
    const std::vector<Case> cases = {
        {"DataSN skips", 1, 0, 512, true},
        {"offset skips", 0, 512, 512, true},
        {"past the burst", 0, 0, 1536, true},
        {"unknown transfer tag", 0, 0, 512, false},
    };
    for (const Case& c : cases) {
        SessionRig rig;
        const std::vector<Pdu> r2t = rig.Send(Command(5, kFirstCmdSn, kWrite10OfFour, 0x20, 2048));
        ASSERT_EQ(r2t.size(), 1u);
        const std::uint32_t tag = c.rightTag ? r2t[0].Word(kWord20) : kReservedTag;
        rig.Send(DataOut(5, tag, c.dataSn, c.offset, std::vector<std::uint8_t>(c.length), false),
                 false);
        EXPECT_EQ(rig.recorder->executed, 0) << c.what;
    }
}

TEST(IscsiSession, WritesWaitingForDataAreBoundedTogether) {
    SessionRig rig;
    const std::vector<std::uint8_t> write = {0x2A, 0, 0, 0, 0, 0, 0, 0x80, 0, 0}; // 16 MiB
    std::uint32_t cmdSn = kFirstCmdSn;
    for (std::uint32_t tag = 1; tag <= 2; ++tag) {
        const std::vector<Pdu> r2t =
            rig.Send(Command(tag, cmdSn++, write, 0x20, kMaxTransferLength));
        ASSERT_EQ(r2t.size(), 1u);
        EXPECT_EQ(r2t[0].Op(), Opcode::ReadyToTransfer);
    }
    std::vector<Pdu> out = rig.Send(Command(3, cmdSn++, write, 0x20, kMaxTransferLength));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].Op(), Opcode::ScsiResponse);
    EXPECT_EQ(out[0].header[3], 0x28); // TASK SET FULL: try again later
    // Once one is aborted there is room again.
    Pdu abort = Make(Opcode::TaskManagement, 0x80 | 1, 0x77);
    abort.header[0] |= 0x40;
    abort.SetWord(kWord20, 1);
    ASSERT_EQ(rig.Send(abort).size(), 1u);
    out = rig.Send(Command(4, cmdSn++, write, 0x20, kMaxTransferLength));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].Op(), Opcode::ReadyToTransfer);
}

TEST(IscsiSession, ImmediateDataIsRefusedAsNotNegotiated) {
    SessionRig rig;
    Pdu command = Command(5, kFirstCmdSn, kWrite10OfFour, 0x20, 2048);
    command.data.assign(512, 1);
    const std::vector<Pdu> out = rig.Send(command);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].Op(), Opcode::Reject);
    EXPECT_EQ(out[0].header[2], 0x09);
    EXPECT_EQ(out[0].data.size(), kHeaderLength); // the rejected header comes back
}

TEST(IscsiSession, CommandsRunInCmdSnOrder) {
    SessionRig rig;
    // Ahead of the window's start: held until the gap is filled.
    EXPECT_TRUE(rig.Send(Nop(2, kFirstCmdSn + 1)).empty());
    // Outside the window either way: silently dropped.
    EXPECT_TRUE(rig.Send(Nop(8, kFirstCmdSn + kCommandWindow + 5)).empty());
    EXPECT_TRUE(rig.Send(Nop(9, kFirstCmdSn - 1)).empty());
    // An immediate command neither waits nor moves the window.
    std::vector<Pdu> out = rig.Send(Nop(3, kFirstCmdSn, true));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].Word(kWord28), kFirstCmdSn);
    out = rig.Send(Nop(1, kFirstCmdSn));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].TaskTag(), 1u);
    EXPECT_EQ(out[1].TaskTag(), 2u);
    EXPECT_EQ(out[1].Word(kWord28), kFirstCmdSn + 2);
    EXPECT_EQ(out[1].Word(kWord32), kFirstCmdSn + 2 + kCommandWindow - 1);
    // StatSN counts every status: the login's two, then each NOP-In.
    EXPECT_EQ(out[1].Word(kWord24), out[0].Word(kWord24) + 1);
}

TEST(IscsiSession, NopOutIsEchoedWithinTheInitiatorsSegment) {
    SessionRig rig;
    Pdu ping = Nop(4, kFirstCmdSn);
    ping.data.assign(3000, 0x5A);
    const std::vector<Pdu> out = rig.Send(ping);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].Op(), Opcode::NopIn);
    EXPECT_EQ(out[0].Word(kWord20), kReservedTag);
    EXPECT_EQ(out[0].data, std::vector<std::uint8_t>(1024, 0x5A));
    EXPECT_TRUE(rig.Send(Nop(kReservedTag, kFirstCmdSn + 1, true)).empty()); // no answer wanted
}

TEST(IscsiSession, TaskManagementAbortsWhatIsStillOpen) {
    SessionRig rig;
    // A silent drive's command is never answered, yet it can be aborted.
    const std::vector<std::uint8_t> vendor = {0xFC};
    EXPECT_TRUE(rig.Send(Command(10, kFirstCmdSn, vendor, 0x40, 512)).empty());
    // A write still waiting for its data.
    ASSERT_EQ(rig.Send(Command(11, kFirstCmdSn + 1, kWrite10OfFour, 0x20, 2048)).size(), 1u);
    struct Case {
        std::uint8_t function;
        std::uint32_t referenced;
        std::uint8_t response;
    };
    const std::vector<Case> cases = {
        {1, 10, 0},                // ABORT TASK: done
        {1, 10, 1},                // no longer there
        {1, 99, 1},     {5, 0, 0}, // LUN RESET: ends the write and resets the unit
        {3, 0, 5},                 // CLEAR ACA: not supported
        {8, 0, 4},                 // TASK REASSIGN: no connection recovery
        {0x42, 0, 255},
    };
    for (const Case& c : cases) {
        const std::vector<Pdu> out =
            rig.Send(TaskManagement(c.function, c.referenced, kFirstCmdSn + 2));
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].Op(), Opcode::TaskManagementResponse);
        EXPECT_EQ(out[0].header[2], c.response) << int(c.function) << " " << c.referenced;
    }
    EXPECT_EQ(rig.recorder->resets, 1);
    // The write's data now finds no task and is dropped.
    EXPECT_TRUE(rig.Send(DataOut(11, 1, 0, 0, std::vector<std::uint8_t>(512), true)).empty());
    EXPECT_EQ(rig.recorder->written.size(), 0u);
    // A cold reset answers, then drops the connection.
    const std::vector<Pdu> out = rig.Send(TaskManagement(7, 0, kFirstCmdSn + 2), false);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].header[2], 0);
    EXPECT_EQ(rig.recorder->resets, 2);
}

TEST(IscsiSession, EndingTheSessionTellsTheUnit) {
    SessionRig rig;
    Pdu logout = Make(Opcode::LogoutRequest, 0x80 | 0, 0x55);
    logout.SetWord(kWord24, kFirstCmdSn);
    const std::vector<Pdu> out = rig.Send(logout, false);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].Op(), Opcode::LogoutResponse);
    EXPECT_EQ(out[0].header[2], 0);
    rig.connection.reset();
    EXPECT_EQ(rig.recorder->lostNexus, 42u);
}

TEST(IscsiSession, UnsupportedPdusAreRejected) {
    SessionRig rig;
    std::vector<Pdu> out = rig.Send(Make(Opcode::Snack, 0x80, 1));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].Op(), Opcode::Reject);
    EXPECT_EQ(out[0].header[2], 0x05);
    out = rig.Send(Make(static_cast<Opcode>(0x1C), 0x80, 1));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].header[2], 0x05);
    // A second login on a logged-in connection is a protocol error that ends it.
    out = rig.Send(iscsi_test::LoginRequest(0, 1, {}), false);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].header[2], 0x04);
}

Pdu Text(std::uint32_t taskTag, std::uint32_t cmdSn, const vdrive::iscsi::TextKeys& keys,
         std::uint32_t transferTag = kReservedTag) {
    Pdu text = Make(Opcode::TextRequest, 0x80, taskTag);
    text.SetWord(kWord20, transferTag);
    text.SetWord(kWord24, cmdSn);
    text.data = iscsi_test::Keys(keys);
    return text;
}

TEST(IscsiSession, DiscoveryListsEveryTargetAndRunsNoCommands) {
    SessionRig rig("Discovery");
    std::vector<Pdu> out = rig.Send(Text(1, kFirstCmdSn, {{"SendTargets", "All"}, {"X-y", "1"}}));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].Op(), Opcode::TextResponse);
    EXPECT_EQ(out[0].Flags(), 0x80);
    EXPECT_EQ(*ParseTextKeys(out[0].data),
              (TextKeys{{"TargetName", "iqn.2026-12.org.tessalok:vdrive-e"},
                        {"TargetAddress", "127.0.0.1:3260,1"},
                        {"TargetName", "iqn.2026-12.org.tessalok:vdrive-f"},
                        {"TargetAddress", "127.0.0.1:3260,1"},
                        {"X-y", "NotUnderstood"}}));
    out = rig.Send(Command(2, kFirstCmdSn + 1, kRead10OfTwo, 0x40, 1024));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].Op(), Opcode::Reject);
    EXPECT_EQ(rig.recorder->executed, 0);
}

TEST(IscsiSession, LongTextAnswersComeInPieces) {
    SessionRig rig;
    TextKeys many;
    for (int i = 0; i < 80; ++i) {
        many.emplace_back("X-key" + std::to_string(i), "1"); // 80 NotUnderstood answers
    }
    std::vector<std::uint8_t> whole;
    std::vector<Pdu> out = rig.Send(Text(1, kFirstCmdSn, many));
    for (std::uint32_t cmdSn = kFirstCmdSn + 1; !out.empty(); ++cmdSn) {
        ASSERT_EQ(out.size(), 1u);
        ASSERT_LE(out[0].data.size(), 1024u);
        whole.insert(whole.end(), out[0].data.begin(), out[0].data.end());
        if (out[0].Flags() == 0x80) {
            EXPECT_EQ(out[0].Word(kWord20), kReservedTag);
            break;
        }
        EXPECT_EQ(out[0].Flags(), 0x40); // continues
        out = rig.Send(Text(1, cmdSn, {}, out[0].Word(kWord20)));
    }
    EXPECT_EQ(ParseTextKeys(whole)->size(), 80u);
}

// What one session can make the target hold stays bounded: a text request that asks for
// the target list many times, or for thousands of answers, and commands held behind a
// CmdSN gap, whose answers go to the wire one by one rather than into one buffer.
TEST(IscsiSession, ATextRequestGetsOneTargetListAndABoundedAnswer) {
    SessionRig rig("Discovery");
    const TextKeys repeated(500, {"SendTargets", "All"});
    std::vector<Pdu> out = rig.Send(Text(1, kFirstCmdSn, repeated));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(ParseTextKeys(out[0].data)->size(), 4u); // two targets, once
    TextKeys unknown;
    for (int i = 0; i < 10000; ++i) {
        unknown.emplace_back("X" + std::to_string(i), "");
    }
    out = rig.Send(Text(2, kFirstCmdSn + 1, unknown));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].Op(), Opcode::Reject);
}

TEST(IscsiSession, HeldCommandsAreAnsweredOneAtATimeToTheWire) {
    std::vector<std::size_t> flushed;
    SessionRig rig("Normal", [&flushed](std::vector<std::uint8_t>& out) {
        flushed.push_back(out.size());
        out.clear();
    });
    for (std::uint32_t i = 1; i <= 3; ++i) { // three reads ahead of a gap
        EXPECT_TRUE(rig.Send(Command(i + 1, kFirstCmdSn + i, kRead10OfFour, 0x40, 2048)).empty());
    }
    flushed.clear();
    const std::vector<Pdu> last = rig.Send(Command(1, kFirstCmdSn, kRead10OfFour, 0x40, 2048));
    // Each read is a burst of 1024 bytes at most, flushed before the next one is built.
    ASSERT_FALSE(flushed.empty());
    for (const std::size_t bytes : flushed) {
        EXPECT_LE(bytes, 1024u + 2 * 48);
    }
    EXPECT_EQ(rig.recorder->executed, 4);
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(last.back().TaskTag(), 4u);
}

TEST(IscsiSession, DataHeldBehindAGapIsBounded) {
    SessionRig rig;
    Pdu big = Nop(2, kFirstCmdSn + 1);
    big.data.assign(kMaxHeldBytes, 'x'); // as much as may wait
    EXPECT_TRUE(rig.Send(big).empty());
    Pdu more = Nop(3, kFirstCmdSn + 2);
    more.data.assign(4, 'y'); // past the bound: dropped
    EXPECT_TRUE(rig.Send(more).empty());
    const std::vector<Pdu> out = rig.Send(Nop(1, kFirstCmdSn));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].TaskTag(), 2u);
}

} // namespace
