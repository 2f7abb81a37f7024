// The SCSI command set: each command's answer and its refusals.
#include <gtest/gtest.h>

#include <numeric>

#include "tests/virtual_drive/disk/disk_harness.h"

using namespace disk_test;

namespace {

struct RefusalCase {
    const char* what;
    Bytes cdb;
    Sense sense;
};

class Refusals : public DiskFixture, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(Refusals, AnswerCheckConditionWithTheirSense) {
    const auto result = In(GetParam().cdb);
    EXPECT_EQ(SenseOf(result), GetParam().sense) << GetParam().what;
    EXPECT_TRUE(result.dataIn.empty());
}

constexpr std::uint64_t kLast = kDiskBlocks - 1;

INSTANTIATE_TEST_SUITE_P(
    Commands, Refusals,
    ::testing::Values(
        RefusalCase{"FORMAT UNIT", Command(0x04, 6), kInvalidOpcode},
        RefusalCase{"MODE SELECT(6)", Command(0x15, 6), kInvalidOpcode},
        RefusalCase{"VERIFY(10) comparing bytes", Command(0x2F, 10, {{1, 1, 0x02}, {8, 1, 1}}),
                    kInvalidField},
        RefusalCase{"VERIFY(10) past the end", Command(0x2F, 10, {{2, 4, kLast}, {8, 1, 2}}),
                    kLbaOutOfRange},
        RefusalCase{"UNMAP", Command(0x42, 10), kInvalidOpcode},
        RefusalCase{"MAINTENANCE IN", Command(0xA3, 12, {{1, 1, 0x0C}}), kInvalidOpcode},
        RefusalCase{"INQUIRY CmdDt", Command(0x12, 6, {{1, 1, 0x02}, {4, 1, 255}}), kInvalidField},
        RefusalCase{"INQUIRY page without EVPD", Command(0x12, 6, {{2, 1, 0x80}, {4, 1, 255}}),
                    kInvalidField},
        RefusalCase{"INQUIRY unknown VPD page",
                    Command(0x12, 6, {{1, 1, 1}, {2, 1, 0x81}, {4, 1, 255}}), kInvalidField},
        RefusalCase{"MODE SENSE unknown page", Command(0x1A, 6, {{2, 1, 0x1C}, {4, 1, 255}}),
                    kInvalidField},
        RefusalCase{"MODE SENSE subpage", Command(0x1A, 6, {{2, 1, 0x08}, {3, 1, 1}, {4, 1, 255}}),
                    kInvalidField},
        RefusalCase{"MODE SENSE saved values",
                    Command(0x5A, 10, {{2, 1, 0xFF}, {7, 2, 255}}),
                    {0x05, 0x39, 0x00}},
        RefusalCase{"READ(10) RDPROTECT", Command(0x28, 10, {{1, 1, 0x20}, {8, 1, 1}}),
                    kInvalidField},
        RefusalCase{"READ(16) RDPROTECT", Command(0x88, 16, {{1, 1, 0xE0}, {13, 1, 1}}),
                    kInvalidField},
        RefusalCase{"READ(12) longer than the medium",
                    Command(0xA8, 12, {{6, 4, vdrive::kMaxTransferBlocks + 1}}), kLbaOutOfRange},
        RefusalCase{"READ CAPACITY(10) LBA without PMI", Command(0x25, 10, {{2, 4, 1}}),
                    kInvalidField},
        RefusalCase{"SERVICE ACTION IN other action",
                    Command(0x9E, 16, {{1, 1, 0x11}, {13, 1, 32}}), kInvalidField},
        RefusalCase{"PREVENT for a changer", Command(0x1E, 6, {{4, 1, 2}}), kInvalidField},
        RefusalCase{"REPORT LUNS unknown selection", Command(0xA0, 12, {{2, 1, 5}, {9, 1, 255}}),
                    kInvalidField},
        RefusalCase{"REQUEST SENSE descriptor format", Command(0x03, 6, {{1, 1, 1}, {4, 1, 252}}),
                    kInvalidField},
        // Past the end of the medium, with every form and at the edges.
        RefusalCase{"READ(6) over the end", Command(0x08, 6, {{1, 3, kLast}, {4, 1, 2}}),
                    kLbaOutOfRange},
        RefusalCase{"READ(6) 0 = 256 blocks", Command(0x08, 6, {{1, 3, kLast - 254}}),
                    kLbaOutOfRange},
        RefusalCase{"READ(10) at the capacity, no blocks", Read10(kDiskBlocks, 0), kLbaOutOfRange},
        RefusalCase{"READ(10) LBA all ones", Read10(0xFFFFFFFF, 1), kLbaOutOfRange},
        RefusalCase{"READ(12) one past", Command(0xA8, 12, {{2, 4, kLast}, {6, 4, 2}}),
                    kLbaOutOfRange},
        RefusalCase{"READ(16) wrapping LBA", Command(0x88, 16, {{2, 8, ~0ull}, {10, 4, 2}}),
                    kLbaOutOfRange},
        RefusalCase{"WRITE(16) over the end", Command(0x8A, 16, {{2, 8, kLast}, {10, 4, 2}}),
                    kLbaOutOfRange},
        RefusalCase{"SYNCHRONIZE CACHE(16) over the end",
                    Command(0x91, 16, {{2, 8, kLast}, {10, 4, 2}}), kLbaOutOfRange}));

TEST_F(DiskFixture, AnEmptyCdbIsAnInvalidOperation) {
    EXPECT_EQ(SenseOf(In({})), kInvalidOpcode);
}

TEST_F(DiskFixture, ALongTransferWithinTheMediumIsAnInvalidField) {
    // A big enough disk to hold it: the limit, not the range, refuses it.
    volumes.AddStick('F', {});
    auto big = vdrive::MakeVolumeDisk(*volumes.Find('F'), modelMutex,
                                      vdrive::MakeMemoryImage(Bytes(9000 * 512, 0)));
    vdrive::ScsiTask task;
    const Bytes cdb = Read10(0, vdrive::kMaxTransferBlocks + 1);
    task.cdb = cdb;
    EXPECT_EQ(SenseOf(big->Execute(task)), kInvalidField);
    const Bytes atLimit = Read10(0, vdrive::kMaxTransferBlocks);
    task.cdb = atLimit;
    EXPECT_EQ(big->Execute(task).status, kScsiStatusGood);
}

// Each form writes a pattern that every other form reads back unchanged.
TEST_F(DiskFixture, EveryReadAndWriteFormMovesTheSameBlocks) {
    struct Form {
        Bytes read;
        Bytes write;
    };
    const std::uint64_t lba = 700;
    const Form forms[] = {
        {Command(0x08, 6, {{1, 3, lba}, {4, 1, 3}}), Command(0x0A, 6, {{1, 3, lba}, {4, 1, 3}})},
        {Read10(lba, 3), Write10(lba, 3)},
        {Command(0xA8, 12, {{2, 4, lba}, {6, 4, 3}}), Command(0xAA, 12, {{2, 4, lba}, {6, 4, 3}})},
        {Command(0x88, 16, {{2, 8, lba}, {10, 4, 3}}),
         Command(0x8A, 16, {{2, 8, lba}, {10, 4, 3}})},
        // WRITE AND VERIFY: the medium keeps what it is given, so it writes as WRITE does.
        {Read10(lba, 3), Command(0x2E, 10, {{2, 4, lba}, {7, 2, 3}})},
        {Read10(lba, 3), Command(0xAE, 12, {{2, 4, lba}, {6, 4, 3}})},
        {Read10(lba, 3), Command(0x8E, 16, {{2, 8, lba}, {10, 4, 3}})},
    };
    std::uint8_t seed = 1;
    for (const Form& writer : forms) {
        Bytes pattern(3 * 512);
        std::iota(pattern.begin(), pattern.end(), seed++);
        const auto written = Out(writer.write, pattern);
        ASSERT_EQ(written.status, kScsiStatusGood);
        EXPECT_EQ(written.commandLength, pattern.size());
        for (const Form& reader : forms) {
            const auto read = In(reader.read, 3 * 512);
            ASSERT_EQ(read.status, kScsiStatusGood);
            EXPECT_EQ(read.dataIn, pattern);
        }
    }
    // The neighbours stay untouched.
    EXPECT_EQ(In(Read10(lba - 1, 1), 512).dataIn, Bytes(512, 0));
    EXPECT_EQ(In(Read10(lba + 3, 1), 512).dataIn, Bytes(512, 0));
}

TEST_F(DiskFixture, TransferLengthZeroMeans256BlocksOnlyInTheSixByteForms) {
    const auto read6 = In(Command(0x08, 6), 256 * 512);
    EXPECT_EQ(read6.status, kScsiStatusGood);
    EXPECT_EQ(read6.commandLength, 256u * 512);
    EXPECT_EQ(read6.dataIn.size(), 256u * 512);

    for (const Bytes& cdb :
         {Read10(5, 0), Command(0xA8, 12, {{2, 4, 5}}), Command(0x88, 16, {{2, 8, 5}}),
          Write10(5, 0), Command(0xAA, 12), Command(0x8A, 16)}) {
        const auto result = In(cdb, 0);
        EXPECT_EQ(result.status, kScsiStatusGood);
        EXPECT_EQ(result.commandLength, 0u);
    }
}

TEST_F(DiskFixture, DpoAndFuaAreAcceptedAndFuaWritesStillLand) {
    const Bytes block(512, 0xA6);
    for (const std::uint8_t flags : {0x10, 0x08, 0x18, 0x1A}) {
        Bytes cdb = Write10(3, 1);
        cdb[1] = flags;
        EXPECT_EQ(Out(cdb, block).status, kScsiStatusGood);
        Bytes read = Read10(3, 1);
        read[1] = flags & 0x18;
        EXPECT_EQ(In(read, 512).dataIn, block);
    }
}

// The initiator's expected length and the CDB disagree: reads deliver what was asked
// for; writes take the whole blocks that came and never part of one.
TEST_F(DiskFixture, ExpectedLengthAndCdbLengthDisagree) {
    ASSERT_EQ(Out(Write10(0, 2), Bytes(1024, 'a')).status, kScsiStatusGood);

    const auto shortRead = In(Read10(0, 1), 200);
    EXPECT_EQ(shortRead.status, kScsiStatusGood);
    EXPECT_EQ(shortRead.commandLength, 512u);
    EXPECT_EQ(shortRead.dataIn, Bytes(200, 'a'));

    const auto noDataPhase = In(Read10(0, 1), 0);
    EXPECT_EQ(noDataPhase.status, kScsiStatusGood);
    EXPECT_EQ(noDataPhase.commandLength, 512u);
    EXPECT_TRUE(noDataPhase.dataIn.empty());

    const auto longRead = In(Read10(0, 1), 10000);
    EXPECT_EQ(longRead.commandLength, 512u);
    EXPECT_EQ(longRead.dataIn.size(), 512u);

    struct ShortWrite {
        std::size_t sent;
        Bytes after;
    };
    Bytes firstBlock(512, 'b');
    firstBlock.resize(1024, 'a');
    for (const ShortWrite& c : {ShortWrite{0, Bytes(1024, 'a')}, ShortWrite{200, Bytes(1024, 'a')},
                                ShortWrite{700, firstBlock}}) {
        ASSERT_EQ(Out(Write10(0, 2), Bytes(1024, 'a')).status, kScsiStatusGood);
        const auto shortWrite = Out(Write10(0, 2), Bytes(c.sent, 'b'));
        EXPECT_EQ(shortWrite.status, kScsiStatusGood) << c.sent;
        EXPECT_EQ(shortWrite.commandLength, 1024u); // the session reports the overflow
        EXPECT_EQ(In(Read10(0, 2), 1024).dataIn, c.after) << c.sent;
    }

    // More data than the CDB names: only the named blocks are written.
    ASSERT_EQ(Out(Write10(0, 1), Bytes(1024, 'c')).status, kScsiStatusGood);
    Bytes expected(512, 'c');
    expected.resize(1024, 'a');
    EXPECT_EQ(In(Read10(0, 2), 1024).dataIn, expected);
}

TEST_F(DiskFixture, SynchronizeCacheCoversTheWholeMediumOrARange) {
    for (const Bytes& cdb : {Command(0x35, 10), Command(0x35, 10, {{2, 4, 10}, {7, 2, 5}}),
                             Command(0x91, 16, {{2, 8, kLast}, {10, 4, 1}})}) {
        EXPECT_EQ(In(cdb, 0).status, kScsiStatusGood);
    }
}

TEST_F(DiskFixture, StandardInquiryIsARemovableDiskAndHonoursTheAllocationLength) {
    const auto full = In(Command(0x12, 6, {{3, 2, 260}}), 260);
    ASSERT_EQ(full.status, kScsiStatusGood);
    const Bytes& data = full.dataIn;
    ASSERT_GE(data.size(), 36u);
    EXPECT_EQ(data[0], 0x00);        // connected direct-access device
    EXPECT_EQ(data[1] & 0x80, 0x80); // removable
    EXPECT_EQ(data[2], 0x06);
    EXPECT_EQ(data[3] & 0x0F, 2);
    EXPECT_EQ(data[4] + 5u, data.size());
    EXPECT_EQ(std::string(data.begin() + 8, data.begin() + 16), "TESSALOK");
    for (std::size_t i = 8; i < 36; ++i) {
        EXPECT_TRUE(data[i] >= 0x20 && data[i] <= 0x7E) << i;
    }

    for (const std::uint32_t allocation : {0u, 5u, 36u, 511u, 512u}) {
        const auto cut = In(Command(0x12, 6, {{3, 2, allocation}}), allocation);
        EXPECT_EQ(cut.status, kScsiStatusGood);
        const std::size_t expected = std::min<std::size_t>(allocation, data.size());
        EXPECT_EQ(cut.commandLength, expected);
        EXPECT_EQ(cut.dataIn, Bytes(data.begin(), data.begin() + static_cast<long>(expected)));
    }
}

TEST_F(DiskFixture, EveryListedVpdPageIsAnsweredWithItsOwnLength) {
    const auto list = In(Command(0x12, 6, {{1, 1, 1}, {2, 1, 0x00}, {4, 1, 255}}), 255);
    ASSERT_EQ(list.status, kScsiStatusGood);
    const Bytes pages(list.dataIn.begin() + 4, list.dataIn.end());
    EXPECT_EQ(pages, (Bytes{0x00, 0x80, 0x83, 0xB0, 0xB1}));
    for (const std::uint8_t page : pages) {
        const auto answer = In(Command(0x12, 6, {{1, 1, 1}, {2, 1, page}, {3, 2, 255}}), 255);
        ASSERT_EQ(answer.status, kScsiStatusGood) << int{page};
        EXPECT_EQ(answer.dataIn[1], page);
        EXPECT_EQ(Be(answer.dataIn, 2, 2) + 4, answer.dataIn.size()) << int{page};
    }
    const auto serial = In(Command(0x12, 6, {{1, 1, 1}, {2, 1, 0x80}, {4, 1, 255}}), 255);
    EXPECT_EQ(std::string(serial.dataIn.begin() + 4, serial.dataIn.end()), "VDRIVE-E");

    const auto limits = In(Command(0x12, 6, {{1, 1, 1}, {2, 1, 0xB0}, {4, 1, 255}}), 255).dataIn;
    ASSERT_EQ(limits.size(), 64u);
    EXPECT_EQ(Be(limits, 8, 4), vdrive::kMaxTransferBlocks);
    EXPECT_EQ(Be(limits, 20, 4), 0u); // no UNMAP
    EXPECT_EQ(Be(In(Command(0x12, 6, {{1, 1, 1}, {2, 1, 0xB1}, {4, 1, 255}}), 255).dataIn, 4, 2),
              1u);

    // Two designators, each inside the page.
    const auto ids = In(Command(0x12, 6, {{1, 1, 1}, {2, 1, 0x83}, {4, 1, 255}}), 255).dataIn;
    std::size_t at = 4;
    int designators = 0;
    while (at + 4 <= ids.size()) {
        at += 4 + ids[at + 3];
        ++designators;
    }
    EXPECT_EQ(at, ids.size());
    EXPECT_EQ(designators, 2);
}

TEST_F(DiskFixture, ReadCapacityGivesTheLastBlockAndTheBlockSize) {
    const auto ten = In(Command(0x25, 10), 8);
    ASSERT_EQ(ten.status, kScsiStatusGood);
    EXPECT_EQ(Be(ten.dataIn, 0, 4), kLast);
    EXPECT_EQ(Be(ten.dataIn, 4, 4), 512u);
    EXPECT_EQ(In(Command(0x25, 10, {{2, 4, 7}, {8, 1, 1}}), 8).dataIn, ten.dataIn); // PMI

    const auto sixteen = In(Command(0x9E, 16, {{1, 1, 0x10}, {10, 4, 32}}), 32);
    ASSERT_EQ(sixteen.status, kScsiStatusGood);
    ASSERT_EQ(sixteen.dataIn.size(), 32u);
    EXPECT_EQ(Be(sixteen.dataIn, 0, 8), kLast);
    EXPECT_EQ(Be(sixteen.dataIn, 8, 4), 512u);
    EXPECT_EQ(Be(sixteen.dataIn, 12, 4), 0u); // no protection, no thin provisioning
    for (std::uint32_t allocation = 0; allocation < 16; ++allocation) {
        const auto cut = In(Command(0x9E, 16, {{1, 1, 0x10}, {10, 4, allocation}}), allocation);
        EXPECT_EQ(cut.status, kScsiStatusGood);
        EXPECT_EQ(cut.dataIn.size(), allocation);
    }
}

TEST_F(DiskFixture, ReadFormatCapacitiesGivesTheFormattedMediumAndNoMediumWhenEjected) {
    const auto listed = In(Command(0x23, 10, {{7, 2, 252}}), 252);
    ASSERT_EQ(listed.status, kScsiStatusGood);
    ASSERT_EQ(listed.dataIn.size(), 12u);
    EXPECT_EQ(listed.dataIn[3], 8); // one descriptor
    EXPECT_EQ(Be(listed.dataIn, 4, 4), kDiskBlocks);
    EXPECT_EQ(listed.dataIn[8], 0x02); // formatted
    EXPECT_EQ(Be(listed.dataIn, 9, 3), 512u);
    EXPECT_EQ(In(Command(0x23, 10, {{7, 2, 4}}), 4).dataIn.size(), 4u);
    EXPECT_EQ(In(Command(0x2F, 10, {{8, 1, 8}})).status, kScsiStatusGood); // VERIFY agrees

    ASSERT_EQ(In(Command(0x1B, 6, {{4, 1, 0x02}})).status, kScsiStatusGood); // eject
    EXPECT_EQ(In(Command(0x23, 10, {{7, 2, 12}}), 12).dataIn[8], 0x03);
}

TEST_F(DiskFixture, ModeSenseSaysWritableWithDpoFuaAndListsCachingAndControl) {
    const auto all = In(Command(0x1A, 6, {{2, 1, 0x3F}, {4, 1, 255}}), 255);
    ASSERT_EQ(all.status, kScsiStatusGood);
    const Bytes& data = all.dataIn;
    EXPECT_EQ(data[0] + 1u, data.size());
    EXPECT_EQ(data[2] & 0x80, 0);    // not write-protected
    EXPECT_EQ(data[2] & 0x10, 0x10); // DPO and FUA understood
    ASSERT_EQ(data[3], 8);           // one block descriptor
    EXPECT_EQ(Be(data, 4, 4), kDiskBlocks);
    EXPECT_EQ(Be(data, 9, 3), 512u);
    Bytes codes;
    for (std::size_t at = 12; at + 2 <= data.size(); at += 2 + data[at + 1]) {
        codes.push_back(data[at] & 0x3F);
    }
    EXPECT_EQ(codes, (Bytes{0x08, 0x0A}));
    // All pages and subpages: the same.
    EXPECT_EQ(In(Command(0x1A, 6, {{2, 1, 0x3F}, {3, 1, 0xFF}, {4, 1, 255}}), 255).dataIn, data);

    const auto quarter = In(Command(0x1A, 6, {{2, 1, 0x3F}, {4, 1, 4}}), 4);
    EXPECT_EQ(quarter.dataIn, Bytes(data.begin(), data.begin() + 4));
    EXPECT_EQ(quarter.commandLength, 4u);

    const auto control =
        In(Command(0x1A, 6, {{1, 1, 0x08}, {2, 1, 0x0A}, {4, 1, 255}}), 255).dataIn;
    ASSERT_EQ(control.size(), 4u + 12);
    EXPECT_EQ(control[3], 0); // DBD: no block descriptor
    EXPECT_EQ(control[4], 0x0A);
    EXPECT_EQ(control[6] & 0x04, 0); // fixed-format sense, as the unit reports it

    const auto changeable = In(Command(0x1A, 6, {{1, 1, 0x08}, {2, 1, 0x48}, {4, 1, 255}}), 255);
    ASSERT_EQ(changeable.dataIn.size(), 4u + 20);
    EXPECT_EQ(Bytes(changeable.dataIn.begin() + 6, changeable.dataIn.end()), Bytes(18, 0));
}

TEST_F(DiskFixture, ModeSenseTenWithLongLbaGivesTheLongDescriptor) {
    const auto reply = In(Command(0x5A, 10, {{1, 1, 0x10}, {2, 1, 0x08}, {7, 2, 255}}), 255).dataIn;
    ASSERT_EQ(reply.size(), 8u + 16 + 20);
    EXPECT_EQ(Be(reply, 0, 2), reply.size() - 2);
    EXPECT_EQ(reply[4] & 1, 1);
    EXPECT_EQ(Be(reply, 6, 2), 16u);
    EXPECT_EQ(Be(reply, 8, 8), kDiskBlocks);
    EXPECT_EQ(Be(reply, 20, 4), 512u);
    EXPECT_EQ(reply[24], 0x08);
}

TEST_F(DiskFixture, ReportLunsListsLunZeroOnly) {
    const auto luns = In(Command(0xA0, 12, {{6, 4, 255}}), 255);
    ASSERT_EQ(luns.status, kScsiStatusGood);
    EXPECT_EQ(luns.dataIn, (Bytes{0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(DiskFixture, RequestSenseReportsNoSenseOnAReadyUnit) {
    const auto sense = In(Command(0x03, 6, {{4, 1, 252}}), 252);
    ASSERT_EQ(sense.status, kScsiStatusGood);
    ASSERT_EQ(sense.dataIn.size(), 18u);
    EXPECT_EQ(sense.dataIn[0], 0x70);
    EXPECT_EQ(sense.dataIn[2], 0x00);
    EXPECT_EQ(sense.dataIn[12], 0x00);
}

} // namespace
