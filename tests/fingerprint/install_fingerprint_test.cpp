#include <gmock/gmock.h>

#include "tests/fingerprint/operations_fixture.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

const std::string kFound = "text Found [JMTMESV1] Tessalok Disk";

class InstallTest : public OperationsTest {
  protected:
    std::string EnrolLine(int cycle, int touches) const {
        return "text " + ToUtf8(FormatText(u" %d - %s (%d)", {cycle, GetText(34), touches}));
    }
    std::string AuthorizeLine(int cycle) const {
        return "text " + ToUtf8(FormatText(u"%d-%s(%d)", {cycle, GetText(22), 0}));
    }
    // The progress lines shown, without the announcement and the result.
    std::vector<std::string> ProgressLines() const {
        std::vector<std::string> lines;
        for (const std::string& line : window.Lines("text ")) {
            if (line.find(Msg(22)) != std::string::npos ||
                line.find(Msg(34)) != std::string::npos) {
                lines.push_back(line);
            }
        }
        return lines;
    }
    std::vector<std::string> Boxes() const { return window.Lines("box "); }
    void Install() {
        ops.InstallNewFingerprint();
        EXPECT_EQ(g_busy, 0);
    }
};

TEST_F(InstallTest, EmptyDriveEnrolsWithoutAuthorization) {
    Connect();
    drive.User().Present("new-finger", 3); // two touches, then enrolled
    Install();
    const std::vector<std::string> expected = {
        kFound,
        "fore 3232C8",
        "back! FFFFFF",
        "pump",
        "refresh ### There is no installation of any fingerprint ### V1 I1 E0",
        "pump",
        EnrolLine(0, 0),
        "fore! 3232C8",
        "back! C83232",
        "pump",
        EnrolLine(1, 1),
        "fore! FFFFFF",
        "back! C83232",
        "pump",
        EnrolLine(1, 2),
        "fore! FFFFFF",
        "back! C83232",
        "pump",
        "text " + Msg(35),
        "fore FFFFFF",
        "back! 329632",
        "pump",
        "box " + Msg(35),
        kFound,
        "fore 3232C8",
        "back! FFFFFF",
        "pump",
        "refresh Currently installed:1, Could install more:9 V1 I1 E1",
        "pump"};
    EXPECT_THAT(window.log, ElementsAreArray(expected));
    EXPECT_EQ(EnrolLine(0, 0).substr(5, 3), " 0 ");
    // probe, start (seed + write), three polls, probe
    std::vector<std::string> commands = {"identity", "identity", "seed", "write",
                                         "seed",     "read",     "seed", "write"};
    for (int poll = 0; poll < 3; ++poll) {
        commands.insert(commands.end(), {"seed", "write", "seed", "read"});
    }
    commands.insert(commands.end(), {"identity", "identity", "seed", "write", "seed", "read"});
    EXPECT_THAT(Commands(), ElementsAreArray(commands));
    EXPECT_EQ(wire.Records()[7].cdb[3], vendor::kWriteStartsWork);
    EXPECT_TRUE(drive.IsInstalled("new-finger"));
    EXPECT_TRUE(clock.waits.empty());
}

TEST_F(InstallTest, InstalledFingerAuthorizesFirstInBlinkingPurple) {
    drive.SetSlots(SlotsInUse(2));
    Connect();
    drive.User().Nothing(2);
    drive.User().Present("finger-1");
    drive.User().Present("new-finger", 3);
    Install();
    EXPECT_THAT(ProgressLines(), ElementsAre(AuthorizeLine(0), AuthorizeLine(1), AuthorizeLine(2),
                                             EnrolLine(0, 0), EnrolLine(1, 1), EnrolLine(1, 2)));
    const std::vector<std::string> firstCycles(window.log.begin() + 6, window.log.begin() + 14);
    EXPECT_THAT(firstCycles, ElementsAre(AuthorizeLine(0), "fore! 000000", "back! A032A0", "pump",
                                         AuthorizeLine(1), "fore! FFFFFF", "back! A032A0", "pump"));
    EXPECT_THAT(Boxes(), ElementsAre("box " + Msg(35)));
    EXPECT_EQ(window.Lines("refresh").back(),
              "refresh Currently installed:3, Could install more:7 V1 I1 E1");
}

struct RuleCase {
    const char* name;
    std::size_t installed;
    std::vector<vdrive::Report> reports; // one per poll, after the start
    int result;
};

TEST_F(InstallTest, ReportRulesDecideInTheirOrder) {
    const RuleCase cases[] = {
        {"authorize: 'f' refuses", 1, {{'f', 0, 0, 0}}, 33},
        {"authorize: 'g' refuses", 1, {{'g', 0, 0, 0}}, 33},
        {"authorize: 'S' with 'f' third refuses", 1, {{'S', 'x', 'f', 'x'}}, 33},
        {"authorize: 'S' authorizes", 1, {{'S', 'x', 'x', 'x'}, {'S', 0, 0, 0}}, 35},
        {"authorize: 'S' fourth authorizes", 1, {{'x', 'x', 'x', 'S'}, {'S', 0, 0, 0}}, 35},
        {"authorize: '0' authorizes", 1, {{'0', 'x', 'x', 'x'}, {'S', 0, 0, 0}}, 35},
        {"authorize: 'a' decides nothing", 1, {{'a', 0, 0, 0}, {'S', 0, 0, 0}, {'S', 0, 0, 0}}, 35},
        {"enrol: 'f' fails", 0, {{'f', 0, 0, 0}}, 36},
        {"enrol: 'g' fails", 0, {{'g', 0, 0, 0}}, 36},
        {"enrol: 'S' enrols", 0, {{'S', 0, 0, 0}}, 35},
        {"enrol: slot line enrols", 0, {{'3', 0x0D, 0x0A, 'S'}}, 35},
        {"enrol: slot line without 'S' decides nothing",
         0,
         {{'3', 0x0D, 0x0A, 'x'}, {'9', 0x0D, 0x0A, 'S'}},
         35},
        {"enrol: 'a' before 'f' counts", 0, {{'a', 0, 0, 0}, {'f', 0, 0, 0}}, 36},
        {"enrol: '0' does not enrol", 0, {{'0', 'x', 'x', 'x'}, {'g', 0, 0, 0}}, 36},
    };
    for (const RuleCase& c : cases) {
        SCOPED_TRACE(c.name);
        drive.SetSlots(SlotsInUse(c.installed));
        Connect();
        for (const vdrive::Report& report : c.reports) {
            drive.User().Raw(report);
        }
        Install();
        const Colour back = c.result == 35 ? colours::kGreen : colours::kRed;
        const std::vector<std::string> tail(window.log.end() - 11, window.log.end() - 6);
        EXPECT_THAT(tail, ElementsAre("text " + Msg(c.result), "fore FFFFFF",
                                      "back! " + ColourName(back), "pump", "box " + Msg(c.result)));
        EXPECT_EQ(drive.User().Pending(), 0u);
        drive.Reset();
        memory.Detach('E');
    }
}

TEST_F(InstallTest, EnrolWithoutReportsTimesOutAfterFifteenCycles) {
    Connect();
    Install();
    std::vector<std::string> expected;
    for (int cycle = 0; cycle < 15; ++cycle) {
        expected.push_back(EnrolLine(cycle, 0));
    }
    EXPECT_THAT(ProgressLines(), ElementsAreArray(expected));
    EXPECT_THAT(Boxes(), ElementsAre("box " + Msg(32)));
    EXPECT_EQ(window.Lines("back! ")[16], "back! " + ColourName(colours::kRed));
}

TEST_F(InstallTest, TouchesRenumberTheCyclesUntilTheIdleBudgetRunsOut) {
    Connect();
    drive.User().Touch(3);
    Install();
    std::vector<std::string> expected = {EnrolLine(0, 0), EnrolLine(1, 1), EnrolLine(1, 2)};
    for (int cycle = 1; cycle <= 14; ++cycle) {
        expected.push_back(EnrolLine(cycle, 3));
    }
    EXPECT_THAT(ProgressLines(), ElementsAreArray(expected));
    EXPECT_THAT(Boxes(), ElementsAre("box " + Msg(32)));
}

TEST_F(InstallTest, SilentAuthorizationPhaseTimesOutAndNeverEnrols) {
    struct Case {
        const char* name;
        unsigned silentBefore; // polls without a report before the one undecided report
        bool report;
        int lastCycle;
    };
    const Case cases[] = {
        {"no report: cycles 0 to 14", 0, false, 14},
        {"a touch at cycle 3: 14 more silent cycles", 3, true, 17},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        drive.SetSlots(SlotsInUse(1));
        Connect();
        drive.User().Nothing(c.silentBefore);
        if (c.report) {
            drive.User().Touch();
        }
        Install();
        std::vector<std::string> expected;
        for (int cycle = 0; cycle <= c.lastCycle; ++cycle) {
            expected.push_back(AuthorizeLine(cycle));
        }
        EXPECT_THAT(ProgressLines(), ElementsAreArray(expected)); // no enrol line
        EXPECT_THAT(Boxes(), ElementsAre("box " + Msg(32)));
        EXPECT_EQ(window.backColour, colours::kLightYellow); // the new probe's refresh
        const std::vector<std::string> tail(window.log.end() - 11, window.log.end() - 6);
        EXPECT_THAT(tail,
                    ElementsAre("text " + Msg(32), "fore FFFFFF",
                                "back! " + ColourName(colours::kRed), "pump", "box " + Msg(32)));
        // probe, start, one poll per cycle, probe
        EXPECT_EQ(Commands().size(), 6u + 2u + 4u * static_cast<std::size_t>(c.lastCycle + 1) + 6u);
        EXPECT_EQ(drive.InstalledCount(), 1u);
        drive.Reset();
        memory.Detach('E');
    }
}

TEST_F(InstallTest, AuthorizationPhaseEndsAfterSixtyCyclesOfUndecidedReports) {
    drive.SetSlots(SlotsInUse(1));
    Connect();
    drive.User().Ignored(70);
    Install();
    std::vector<std::string> expected;
    for (int cycle = 0; cycle < 60; ++cycle) {
        expected.push_back(AuthorizeLine(cycle));
    }
    EXPECT_THAT(ProgressLines(), ElementsAreArray(expected));
    EXPECT_THAT(Boxes(), ElementsAre("box " + Msg(32)));
    EXPECT_EQ(drive.User().Pending(), 10u);
}

TEST_F(InstallTest, EnrolPhaseRunsPastSixtyCyclesWhileReportsKeepComing) {
    Connect();
    drive.User().Touch(70);
    drive.User().Present("new-finger", 3);
    Install();
    EXPECT_EQ(ProgressLines().size(), 73u);
    EXPECT_EQ(ProgressLines().back(), EnrolLine(1, 72));
    EXPECT_THAT(Boxes(), ElementsAre("box " + Msg(35)));
}

TEST_F(InstallTest, ClearedBusyFlagAbortsAtTheNextCycleWithoutResult) {
    drive.SetSlots(SlotsInUse(1));
    Connect();
    // Pumps: probe 2, then one per cycle: the third cycle's pump clears the flag.
    window.AtPump(5, [] { g_busy = 0; });
    Install();
    EXPECT_THAT(ProgressLines(), ElementsAre(AuthorizeLine(0), AuthorizeLine(1), AuthorizeLine(2)));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(window.log.back(), "pump");
    EXPECT_EQ(window.statusText, FormatText(u"%d-%s(%d)", {2, GetText(22), 0})); // kept
    // probe, start, three polls (the third still runs after the flag was cleared)
    EXPECT_EQ(Commands().size(), 6u + 2u + 3u * 4u);
}

TEST_F(InstallTest, LanguageChangedDuringTheWaitShowsInTheNextCycle) {
    Connect();
    window.AtPump(4, [] { g_language = 3; }); // the second cycle's pump
    drive.User().Nothing(2);
    drive.User().Present("new-finger", 1);
    Install();
    const std::vector<std::string> lines = window.Lines("text ");
    ASSERT_GE(lines.size(), 4u);
    g_language = 3;
    const std::string german = EnrolLine(2, 0);
    g_language = 0;
    EXPECT_EQ(lines[1], EnrolLine(0, 0));
    EXPECT_EQ(lines[2], EnrolLine(1, 0));
    EXPECT_EQ(lines[3], german);
    EXPECT_NE(german, EnrolLine(2, 0));
}

TEST_F(InstallTest, FailedProbeShowsDiskProblemOnlyInABox) {
    Connect();
    drive.Unplug();
    g_busy = 0;
    ops.InstallNewFingerprint();
    EXPECT_THAT(window.log, ElementsAre("box " + Msg(31)));
    EXPECT_EQ(Msg(31).front(), ' ');
    EXPECT_THAT(Commands(), ElementsAre("identity!", "identity!", "identity!"));
}

} // namespace
