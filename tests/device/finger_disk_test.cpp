// The vendor command primitives and the frame steps, checked byte by byte against a
// scripted drive.
#include "device/finger_disk.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/memory_transport.h"
#include "device/scrambler.h"
#include "tests/device/scripted_target.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr char kLetter = 'E';

Bytes IdentifyReply(const std::vector<std::string>& tags, std::string vendorName = "Kestrova") {
    Bytes reply(512, 0);
    reply[5] = static_cast<std::uint8_t>(tags.size());
    std::size_t offset = 6;
    for (const std::string& tag : tags) {
        std::copy(tag.begin(), tag.end(), reply.begin() + static_cast<std::ptrdiff_t>(offset));
        offset += 4;
    }
    std::copy(vendorName.begin(), vendorName.end(),
              reply.begin() + static_cast<std::ptrdiff_t>(offset));
    return reply;
}

Cdb SecuCdb(std::uint8_t position, std::uint8_t sub, std::uint8_t code, std::uint8_t length) {
    return {0xFC, position, sub, code, 0, 0, 0, 0, 0, 0, 0, length, 'S', 'E', 'C', 'U'};
}

Bytes Plain(const Bytes& scrambled, std::uint16_t seed) {
    Bytes plain(scrambled.size());
    ScrambleBlock(seed, scrambled.data(), static_cast<std::int32_t>(scrambled.size()),
                  plain.data());
    return plain;
}

class FingerDiskTest : public ::testing::Test {
  protected:
    FingerDiskTest() {
        memory.Attach(kLetter, drive);
        disk.m_driveLetter = kLetter;
    }

    // Identifies a drive whose tag list holds "SECU" at `position`, then forgets the
    // identification's traffic.
    void IdentifyWithSecuAt(std::size_t position) {
        std::vector<std::string> tags(position, "ABCD");
        tags.push_back("SECU");
        drive.replies.push_back(IdentifyReply(tags));
        ReplyFrame reply;
        ASSERT_TRUE(disk.Identify(reply));
        drive.commands.clear();
        counting.opens = counting.closes = 0;
        counting.sendHandles.clear();
    }

    void FailNext(unsigned count) { drive.statuses.assign(count, kScsiStatusCheckCondition); }

    ScriptedTarget drive;
    MemoryTransport memory;
    CountingTransport counting{memory};
    RecordingClock clock;
    CFingerDisk disk{counting, clock};
};

TEST_F(FingerDiskTest, StartsWithNoDriveAndAnEmptyTagList) {
    const CFingerDisk fresh{counting, clock};
    EXPECT_EQ(fresh.m_driveLetter, 0);
    EXPECT_EQ(fresh.m_tagCount, 0u);
    EXPECT_THAT(fresh.m_tagList, Each(0));
}

TEST_F(FingerDiskTest, IdentifySendsTheInquiryCdbOnceAndRecordsTheTags) {
    drive.replies.push_back(IdentifyReply({"INQU", "SECU", "FLSH"}));
    ReplyFrame reply;
    ASSERT_TRUE(disk.Identify(reply));

    ASSERT_EQ(drive.commands.size(), 1u);
    EXPECT_THAT(drive.commands[0].cdb,
                ElementsAre(0xFC, 0, 0, 0, 0, 0, 0, 0, 0x02, 0, 0, 0, 'I', 'N', 'Q', 'U'));
    EXPECT_EQ(drive.commands[0].direction, ScsiDirection::Read);
    EXPECT_EQ(drive.commands[0].data.size(), 512u);
    EXPECT_EQ(counting.opens, 1u);
    EXPECT_EQ(counting.closes, 1u);

    EXPECT_EQ(disk.m_tagCount, 3u);
    const std::string tags(disk.m_tagList.begin(), disk.m_tagList.begin() + 12);
    EXPECT_EQ(tags, "INQUSECUFLSH");
    EXPECT_THAT(Bytes(disk.m_tagList.begin() + 12, disk.m_tagList.end()), Each(0));
    EXPECT_EQ(reply.Length(), 512u);
    EXPECT_TRUE(reply.Matches(18, "Kestrova"));
}

TEST_F(FingerDiskTest, IdentifyReplacesALongerEarlierTagList) {
    drive.replies.push_back(IdentifyReply({"AAAA", "BBBB", "SECU"}));
    drive.replies.push_back(IdentifyReply({"SECU"}));
    ReplyFrame reply;
    ASSERT_TRUE(disk.Identify(reply));
    ASSERT_TRUE(disk.Identify(reply));
    EXPECT_EQ(disk.m_tagCount, 1u);
    EXPECT_THAT(Bytes(disk.m_tagList.begin() + 4, disk.m_tagList.end()), Each(0));
    EXPECT_EQ(disk.FindSecuTag(), 0);
}

TEST_F(FingerDiskTest, IdentifyWithoutTagsReadsTheVendorAtSixAndDisablesSecuCommands) {
    drive.replies.push_back(IdentifyReply({}));
    ReplyFrame reply;
    ASSERT_TRUE(disk.Identify(reply));
    EXPECT_EQ(disk.m_tagCount, 0u);
    EXPECT_THAT(disk.m_tagList, Each(0));
    EXPECT_TRUE(reply.Matches(6, "Kestrova"));
    EXPECT_FALSE(disk.FindSecuTag());

    drive.commands.clear();
    counting.opens = 0;
    SecureIdentity identity{};
    std::uint8_t block[11] = {};
    EXPECT_FALSE(disk.ReadSecureIdentity(identity));
    EXPECT_EQ(disk.ReadSeed(), 0);
    EXPECT_FALSE(disk.WriteBlock(block, 11, 0x80));
    EXPECT_FALSE(disk.ReadBlock(block, 11));
    EXPECT_TRUE(drive.commands.empty());
    EXPECT_EQ(counting.opens, 0u);
}

TEST_F(FingerDiskTest, IdentifyAcceptsTheLargestTagListThatFitsTheReply) {
    drive.replies.push_back(IdentifyReply(std::vector<std::string>(124, "SECU")));
    ReplyFrame reply;
    ASSERT_TRUE(disk.Identify(reply));
    EXPECT_EQ(disk.m_tagCount, 124u);
    EXPECT_TRUE(reply.Matches(6 + 4 * 124, "Kestrova"));
    EXPECT_THAT(Bytes(disk.m_tagList.begin() + 496, disk.m_tagList.end()), Each(0));
}

// Failed identifications of every kind leave the record as the last good one left it.
TEST_F(FingerDiskTest, FailedIdentificationLeavesTheRecordUnchanged) {
    IdentifyWithSecuAt(1);
    const auto tagList = disk.m_tagList;

    struct Case {
        const char* what;
        std::uint8_t tagCount; // announced in the reply
        bool checkCondition;
        bool refuseOpen;
    };
    for (const Case& c :
         {Case{"125 tags", 125, false, false}, Case{"255 tags", 255, false, false},
          Case{"CHECK CONDITION", 1, true, false}, Case{"open refused", 1, false, true}}) {
        SCOPED_TRACE(c.what);
        drive.commands.clear();
        Bytes replyBytes(512, 0x41);
        replyBytes[5] = c.tagCount;
        drive.replies.assign(1, replyBytes);
        drive.statuses.assign(c.checkCondition ? 1 : 0, kScsiStatusCheckCondition);
        memory.RefuseOpen(kLetter, c.refuseOpen);

        ReplyFrame reply;
        EXPECT_FALSE(disk.Identify(reply));
        EXPECT_EQ(disk.m_tagCount, 2u);
        EXPECT_EQ(disk.m_tagList, tagList);
        EXPECT_LE(drive.commands.size(), 1u) << "identification makes one attempt";
        EXPECT_TRUE(clock.waits.empty());
        EXPECT_EQ(memory.OpenHandleCount(), 0u);
        memory.RefuseOpen(kLetter, false);
    }
}

TEST_F(FingerDiskTest, NoDriveLetterMeansNoCommandAtAll) {
    IdentifyWithSecuAt(0);
    disk.m_driveLetter = 0;
    ReplyFrame reply;
    SecureIdentity identity{};
    std::uint8_t block[11] = {};
    EXPECT_FALSE(disk.Identify(reply));
    EXPECT_FALSE(disk.ReadSecureIdentity(identity));
    EXPECT_EQ(disk.ReadSeed(), 0);
    EXPECT_FALSE(disk.WriteBlock(block, 11, 0x80));
    EXPECT_FALSE(disk.ReadBlock(block, 11));
    EXPECT_TRUE(drive.commands.empty());
    EXPECT_EQ(disk.m_tagCount, 1u) << "clearing the letter keeps the tags";
}

class SecuCdbTest : public FingerDiskTest, public ::testing::WithParamInterface<std::uint8_t> {};

TEST_P(SecuCdbTest, EveryPrimitiveSendsItsCdbWithTheTagPosition) {
    const std::uint8_t t = GetParam();
    IdentifyWithSecuAt(t);
    SecureIdentity identity{};
    const Bytes request = {'J', 'M', 'T', 'M', 'E', 'S', ' ', 'C', 0, 1, 0x6C};
    std::uint8_t block[43] = {};

    disk.ReadSecureIdentity(identity);
    disk.ReadSeed();
    disk.WriteBlock(request.data(), 11, 0x80);
    disk.WriteBlock(request.data(), 11, 0x00);
    disk.ReadBlock(block, 43);

    ASSERT_EQ(drive.commands.size(), 5u);
    const struct {
        Cdb cdb;
        ScsiDirection direction;
        std::size_t length;
    } expected[] = {
        {SecuCdb(t, 0x00, 0x00, 8), ScsiDirection::Read, 8},
        {SecuCdb(t, 0x01, 0x00, 0), ScsiDirection::Read, 2},
        {SecuCdb(t, 0x08, 0x80, 11), ScsiDirection::Write, 11},
        {SecuCdb(t, 0x08, 0x00, 11), ScsiDirection::Write, 11},
        {SecuCdb(t, 0x09, 0x00, 43), ScsiDirection::Read, 43},
    };
    for (std::size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(drive.commands[i].cdb, expected[i].cdb);
        EXPECT_EQ(drive.commands[i].direction, expected[i].direction);
        EXPECT_EQ(drive.commands[i].data.size(), expected[i].length);
    }
    EXPECT_EQ(drive.commands[2].data, request);
    EXPECT_EQ(counting.opens, 5u);
    EXPECT_EQ(counting.closes, 5u);
}

INSTANTIATE_TEST_SUITE_P(FirstAndThirdTag, SecuCdbTest, ::testing::Values(0, 2));

TEST_F(FingerDiskTest, SecuCommandsRetryTwiceOnOneOpenVolume) {
    IdentifyWithSecuAt(0);
    const struct {
        unsigned failures;
        bool succeeds;
        std::vector<std::uint32_t> waits;
    } cases[] = {
        {0, true, {}},          {1, true, {200}},       {2, true, {200, 500}},
        {3, false, {200, 500}}, {5, false, {200, 500}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failures);
        drive.commands.clear();
        drive.replies.clear();
        clock.waits.clear();
        counting.opens = counting.closes = 0;
        counting.sendHandles.clear();
        FailNext(c.failures);

        std::uint8_t block[12];
        EXPECT_EQ(disk.ReadBlock(block, 12), c.succeeds);
        const std::size_t attempts = c.waits.size() + 1;
        ASSERT_EQ(drive.commands.size(), attempts);
        for (const ReceivedCommand& command : drive.commands) {
            EXPECT_EQ(command.cdb, drive.commands[0].cdb);
        }
        EXPECT_EQ(clock.waits, c.waits);
        EXPECT_EQ(counting.opens, 1u);
        EXPECT_EQ(counting.closes, 1u);
        EXPECT_THAT(counting.sendHandles, Each(counting.sendHandles[0]));
    }
}

TEST_F(FingerDiskTest, SecuCommandsFailAtOnceWhenTheVolumeDoesNotOpen) {
    IdentifyWithSecuAt(0);
    memory.RefuseOpen(kLetter, true);
    EXPECT_EQ(disk.ReadSeed(), 0);
    EXPECT_TRUE(drive.commands.empty());
    EXPECT_TRUE(clock.waits.empty());
}

TEST_F(FingerDiskTest, ReadSeedIsBigEndianAndZeroWhenEveryAttemptFails) {
    IdentifyWithSecuAt(0);
    drive.replies.push_back({0x12, 0x34});
    EXPECT_EQ(disk.ReadSeed(), 0x1234);

    drive.replies.push_back({0xAB, 0xCD});
    FailNext(2);
    EXPECT_EQ(disk.ReadSeed(), 0xABCD);

    drive.replies.push_back({0xAB, 0xCD});
    FailNext(3);
    EXPECT_EQ(disk.ReadSeed(), 0);
}

TEST_F(FingerDiskTest, FailedReadsClearWhatTheirPrimitiveClears) {
    IdentifyWithSecuAt(0);
    FailNext(3);
    SecureIdentity identity;
    identity.fill(0xAA);
    EXPECT_FALSE(disk.ReadSecureIdentity(identity));
    EXPECT_THAT(identity, ElementsAre(0, 0, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA));

    FailNext(3);
    std::uint8_t block[32];
    std::fill(std::begin(block), std::end(block), 0xAA);
    EXPECT_FALSE(disk.ReadBlock(block, 32));
    EXPECT_THAT(block, Each(0));
}

TEST_F(FingerDiskTest, ReadsClearTheirOutputEvenWithoutASecuTag) {
    SecureIdentity identity;
    identity.fill(0xAA);
    std::uint8_t block[16];
    std::fill(std::begin(block), std::end(block), 0xAA);
    EXPECT_FALSE(disk.ReadSecureIdentity(identity));
    EXPECT_FALSE(disk.ReadBlock(block, 16));
    EXPECT_EQ(identity[0], 0);
    EXPECT_EQ(identity[1], 0);
    EXPECT_THAT(block, Each(0));
    EXPECT_TRUE(drive.commands.empty());
}

TEST_F(FingerDiskTest, ReadSecureIdentityDeliversTheEightBytes) {
    IdentifyWithSecuAt(0);
    drive.replies.push_back({'J', 'M', 'T', 'M', 'E', 'S', '0', '1'});
    SecureIdentity identity{};
    ASSERT_TRUE(disk.ReadSecureIdentity(identity));
    EXPECT_EQ(std::string(identity.begin(), identity.end()), "JMTMES01");
}

TEST_F(FingerDiskTest, SendRequestFrameScramblesWithTheSeedReadJustBefore) {
    IdentifyWithSecuAt(0);
    drive.replies.push_back({0x5A, 0xC3});
    ASSERT_TRUE(disk.SendRequestFrame(vendor::kStatusRequest, vendor::kWriteExpectsReply));

    ASSERT_EQ(drive.commands.size(), 2u);
    EXPECT_EQ(drive.commands[0].cdb[2], vendor::kSubReadSeed);
    const ReceivedCommand& write = drive.commands[1];
    EXPECT_EQ(write.cdb, SecuCdb(0, 0x08, 0x80, 11));
    const Bytes plain = {'J', 'M', 'T', 'M', 'E', 'S', ' ', 'C', 0x00, 0x01, 0x6C};
    EXPECT_NE(write.data, plain);
    EXPECT_EQ(Plain(write.data, 0x5AC3), plain);
}

TEST_F(FingerDiskTest, SendRequestFrameAfterAFailedSeedReadSendsPlainText) {
    IdentifyWithSecuAt(0);
    drive.replies.push_back({0x5A, 0xC3}); // never delivered
    FailNext(3);
    ASSERT_TRUE(disk.SendRequestFrame(vendor::kInstallStart, vendor::kWriteStartsWork));
    ASSERT_EQ(drive.commands.size(), 4u);
    EXPECT_THAT(drive.commands[3].data,
                ElementsAre('J', 'M', 'T', 'M', 'E', 'S', ' ', 'C', 0x00, 0x01, 0x65));
    EXPECT_EQ(drive.commands[3].cdb[3], 0x00);
}

TEST_F(FingerDiskTest, SendRequestFrameReturnsTheWriteResult) {
    IdentifyWithSecuAt(0);
    drive.statuses = {kScsiStatusGood, 2, 2, 2};
    EXPECT_FALSE(disk.SendRequestFrame(vendor::kEraseStart, vendor::kWriteStartsWork));
}

TEST_F(FingerDiskTest, ReceiveReplyFrameDescramblesWithTheFreshSeed) {
    IdentifyWithSecuAt(0);
    const Bytes plain = {'J',  'M',  'T',  'M', 'E', 'S', ' ', 'C',
                         0x00, 0x04, 0x00, 'D', 'o', 'n', 'e'};
    drive.replies.push_back({0x13, 0x57});
    drive.replies.push_back(Plain(plain, 0x1357));

    ReplyFrame frame;
    ASSERT_TRUE(disk.ReceiveReplyFrame(15, frame));
    ASSERT_EQ(drive.commands.size(), 2u);
    EXPECT_EQ(drive.commands[0].cdb[2], vendor::kSubReadSeed);
    EXPECT_EQ(drive.commands[1].cdb, SecuCdb(0, 0x09, 0x00, 15));
    EXPECT_EQ(frame.Length(), 15u);
    EXPECT_EQ(Bytes(frame.Data(), frame.Data() + 15), plain);
    EXPECT_EQ(frame.BigEndian16(8), 4);
    EXPECT_TRUE(frame.Matches(11, "Done"));
    EXPECT_EQ(frame.At(15), 0) << "nothing past the bytes read";
}

TEST_F(FingerDiskTest, FailedReceiveGivesAnEmptyFrame) {
    IdentifyWithSecuAt(0);
    drive.statuses = {kScsiStatusGood, 2, 2, 2};
    ReplyFrame frame;
    frame.SetLength(11);
    EXPECT_FALSE(disk.ReceiveReplyFrame(43, frame));
    EXPECT_EQ(frame.Length(), 0u);
    EXPECT_EQ(frame.At(0), 0);
}

TEST_F(FingerDiskTest, LengthsThatDoNotFitTheCdbByteFailWithoutACommand) {
    IdentifyWithSecuAt(0);
    Bytes big(300, 0xAA);
    EXPECT_FALSE(disk.WriteBlock(big.data(), 256, 0x80));
    EXPECT_FALSE(disk.ReadBlock(big.data(), 256));
    EXPECT_THAT(Bytes(big.begin(), big.begin() + 256), Each(0));
    EXPECT_TRUE(drive.commands.empty());
}

} // namespace
