// The pass-through request block, byte by byte, for the 32-bit and the 64-bit layout.
#include "device/pass_through_block.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::Each;

const Cdb kCdb{0xFC, 2, 9, 0, 0, 0, 0, 0, 0, 0, 0, 43, 'S', 'E', 'C', 'U'};

std::uint64_t Field(std::span<const std::uint8_t> block, std::size_t offset, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) {
        value |= std::uint64_t{block[offset + i]} << (8 * i);
    }
    return value;
}

class PassThroughBlockTest : public ::testing::TestWithParam<const PassThroughLayout*> {
  protected:
    const PassThroughLayout& layout = *GetParam();
    PassThroughRequest request{layout};
    std::uint32_t header = static_cast<std::uint32_t>(layout.headerSize);
    std::uint32_t dataOffset = static_cast<std::uint32_t>(layout.dataOffset);

    std::span<std::uint8_t> DataArea() { return request.Block().subspan(dataOffset); }

    // Every header byte apart from the fields the request fills is zero.
    void ExpectHeader(std::uint8_t dataIn, std::uint32_t transferLength, std::uint64_t dataBuffer) {
        const auto block = request.Block();
        EXPECT_EQ(Field(block, layout.lengthField, 2), layout.headerSize);
        EXPECT_EQ(block[layout.cdbLengthField], 16);
        EXPECT_EQ(block[layout.dataInField], dataIn);
        EXPECT_EQ(Field(block, layout.dataTransferLengthField, 4), transferLength);
        EXPECT_EQ(Field(block, layout.timeOutValueField, 4), 4u);
        EXPECT_EQ(Field(block, layout.dataBufferField, layout.pointerSize), dataBuffer);
        EXPECT_TRUE(std::equal(kCdb.begin(), kCdb.end(), block.begin() + layout.cdbField));

        Bytes rest(block.begin(), block.begin() + dataOffset);
        for (std::size_t i = 0; i < 2; ++i)
            rest[layout.lengthField + i] = 0;
        rest[layout.cdbLengthField] = 0;
        rest[layout.dataInField] = 0;
        for (std::size_t i = 0; i < 4; ++i)
            rest[layout.dataTransferLengthField + i] = 0;
        for (std::size_t i = 0; i < 4; ++i)
            rest[layout.timeOutValueField + i] = 0;
        for (std::size_t i = 0; i < layout.pointerSize; ++i)
            rest[layout.dataBufferField + i] = 0;
        for (std::size_t i = 0; i < 16; ++i)
            rest[layout.cdbField + i] = 0;
        EXPECT_THAT(rest, Each(0)) << "status, path, target, lun, sense fields and padding";
    }

    // What the platform does for a read: the drive's bytes and its status in the block.
    void Answer(const Bytes& bytes, std::uint8_t status) {
        std::copy(bytes.begin(), bytes.end(), DataArea().begin());
        request.Block()[layout.scsiStatusField] = status;
    }
};

TEST_P(PassThroughBlockTest, BufferedReadFillsTheHeaderAndCopiesBackOnSuccess) {
    Bytes data(43, 0xEE);
    request.Prepare(kCdb, data.data(), 43, ScsiDirection::Read);

    EXPECT_EQ(request.Form(), PassThroughForm::Buffered);
    EXPECT_EQ(request.IoControlCode(), 0x4D004u);
    EXPECT_EQ(request.Block().size(), dataOffset + 16384u);
    EXPECT_EQ(request.InputSize(), header);
    EXPECT_EQ(request.OutputSize(), dataOffset + 43);
    ExpectHeader(1, 43, dataOffset);
    EXPECT_THAT(Bytes(DataArea().begin(), DataArea().end()), Each(0));

    Bytes reply(44);
    for (std::size_t i = 0; i < reply.size(); ++i)
        reply[i] = static_cast<std::uint8_t>(i + 1);
    Answer(reply, kScsiStatusGood);
    ASSERT_TRUE(request.Finish(true));
    EXPECT_EQ(data, Bytes(reply.begin(), reply.begin() + 43));
}

TEST_P(PassThroughBlockTest, FailedCommandsLeaveTheCallersBufferAlone) {
    const struct {
        bool callSucceeded;
        std::uint8_t status;
    } cases[] = {{true, kScsiStatusCheckCondition}, {false, kScsiStatusGood}, {false, 2}};
    for (const auto& c : cases) {
        Bytes data(16, 0xEE);
        request.Prepare(kCdb, data.data(), 16, ScsiDirection::Read);
        Answer(Bytes(16, 0x11), c.status);
        EXPECT_FALSE(request.Finish(c.callSucceeded));
        EXPECT_EQ(data, Bytes(16, 0xEE));
    }
}

TEST_P(PassThroughBlockTest, BufferedWriteCarriesTheDataInTheBlock) {
    Bytes data = {'J', 'M', 'T', 'M', 'E', 'S', ' ', 'C', 0, 1, 0x6C};
    request.Prepare(kCdb, data.data(), 11, ScsiDirection::Write);
    EXPECT_EQ(request.InputSize(), dataOffset + 11);
    EXPECT_EQ(request.OutputSize(), header);
    ExpectHeader(0, 11, dataOffset);
    EXPECT_EQ(Bytes(DataArea().begin(), DataArea().begin() + 11), data);
    EXPECT_THAT(Bytes(DataArea().begin() + 11, DataArea().end()), Each(0));
    EXPECT_TRUE(request.Finish(true));
}

TEST_P(PassThroughBlockTest, OneByteTransfersCarryTwoBytes) {
    std::uint8_t write[1] = {0x7A};
    request.Prepare(kCdb, write, 1, ScsiDirection::Write);
    ExpectHeader(0, 2, dataOffset);
    EXPECT_EQ(request.InputSize(), dataOffset + 2);
    EXPECT_EQ(DataArea()[0], 0x7A);
    EXPECT_EQ(DataArea()[1], 0x00);

    std::uint8_t read[2] = {0xEE, 0xEE};
    request.Prepare(kCdb, read, 1, ScsiDirection::Read);
    ExpectHeader(1, 2, dataOffset);
    EXPECT_EQ(request.OutputSize(), dataOffset + 2);
    Answer({0x41, 0x42}, kScsiStatusGood);
    ASSERT_TRUE(request.Finish(true));
    EXPECT_EQ(read[0], 0x41);
    EXPECT_EQ(read[1], 0xEE) << "only the caller's one byte comes back";
}

TEST_P(PassThroughBlockTest, ZeroLengthReadIsSentAsAWriteWithoutData) {
    std::uint8_t data[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    request.Prepare(kCdb, data, 0, ScsiDirection::Read);
    ExpectHeader(0, 0, dataOffset);
    EXPECT_EQ(request.InputSize(), header);
    EXPECT_EQ(request.OutputSize(), header);
    Answer({1, 2, 3, 4}, kScsiStatusGood);
    EXPECT_TRUE(request.Finish(true));
    EXPECT_THAT(data, Each(0xEE));
}

TEST_P(PassThroughBlockTest, EachRequestStartsFromAZeroBlock) {
    Bytes big(16383, 0xFF);
    request.Prepare(kCdb, big.data(), 16383, ScsiDirection::Write);
    request.Block()[layout.scsiStatusField] = kScsiStatusCheckCondition;
    EXPECT_EQ(request.Form(), PassThroughForm::Buffered) << "16383 bytes still fit the block";
    EXPECT_EQ(request.InputSize(), dataOffset + 16383);

    std::uint8_t small[8] = {};
    request.Prepare(kCdb, small, 8, ScsiDirection::Read);
    EXPECT_EQ(request.ScsiStatus(), 0);
    EXPECT_THAT(Bytes(DataArea().begin(), DataArea().end()), Each(0));
}

TEST_P(PassThroughBlockTest, LongTransfersUseTheDirectFormOnTheCallersBuffer) {
    Bytes data(16384, 0xEE);
    request.Prepare(kCdb, data.data(), 16384, ScsiDirection::Read);
    EXPECT_EQ(request.Form(), PassThroughForm::Direct);
    EXPECT_EQ(request.IoControlCode(), 0x4D014u);
    EXPECT_EQ(request.Block().size(), dataOffset);
    EXPECT_EQ(request.InputSize(), dataOffset);
    EXPECT_EQ(request.OutputSize(), dataOffset);
    const std::uint64_t mask = layout.pointerSize == 8
                                   ? ~std::uint64_t{0}
                                   : (std::uint64_t{1} << (8 * layout.pointerSize)) - 1;
    ExpectHeader(1, 16384, reinterpret_cast<std::uintptr_t>(data.data()) & mask);
    EXPECT_TRUE(request.Finish(true));
    EXPECT_EQ(data, Bytes(16384, 0xEE)) << "the platform fills the buffer itself";
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, PassThroughBlockTest,
                         ::testing::Values(&kPassThroughLayout32, &kPassThroughLayout64),
                         [](const auto& param) {
                             return param.param->pointerSize == 4 ? std::string("Layout32")
                                                                  : std::string("Layout64");
                         });

TEST(PassThroughLayoutTest, TheLayoutsHaveTheirPlatformSizes) {
    EXPECT_EQ(kPassThroughLayout32.headerSize, 44u);
    EXPECT_EQ(kPassThroughLayout32.dataOffset, 48u);
    EXPECT_EQ(kPassThroughLayout64.headerSize, 56u);
    EXPECT_EQ(kPassThroughLayout64.dataOffset, 64u);
    EXPECT_EQ(NativePassThroughLayout().pointerSize, sizeof(void*));
}

} // namespace
