// The recording decorator passes every result through unchanged and records each command.
#include "device/recording_transport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "device/memory_transport.h"
#include "tests/device/scripted_target.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class RecordingTransportTest : public ::testing::Test {
  protected:
    RecordingTransportTest() { memory.Attach('F', drive); }

    ScriptedTarget drive;
    MemoryTransport memory;
    RecordingTransport recording{memory};
    Cdb cdb{0xFC, 1, 2, 3};
};

TEST_F(RecordingTransportTest, PassesResultsThroughAndRecordsEachCommand) {
    EXPECT_EQ(recording.OpenDrive('G'), IScsiTransport::kInvalidHandle);
    EXPECT_EQ(recording.PresentDriveMask(), 1u << ('F' - 'A'));
    const IScsiTransport::Handle handle = recording.OpenDrive('F');
    ASSERT_NE(handle, IScsiTransport::kInvalidHandle);

    drive.replies.push_back({9, 8, 7});
    drive.statuses = {kScsiStatusGood, kScsiStatusGood, kScsiStatusCheckCondition};
    std::uint8_t read[3] = {};
    std::uint8_t written[2] = {0x55, 0x66};
    std::uint8_t failed[2] = {0xAA, 0xBB};
    EXPECT_TRUE(recording.SendScsiCommand(handle, cdb, read, 3, ScsiDirection::Read));
    EXPECT_TRUE(recording.SendScsiCommand(handle, cdb, written, 2, ScsiDirection::Write));
    EXPECT_FALSE(recording.SendScsiCommand(handle, cdb, failed, 2, ScsiDirection::Read));
    EXPECT_TRUE(recording.SendScsiCommand(handle, cdb, nullptr, 0, ScsiDirection::Read));
    recording.CloseDrive(handle);

    EXPECT_THAT(read, ::testing::ElementsAre(9, 8, 7));
    EXPECT_THAT(failed, ::testing::ElementsAre(0xAA, 0xBB));
    EXPECT_EQ(memory.OpenHandleCount(), 0u);

    const auto& records = recording.Records();
    ASSERT_EQ(records.size(), 4u);
    for (const CommandRecord& record : records) {
        EXPECT_EQ(record.letter, 'F');
        EXPECT_EQ(record.cdb, cdb);
    }
    EXPECT_EQ(records[0].data, (Bytes{9, 8, 7}));
    EXPECT_TRUE(records[0].succeeded);
    EXPECT_EQ(records[1].direction, ScsiDirection::Write);
    EXPECT_EQ(records[1].data, (Bytes{0x55, 0x66}));
    EXPECT_FALSE(records[2].succeeded);
    EXPECT_TRUE(records[2].data.empty()) << "a failed read has no data to show";
    EXPECT_EQ(records[3].direction, ScsiDirection::Write) << "no data means no read";
    EXPECT_EQ(records[3].length, 0u);
}

TEST_F(RecordingTransportTest, ObserverSeesEveryCommandEvenWhenRecordsAreOff) {
    std::vector<bool> seen;
    recording.SetObserver(
        [&seen](const CommandRecord& record) { seen.push_back(record.succeeded); });
    recording.SetKeepRecords(false);
    drive.statuses = {kScsiStatusGood, kScsiStatusCheckCondition};
    const IScsiTransport::Handle handle = recording.OpenDrive('F');
    std::uint8_t byte = 0;
    recording.SendScsiCommand(handle, cdb, &byte, 1, ScsiDirection::Read);
    recording.SendScsiCommand(handle, cdb, &byte, 1, ScsiDirection::Read);
    recording.CloseDrive(handle);
    EXPECT_EQ(seen, (std::vector<bool>{true, false}));
    EXPECT_TRUE(recording.Records().empty());
}

} // namespace
