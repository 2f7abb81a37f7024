#include <gmock/gmock.h>

#include "tests/fingerprint/operations_fixture.h"

using ::testing::ElementsAre;

namespace {

class FingerprintStatusTest : public OperationsTest {};

using Entry = std::array<std::uint8_t, 3>;

struct StatusCase {
    const char* name;
    std::size_t installed;                             // slots in use on the drive
    std::vector<std::pair<std::size_t, Entry>> broken; // entries sent otherwise
    int installedCount;
    int freeCount;
    std::string refresh;
};

TEST_F(FingerprintStatusTest, CountsOnlyEntriesOfTheirOwnPosition) {
    const std::string none = "refresh ### There is no installation of any fingerprint ###";
    const StatusCase cases[] = {
        {"all free", 0, {}, 0, 10, none + " V1 I1 E0"},
        {"two installed",
         2,
         {},
         2,
         8,
         "refresh Currently installed:2, Could install more:8 V1 I1 E1"},
        {"all installed",
         10,
         {},
         10,
         0,
         "refresh Currently installed:10, Could install more:0 V1 I0 E1"},
        {"lower-case state",
         2,
         {{1, {'s', '1', ' '}}, {4, {'f', '4', ' '}}},
         1,
         7,
         "refresh Currently installed:1, Could install more:7 V1 I1 E1"},
        {"wrong digit",
         2,
         {{3, {'S', '5', ' '}}, {0, {'S', '1', ' '}}},
         1,
         7,
         "refresh Currently installed:1, Could install more:7 V1 I1 E1"},
        {"missing space",
         2,
         {{0, {'S', '0', 0}}, {9, {'F', '9', '-'}}},
         1,
         7,
         "refresh Currently installed:1, Could install more:7 V1 I1 E1"},
    };
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.name);
        drive.SetSlots(SlotsInUse(c.installed));
        drive.ClearBrokenEntries();
        for (const auto& [slot, entry] : c.broken) {
            drive.BreakSlotEntry(slot, entry);
        }
        Connect();
        EXPECT_EQ(ops.ReadFingerprintStatus(), 1);
        EXPECT_EQ(ops.m_installedCount, c.installedCount);
        EXPECT_EQ(ops.m_freeCount, c.freeCount);
        EXPECT_THAT(window.log, ElementsAre(c.refresh, "pump"));
        EXPECT_THAT(Commands(), ElementsAre("seed", "write", "seed", "read"));
        memory.Detach('E');
    }
}

TEST_F(FingerprintStatusTest, ReplyWithoutValidEntriesGivesZeroCountsAndOnlyViewStatus) {
    for (std::size_t slot = 0; slot < vdrive::kSlotCount; ++slot) {
        drive.BreakSlotEntry(slot, {'?', '?', '?'});
    }
    Connect();
    EXPECT_EQ(ops.ReadFingerprintStatus(), 1);
    EXPECT_THAT(window.log,
                ElementsAre("refresh ### There is no installation of any fingerprint ### V1 I0 E0",
                            "pump"));
}

TEST_F(FingerprintStatusTest, FailedReadClearsTheLetterAndKeepsTheCounts) {
    drive.SetSlots(SlotsInUse(4));
    Connect();
    drive.Unplug();
    EXPECT_EQ(ops.ReadFingerprintStatus(), 0);
    EXPECT_EQ(ops.m_device.m_driveLetter, 0);
    EXPECT_EQ(ops.m_installedCount, 4);
    EXPECT_EQ(ops.m_freeCount, 6);
    EXPECT_TRUE(window.log.empty());
}

struct PollCase {
    std::uint16_t lengthField;
    int result;
    bool copied;
};

TEST_F(FingerprintStatusTest, PollReportsByLengthField) {
    const PollCase cases[] = {{1, 0, false}, {2, 1, true}, {5, 4, true}, {0, -1, true}};
    Connect();
    ops.m_device.SendRequestFrame(vendor::kInstallStart, vendor::kWriteStartsWork);
    for (const PollCase& c : cases) {
        SCOPED_TRACE(c.lengthField);
        drive.User().Raw({'S', 'x', 'f', 'x'}, c.lengthField);
        std::array<std::uint8_t, 4> report{0xEE, 0xEE, 0xEE, 0xEE};
        wire.Clear();
        EXPECT_EQ(ops.PollProgress(report.data(), report.size()), c.result);
        const std::array<std::uint8_t, 4> expected =
            c.copied ? std::array<std::uint8_t, 4>{'S', 'x', 'f', 'x'}
                     : std::array<std::uint8_t, 4>{};
        EXPECT_EQ(report, expected);
        EXPECT_THAT(Commands(), ElementsAre("seed", "write", "seed", "read"));
        EXPECT_EQ(wire.Records().back().length, 15u);
    }
}

TEST_F(FingerprintStatusTest, FailedPollIsNoReportAndLeavesAZeroBuffer) {
    Connect();
    drive.Unplug();
    std::uint8_t report = 0xEE;
    EXPECT_EQ(ops.PollProgress(&report, 1), 0);
    EXPECT_EQ(report, 0);
    EXPECT_TRUE(window.log.empty());
}

} // namespace
