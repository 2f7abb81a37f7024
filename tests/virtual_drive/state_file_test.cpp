// The slot table on disk: round trip, every way a file can be wrong, atomic saves, and
// the drive that loads and saves it.
#include "virtual_drive/state_file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <thread>

#include "virtual_drive/volume_set.h"

namespace fs = std::filesystem;

namespace {

class StateFileTest : public ::testing::Test {
  protected:
    StateFileTest() { fs::create_directories(dir); }
    ~StateFileTest() override {
        std::error_code code;
        fs::remove_all(dir, code);
    }
    void Write(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

    fs::path dir =
        fs::temp_directory_path() / ("vdrive-state-" + std::to_string(std::random_device{}()));
    fs::path path = dir / "drive.state";
};

TEST_F(StateFileTest, SavedSlotsLoadBackAndNoTemporaryIsLeft) {
    vdrive::SlotTable slots{};
    slots[0] = "alice-thumb";
    slots[9] = "bob";
    std::string error;
    ASSERT_TRUE(vdrive::SaveStateFile(path, slots, error)) << error;
    ASSERT_TRUE(vdrive::SaveStateFile(path, slots, error)) << error; // replaces the old file
    const vdrive::LoadedState loaded = vdrive::LoadStateFile(path);
    EXPECT_TRUE(loaded.loaded);
    EXPECT_EQ(loaded.slots, slots);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

// A save killed half way leaves NAME.tmp-XXXXXX; the next start removes such files once
// they are old, and nothing else: not a fresh one (another server's save), not a file of
// another name, not a folder.
TEST_F(StateFileTest, StaleTemporariesOfThisFileAloneAreRemoved) {
    const auto age = [](const fs::path& file, std::chrono::minutes minutes) {
        fs::last_write_time(file, fs::file_time_type::clock::now() - minutes);
    };
    for (const char* name : {"drive.state.tmp-a1B2c3", "drive.state.tmp-12-7", "drive.state.tmp-x",
                             "drive.state.tmp-new", "other.state.tmp-a1B2c3",
                             "drive.state.tmp-a b", "drive.state.tmp-"}) {
        std::ofstream(dir / name) << "x";
        age(dir / name, std::chrono::minutes(5));
    }
    age(dir / "drive.state.tmp-new", std::chrono::minutes(0));
    fs::create_directory(dir / "drive.state.tmp-folder");
    // Wine refuses to set a folder's time; the folder must stay either way.
    std::error_code ignored;
    fs::last_write_time(dir / "drive.state.tmp-folder",
                        fs::file_time_type::clock::now() - std::chrono::minutes(5), ignored);

    EXPECT_EQ(vdrive::RemoveStaleTemporaries(path, std::chrono::minutes(1)), 3);
    for (const char* gone : {"drive.state.tmp-a1B2c3", "drive.state.tmp-12-7", "drive.state.tmp-x"}) {
        EXPECT_FALSE(fs::exists(dir / gone)) << gone;
    }
    for (const char* kept : {"drive.state.tmp-new", "other.state.tmp-a1B2c3", "drive.state.tmp-a b",
                             "drive.state.tmp-", "drive.state.tmp-folder"}) {
        EXPECT_TRUE(fs::exists(dir / kept)) << kept;
    }
}

// Each save is whole however saves interleave: a reader never finds the file empty or
// half written, and no save fails for another's temporary file or a reader.
TEST_F(StateFileTest, ConcurrentSavesNeverLeaveAPartialFile) {
    vdrive::SlotTable slots{};
    slots[0] = std::string(64, 'a');
    slots[7] = std::string(64, 'b');
    std::string error;
    ASSERT_TRUE(vdrive::SaveStateFile(path, slots, error)) << error;
    std::atomic<int> failedSaves{0};
    std::mutex errorMutex;
    std::string lastError;
    std::atomic<bool> done{false};
    const auto writer = [&] {
        for (int i = 0; i < 150; ++i) {
            std::string saveError;
            if (!vdrive::SaveStateFile(path, slots, saveError)) {
                ++failedSaves;
                std::lock_guard lock(errorMutex);
                lastError = saveError;
            }
        }
    };
    std::thread first(writer);
    std::thread second(writer);
    int badLoads = 0;
    std::thread reader([&] {
        while (!done) {
            badLoads += vdrive::LoadStateFile(path).slots == slots ? 0 : 1;
            // Windows refuses to replace a file while it is open: leave the writers a gap.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    first.join();
    second.join();
    done = true;
    reader.join();
    EXPECT_EQ(failedSaves, 0) << lastError;
    EXPECT_EQ(badLoads, 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(StateFileTest, AFailedSaveSaysWhyAndLeavesTheOldFile) {
    Write("tessalok-vdrive state 1\nslot 1 old\n");
    fs::create_directories(path.string() + ".dir");
    vdrive::SlotTable slots{};
    slots[2] = "new";
    std::string error;
    // A folder where the file should be cannot be replaced by a file.
    EXPECT_FALSE(vdrive::SaveStateFile(path.string() + ".dir", slots, error));
    EXPECT_EQ(error.rfind("cannot replace " + path.string() + ".dir: ", 0), 0u) << error;
    EXPECT_GT(error.size(), ("cannot replace " + path.string() + ".dir: ").size());
    EXPECT_EQ(vdrive::LoadStateFile(path).slots[1], "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}

TEST_F(StateFileTest, MissingOrCorruptFileGivesAnEmptyDriveAndSaysWhy) {
    struct Case {
        std::optional<std::string> content; // none: no file
        const char* says;
    };
    const Case cases[] = {
        {std::nullopt, "not found"},
        {"", "is corrupt (the file is empty)"},
        {"some other file\n", "is corrupt (line 1 is not"},
        {"tessalok-vdrive state 1\nslot 1 alice\nslot 1 bob\n", "names slot 1 a second time"},
        {"tessalok-vdrive state 1\nslot 10 alice\n", "line 2 is not"},
        {"tessalok-vdrive state 1\nslot 2\n", "line 2 is not"},
        {"tessalok-vdrive state 1\nslot 2 two words\n", "line 2 is not"},
        {std::string("tessalok-vdrive state 1\nslot 3 a\0b\n", 36), "line 2 is not"},
        {"tessalok-vdrive state 1\n" + std::string(64 * 1024, '\n'), "is too large"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        std::error_code code;
        fs::remove(path, code);
        if (c.content) {
            Write(*c.content);
        }
        const vdrive::LoadedState loaded = vdrive::LoadStateFile(path);
        EXPECT_FALSE(loaded.loaded);
        EXPECT_NE(loaded.message.find(c.says), std::string::npos) << loaded.message;
        EXPECT_NE(loaded.message.find("starting with an empty drive"), std::string::npos);
        EXPECT_EQ(loaded.slots, vdrive::SlotTable{});
    }
}

TEST_F(StateFileTest, AFolderInPlaceOfTheFileGivesAnEmptyDrive) {
    fs::create_directories(path);
    const vdrive::LoadedState loaded = vdrive::LoadStateFile(path);
    EXPECT_FALSE(loaded.loaded);
    EXPECT_NE(loaded.message.find("is not a regular file: starting with an empty drive"),
              std::string::npos)
        << loaded.message;
}

TEST_F(StateFileTest, WindowsLineEndsAndBlankLinesAreAccepted) {
    Write("tessalok-vdrive state 1\r\n\r\nslot 4 carol\r\n");
    const vdrive::LoadedState loaded = vdrive::LoadStateFile(path);
    ASSERT_TRUE(loaded.loaded) << loaded.message;
    EXPECT_EQ(loaded.slots[4], "carol");
}

TEST_F(StateFileTest, DriveLoadsItsFileAndSavesEveryChange) {
    Write("tessalok-vdrive state 1\nslot 2 alice\n");
    std::vector<std::string> log;
    vdrive::VolumeSet volumes([&log](const std::string& line) { log.push_back(line); });
    vdrive::FingerprintDriveModel& drive = volumes.AddDrive('E', {}, path);
    EXPECT_EQ(drive.Slot(2), "alice");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("E: state file", 0), 0u);
    drive.SetSlot(5, "bob");
    EXPECT_EQ(vdrive::LoadStateFile(path).slots[5], "bob");
    drive.ClearSlots();
    EXPECT_EQ(vdrive::LoadStateFile(path).slots, vdrive::SlotTable{});
}

} // namespace
