// Every operation with one vendor command failing, in turn at each position of its clean
// run (all attempts of that command fail): it ends, closes every volume, clears the busy
// flag, and leaves a screen that matches what the drive answered.
#include <gmock/gmock.h>

#include <functional>

#include "tests/fingerprint/operations_fixture.h"

namespace {

struct Operation {
    const char* name;
    std::size_t installed;
    std::function<void(OperationsRig&)> script; // the user's part, before the operation
    std::function<void(OperationsRig&)> run;
};

// The names of the vendor commands of a clean run.
std::vector<std::string> CleanRun(const Operation& operation) {
    OperationsRig rig;
    rig.drive.SetSlots(SlotsInUse(operation.installed));
    rig.Connect();
    operation.script(rig);
    operation.run(rig);
    return rig.Commands();
}

// Fails the vendor command at `position` (counted from now) with all its attempts.
void FailCommandAt(OperationsRig& rig, std::size_t position, const std::string& name) {
    const std::size_t base = rig.memory.CommandCount();
    const std::size_t attempts = name == "identify" ? 1 : 3;
    for (std::size_t attempt = 0; attempt < attempts; ++attempt) {
        rig.memory.FailCommandNumber(base + position + attempt);
    }
}

// A drive that stays known had its last announcement replaced by the counts line. (A
// cleared letter may still show counts: a failed second identity read shows nothing.)
void ExpectScreenMatchesLetter(const OperationsRig& rig) {
    const std::vector<std::string>& log = rig.window.log;
    const auto lastFound = std::find_if(log.rbegin(), log.rend(), [](const std::string& line) {
        return line.rfind("text Found [", 0) == 0;
    });
    if (lastFound == log.rend()) {
        return;
    }
    const bool refreshed = std::any_of(log.rbegin(), lastFound, [](const std::string& line) {
        return line.rfind("refresh", 0) == 0;
    });
    EXPECT_TRUE(refreshed || rig.ops.m_device.m_driveLetter == 0);
}

std::size_t Count(const std::vector<std::string>& lines, const std::string& prefix) {
    return static_cast<std::size_t>(std::count_if(
        lines.begin(), lines.end(), [&](const auto& l) { return l.rfind(prefix, 0) == 0; }));
}

const Operation kOperations[] = {
    {"view status", 2, [](OperationsRig&) {}, [](OperationsRig& rig) { rig.ops.ViewStatus(); }},
    {"install", 1,
     [](OperationsRig& rig) {
         rig.drive.User().Present("finger-0");
         rig.drive.User().Present("new-finger", 2);
     },
     [](OperationsRig& rig) { rig.ops.InstallNewFingerprint(); }},
    {"erase", 2, [](OperationsRig& rig) { rig.drive.User().Present("finger-1"); },
     [](OperationsRig& rig) { rig.ops.EraseAllFingerprints(); }},
    {"model", 0, [](OperationsRig&) {}, [](OperationsRig& rig) { rig.ops.ShowModel(); }},
};

TEST(FaultSweepTest, EveryOperationSurvivesAFailureAtEachCommand) {
    for (const Operation& operation : kOperations) {
        const std::vector<std::string> clean = CleanRun(operation);
        ASSERT_FALSE(clean.empty());
        for (std::size_t position = 0; position < clean.size(); ++position) {
            SCOPED_TRACE(std::string(operation.name) + ", failing command " +
                         std::to_string(position) + " (" + clean[position] + ")");
            OperationsRig rig;
            rig.drive.SetSlots(SlotsInUse(operation.installed));
            rig.Connect();
            operation.script(rig);
            FailCommandAt(rig, position, clean[position]);
            operation.run(rig);

            EXPECT_EQ(g_busy, 0);
            EXPECT_EQ(rig.memory.OpenHandleCount(), 0u);
            EXPECT_LE(rig.wire.Records().size(), clean.size() + 2u * 60u * 4u + 16u);
            ExpectScreenMatchesLetter(rig);
            const std::vector<std::string>& log = rig.window.log;
            const std::string name = operation.name;
            if (name == "install" || name == "erase") {
                EXPECT_EQ(Count(log, "box "), 1u);
            } else {
                EXPECT_EQ(Count(log, "box "), 0u);
            }
            if (name == "model" && rig.ops.m_device.m_driveLetter == 0) {
                EXPECT_TRUE(log.empty());
            }
        }
    }
}

TEST(FaultSweepTest, SearchSurvivesAFailureAtEachCommand) {
    vdrive::UsbStickModel stick;
    const auto search = [&](OperationsRig& rig) {
        rig.memory.Attach('D', stick);
        rig.memory.Attach('E', rig.drive);
        return rig.ops.FindFingerprintDrive(rig.memory.PresentDriveMask());
    };
    OperationsRig cleanRig;
    ASSERT_EQ(search(cleanRig), 1);
    const std::vector<std::string> clean = cleanRig.Commands();
    for (std::size_t position = 0; position < clean.size(); ++position) {
        SCOPED_TRACE("failing command " + std::to_string(position) + " (" + clean[position] + ")");
        OperationsRig rig;
        FailCommandAt(rig, position, clean[position]);
        const int found = search(rig);
        EXPECT_EQ(found != 0, rig.ops.m_device.m_driveLetter == 'E');
        EXPECT_EQ(rig.memory.OpenHandleCount(), 0u);
        if (!found) {
            const std::vector<std::string> tail(rig.window.log.end() - 2, rig.window.log.end());
            EXPECT_EQ(tail, (std::vector<std::string>{"hide", "disable"}));
        }
        ExpectScreenMatchesLetter(rig);
    }
}

} // namespace
