#include <gmock/gmock.h>

#include "tests/fingerprint/operations_fixture.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

const std::string kFound = "text Found [JMTMESV1] Tessalok Disk";

class EraseTest : public OperationsTest {
  protected:
    EraseTest() { drive.SetSlots(SlotsInUse(3)); }

    std::string CycleLine(int cycle, int touches) const {
        return "text " + ToUtf8(FormatText(u"%d-%s(%d)", {cycle, GetText(22), touches}));
    }
    std::vector<std::string> CycleLines() const {
        std::vector<std::string> lines;
        for (const std::string& line : window.Lines("text ")) {
            if (line.find(Msg(22) + "(") != std::string::npos) {
                lines.push_back(line);
            }
        }
        return lines;
    }
    void Erase() {
        ops.EraseAllFingerprints();
        EXPECT_EQ(g_busy, 0);
    }
};

TEST_F(EraseTest, NoSendsNothingAndChangesNothing) {
    Connect();
    window.answerYes = false;
    Erase();
    EXPECT_THAT(window.log, ElementsAre("ask " + Msg(21) + " | " + Msg(20)));
    EXPECT_TRUE(wire.Records().empty());
    EXPECT_EQ(drive.InstalledCount(), 3u);
}

TEST_F(EraseTest, AuthorizedFingerErasesEverySlot) {
    Connect();
    drive.User().Nothing(1);
    drive.User().Present("finger-2"); // 'S', then the drive erases and reports 's'
    Erase();
    const std::vector<std::string> expected = {
        "ask " + Msg(21) + " | " + Msg(20),
        "text " + Msg(22),
        "fore FFFFFF",
        "back! C83232",
        "pump",
        CycleLine(0, 0),
        "fore! 000000",
        "back! A032A0",
        "pump",
        "pump",
        CycleLine(1, 0),
        "fore! FFFFFF",
        "back! A032A0",
        "pump",
        "pump",
        CycleLine(2, 1),
        "fore! 000000",
        "back! A032A0",
        "pump",
        "pump",
        "text " + Msg(24),
        "fore FFFFFF",
        "back! 329632",
        "pump",
        "box " + Msg(24),
        kFound,
        "fore 3232C8",
        "back! FFFFFF",
        "pump",
        "refresh ### There is no installation of any fingerprint ### V1 I1 E0",
        "pump"};
    EXPECT_THAT(window.log, ElementsAreArray(expected));
    EXPECT_EQ(clock.waits, std::vector<std::uint32_t>{500});
    EXPECT_EQ(drive.InstalledCount(), 0u);
    // start request: seed and write with the work code, then three polls, then the probe
    ASSERT_GE(wire.Records().size(), 2u);
    EXPECT_EQ(CommandName(wire.Records()[1]), "write");
    EXPECT_EQ(wire.Records()[1].cdb[3], vendor::kWriteStartsWork);
    EXPECT_EQ(Commands().size(), 2u + 3u * 4u + 6u);
}

struct EraseCase {
    const char* name;
    std::vector<vdrive::Report> reports;
    int result;
    int lastTouches;
};

TEST_F(EraseTest, ReportsDecideTheResult) {
    const EraseCase cases[] = {
        {"'s' succeeds", {{'s'}}, 24, 0},
        {"'f' fails", {{'f'}}, 23, 0},
        {"'a' and 'S' are touches", {{'a'}, {'S'}, {'a'}, {'s'}}, 24, 3},
        {"other reports only refill the budget", {{'x'}, {'F'}, {'A'}, {'f'}}, 23, 0},
    };
    for (const EraseCase& c : cases) {
        SCOPED_TRACE(c.name);
        Connect();
        for (const vdrive::Report& report : c.reports) {
            drive.User().Raw(report);
        }
        Erase();
        EXPECT_EQ(CycleLines().size(), c.reports.size());
        EXPECT_EQ(CycleLines().back(),
                  CycleLine(static_cast<int>(c.reports.size()) - 1, c.lastTouches));
        const Colour back = c.result == 24 ? colours::kGreen : colours::kRed;
        EXPECT_THAT(window.Lines("box "), ElementsAre("box " + Msg(c.result)));
        EXPECT_EQ(window.Lines("back! ")[static_cast<std::ptrdiff_t>(c.reports.size()) + 1],
                  "back! " + ColourName(back));
        drive.Reset();
        memory.Detach('E');
    }
}

TEST_F(EraseTest, NoReportTimesOutAfterFifteenCycles) {
    Connect();
    Erase();
    std::vector<std::string> expected;
    for (int cycle = 0; cycle < 15; ++cycle) {
        expected.push_back(CycleLine(cycle, 0));
    }
    EXPECT_THAT(CycleLines(), ElementsAreArray(expected));
    EXPECT_THAT(window.Lines("box "), ElementsAre("box " + Msg(25)));
}

TEST_F(EraseTest, IdleBudgetAfterAReportLastsFourteenMoreCycles) {
    Connect();
    drive.User().Nothing(4);
    drive.User().Raw({'x'});
    Erase();
    EXPECT_EQ(CycleLines().size(), 5u + 14u);
    EXPECT_THAT(window.Lines("box "), ElementsAre("box " + Msg(25)));
}

TEST_F(EraseTest, SteadyTouchesEndAfterCycleFiftyNine) {
    Connect();
    drive.User().Touch(80);
    Erase();
    const std::vector<std::string> lines = CycleLines();
    ASSERT_EQ(lines.size(), 60u);
    EXPECT_EQ(lines.back(), CycleLine(59, 59));
    EXPECT_THAT(window.Lines("box "), ElementsAre("box " + Msg(25)));
    EXPECT_EQ(drive.User().Pending(), 20u);
}

TEST_F(EraseTest, ClearedBusyFlagAbortsWithoutResultOrProbe) {
    Connect();
    // Pumps: 1 the prompt, then two per cycle; clear it after the second cycle's poll.
    window.AtPump(5, [] { g_busy = 0; });
    Erase();
    EXPECT_EQ(CycleLines().size(), 2u);
    EXPECT_TRUE(window.Lines("box ").empty());
    EXPECT_TRUE(window.Lines("refresh").empty());
    EXPECT_EQ(Commands().size(), 2u + 2u * 4u);
}

} // namespace
