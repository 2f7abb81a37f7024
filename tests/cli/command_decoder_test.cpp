#include "device/command_decoder.h"

#include <gtest/gtest.h>

#include "device/finger_disk.h"
#include "device/memory_transport.h"
#include "device/recording_transport.h"
#include "device/scrambler.h"
#include "virtual_drive/drive_model.h"

namespace {

class NoWaitClock final : public IClock {
  public:
    void Sleep(std::uint32_t) override {}
};

// The drive model behind a recording transport, with a device record pointing at it.
struct Wire {
    Wire() : recording(memory), disk(recording, clock) {
        drive.SetSlot(0, "alice");
        drive.SetSlot(4, "bob");
        memory.Attach('E', drive);
        disk.m_driveLetter = 'E';
        ReplyFrame reply;
        EXPECT_TRUE(disk.Identify(reply));
    }
    std::vector<DecodedCommand> DecodeAll() {
        CommandDecoder decoder;
        std::vector<DecodedCommand> decoded;
        for (const CommandRecord& record : recording.Records()) {
            decoded.push_back(
                decoder.Decode(record.cdb, record.direction, record.data, record.succeeded));
        }
        return decoded;
    }
    vdrive::FingerprintDriveModel drive;
    MemoryTransport memory;
    RecordingTransport recording;
    NoWaitClock clock;
    CFingerDisk disk;
};

TEST(CommandDecoder, StatusExchangeDescrambledWithItsOwnSeeds) {
    Wire wire;
    ReplyFrame frame;
    ASSERT_TRUE(wire.disk.SendRequestFrame(vendor::kStatusRequest, vendor::kWriteExpectsReply));
    ASSERT_TRUE(wire.disk.ReceiveReplyFrame(vendor::kStatusReplyLength, frame));

    const std::vector<DecodedCommand> decoded = wire.DecodeAll();
    ASSERT_EQ(decoded.size(), 5u);
    EXPECT_EQ(decoded[0].name, "INQU identify");
    EXPECT_EQ(decoded[0].meaning, "tags [INQU FWUP SECU DIAG], vendor \"Kestrova\"");
    EXPECT_EQ(decoded[1].name, "SECU read seed");
    EXPECT_EQ(decoded[2].name, "SECU write frame (reply follows)");
    EXPECT_EQ(decoded[2].meaning, "status request");
    EXPECT_EQ(std::string(decoded[2].frame.begin(), decoded[2].frame.begin() + 8), "JMTMES C");
    EXPECT_EQ(decoded[4].name, "SECU read frame");
    EXPECT_EQ(decoded[4].meaning, "slots \"S0 F1 F2 F3 S4 F5 F6 F7 F8 F9 \": 2 installed, 8 free");
    // The decoded reply is exactly what the device record descrambled.
    ASSERT_EQ(decoded[4].frame.size(), frame.Length());
    EXPECT_TRUE(std::equal(decoded[4].frame.begin(), decoded[4].frame.end(), frame.Data()));
}

TEST(CommandDecoder, PollsModelAndStartsNamedByTheirRequest) {
    Wire wire;
    ReplyFrame frame;
    wire.disk.SendRequestFrame(vendor::kModelRequest, vendor::kWriteExpectsReply);
    wire.disk.ReceiveReplyFrame(vendor::kModelReplyLength, frame);
    wire.disk.SendRequestFrame(vendor::kEraseStart, vendor::kWriteStartsWork);
    wire.disk.SendRequestFrame(vendor::kProgressPoll, vendor::kWriteExpectsReply);
    wire.disk.ReceiveReplyFrame(vendor::kFrameHeaderLength + 1, frame);

    const std::vector<DecodedCommand> decoded = wire.DecodeAll();
    ASSERT_EQ(decoded.size(), 11u);
    EXPECT_EQ(decoded[4].meaning, "model \"KV-FP2000 Rev 2.00.7\"");
    EXPECT_EQ(decoded[6].name, "SECU write frame (starts work)");
    EXPECT_EQ(decoded[6].meaning, "erase start");
    EXPECT_EQ(decoded[8].meaning, "progress poll");
    EXPECT_EQ(decoded[10].meaning, "no report");
}

TEST(CommandDecoder, FailedSeedReadMeansAPlainTextFrame) {
    // As the device record does: a failed seed read leaves seed 0.
    Cdb seedCdb{0xFC, 2, vendor::kSubReadSeed};
    Cdb writeCdb{0xFC, 2, vendor::kSubWriteBlock, vendor::kWriteExpectsReply};
    std::copy(vendor::kSecureTag.begin(), vendor::kSecureTag.end(), seedCdb.begin() + 12);
    std::copy(vendor::kSecureTag.begin(), vendor::kSecureTag.end(), writeCdb.begin() + 12);
    std::uint8_t plain[11] = {'J', 'M', 'T', 'M', 'E', 'S', ' ', 'C', 0x00, 0x01, 0x6C};
    std::uint8_t sent[11];
    ScrambleBlock(0, plain, 11, sent);

    CommandDecoder decoder;
    const std::uint8_t staleSeed[2] = {0x12, 0x34};
    decoder.Decode(seedCdb, ScsiDirection::Read, staleSeed, true);
    EXPECT_EQ(decoder.Decode(seedCdb, ScsiDirection::Read, {}, false).meaning, "seed 0000");
    EXPECT_EQ(decoder.Decode(writeCdb, ScsiDirection::Write, sent, true).meaning, "status request");
}

TEST(CommandDecoder, ShortAndStrangeDataIsDescribedNotOverrun) {
    CommandDecoder decoder;
    Cdb identify{0xFC};
    std::copy(vendor::kIdentifyTag.begin(), vendor::kIdentifyTag.end(), identify.begin() + 12);
    std::vector<std::uint8_t> reply(512, 0);
    reply[5] = 200; // more tags than a reply holds
    EXPECT_EQ(decoder.Decode(identify, ScsiDirection::Read, reply, true).meaning,
              "announces 200 tags, more than fit");
    reply[5] = 3; // tags run past a short reply
    EXPECT_EQ(
        decoder.Decode(identify, ScsiDirection::Read, std::span(reply).first(10), true).meaning,
        "tags [....], vendor \"\"");

    Cdb read{0xFC, 2, vendor::kSubReadBlock};
    std::copy(vendor::kSecureTag.begin(), vendor::kSecureTag.end(), read.begin() + 12);
    const std::uint8_t three[3] = {1, 2, 3};
    EXPECT_EQ(decoder.Decode(read, ScsiDirection::Read, three, true).frame.size(), 3u);

    Cdb other{0x12};
    EXPECT_EQ(decoder.Decode(other, ScsiDirection::Read, {}, false).meaning,
              "not a vendor command");
    Cdb unknownSub{0xFC, 2, 0x07};
    std::copy(vendor::kSecureTag.begin(), vendor::kSecureTag.end(), unknownSub.begin() + 12);
    EXPECT_EQ(decoder.Decode(unknownSub, ScsiDirection::Read, {}, true).name,
              "SECU sub-command 07");
}

TEST(FormatHex, TwoDigitsSeparatedByBlanks) {
    const std::uint8_t bytes[] = {0x00, 0x0f, 0xfc};
    EXPECT_EQ(FormatHex(bytes), "00 0f fc");
    EXPECT_EQ(FormatHex({}), "");
}

} // namespace
