// The control texts against a volume set: what each does to the drive and answers.
#include "virtual_drive/control.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

class ControlTest : public ::testing::Test {
  protected:
    ControlTest() : drive(volumes.AddDrive('E', {})), second(volumes.AddDrive('F', {})) {
        volumes.AddStick('D', {});
    }
    std::string Run(std::string_view text) { return vdrive::RunControl(volumes, text).reply; }

    vdrive::VolumeSet volumes;
    vdrive::FingerprintDriveModel& drive;
    vdrive::FingerprintDriveModel& second;
};

TEST_F(ControlTest, ScriptTextsQueueUserEvents) {
    const char* texts[] = {"finger alice 2", "touch", "nothing 3",         "ignored",
                           "refuse",         "fail",  "raw 78 0d length=0"};
    for (const char* text : texts) {
        EXPECT_EQ(Run(text), "ok") << text;
    }
    EXPECT_EQ(drive.User().Pending(), 2u + 1 + 3 + 1 + 1 + 1 + 1);
    std::optional<vdrive::UserEvent> first = drive.User().Take();
    EXPECT_EQ(first->finger, "alice");
}

TEST_F(ControlTest, VolumePrefixChoosesTheDrive) {
    EXPECT_EQ(Run("F: set-slot 3 bob"), "ok");
    EXPECT_EQ(Run("F: slots"), "F: F0 F1 F2 S3=bob F4 F5 F6 F7 F8 F9");
    EXPECT_EQ(Run("slots"), "E: F0 F1 F2 F3 F4 F5 F6 F7 F8 F9");
    EXPECT_EQ(Run("D: touch"), "error: not a fingerprint drive");
    EXPECT_EQ(Run("K: touch"), "error: no volume K:");
    EXPECT_EQ(Run("volumes"), "D: stick, E: drive, F: drive");
}

TEST_F(ControlTest, FaultsAndPlugReachTheModel) {
    EXPECT_EQ(Run("unplug"), "ok");
    EXPECT_FALSE(drive.Plugged());
    EXPECT_EQ(Run("state"), "E: idle, unplugged, 0 events queued");
    EXPECT_EQ(Run("volumes"), "D: stick, E: drive (unplugged), F: drive");
    EXPECT_EQ(Run("plug"), "ok");
    EXPECT_EQ(Run("break-entry 0 s0_"), "ok");
    EXPECT_EQ(Run("fail-next 2"), "ok");
    EXPECT_EQ(Run("touch"), "ok");
    EXPECT_EQ(Run("reset"), "ok");
    EXPECT_EQ(drive.User().Pending(), 0u);
    EXPECT_TRUE(vdrive::RunControl(volumes, "shutdown").shutdown);
}

TEST_F(ControlTest, WrongTextsAreRefusedWithAReason) {
    const char* texts[] = {"",
                           "dance",
                           "finger",
                           "finger two words x",
                           "touch -1",
                           "set-slot 10 a",
                           "clear-slot",
                           "raw 1FF",
                           "refuse now",
                           "break-entry 0 ab",
                           "truncate-next 1"};
    for (const char* text : texts) {
        EXPECT_EQ(Run(text).rfind("error: ", 0), 0u) << text;
    }
    EXPECT_EQ(drive.User().Pending(), 0u);
}

TEST_F(ControlTest, AFullUserScriptIsRefusedWithTheBoundAndResetEmptiesIt) {
    const std::string finger = "finger " + std::string(64, 'x') + " 10000";
    EXPECT_EQ(Run(finger), "ok");
    const std::string full = Run(finger);
    EXPECT_EQ(full.rfind("error: the user script is full (10000 of 10000 events queued)", 0), 0u)
        << full;
    EXPECT_EQ(Run("touch").rfind("error: the user script is full", 0), 0u);
    EXPECT_EQ(Run("state"), "E: idle, 10000 events queued");
    EXPECT_EQ(Run("F: touch"), "ok"); // each drive has its own script
    EXPECT_EQ(Run("reset"), "ok");
    EXPECT_EQ(Run("state"), "E: idle, 0 events queued");
    EXPECT_EQ(Run(finger), "ok");
}

// A drive whose state file cannot be written: the folder does not exist.
TEST(ControlSaves, AFailedSaveIsAnErrorWithTheSystemsReason) {
    std::vector<std::string> log;
    vdrive::VolumeSet volumes([&log](const std::string& line) { log.push_back(line); });
    const std::filesystem::path missing =
        std::filesystem::temp_directory_path() / "vdrive-no-such-folder" / "drive.state";
    vdrive::FingerprintDriveModel& drive = volumes.AddDrive('E', {}, missing);
    log.clear();
    const std::string reply = vdrive::RunControl(volumes, "set-slot 5 carol").reply;
    EXPECT_EQ(reply.rfind("error: the slot table changed but was not saved (cannot create a "
                          "temporary file next to ",
                          0),
              0u)
        << reply;
    EXPECT_EQ(drive.Slot(5), "carol"); // the drive itself has the finger
    EXPECT_NE(vdrive::RunControl(volumes, "state").reply.find(", slot table not saved (cannot"),
              std::string::npos);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("E: slot table not saved: cannot create", 0), 0u) << log[0];
    // The system's reason follows the path.
    EXPECT_GT(log[0].size(), log[0].find(missing.string() + ": ") + missing.string().size() + 2);
}

} // namespace
