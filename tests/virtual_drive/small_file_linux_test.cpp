// Reading the server's small files where something other than a regular file stands:
// nothing blocks and nothing floods memory.
#include "virtual_drive/small_file.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace fs = std::filesystem;

namespace {

TEST(SmallFileLinux, OnlyARegularFileIsRead) {
    const fs::path dir =
        fs::temp_directory_path() / ("vdrive-small-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    { std::ofstream(dir / "file") << "text"; }
    fs::create_symlink(dir / "file", dir / "link");
    struct Case {
        fs::path path;
        vdrive::ReadResult result;
    };
    const Case cases[] = {
        {dir / "fifo", vdrive::ReadResult::NotRegular}, // no writer: would block
        {"/dev/zero", vdrive::ReadResult::NotRegular},  // endless
        {dir, vdrive::ReadResult::NotRegular},          {dir / "none", vdrive::ReadResult::Missing},
        {dir / "link", vdrive::ReadResult::Read},
    };
    for (const Case& c : cases) {
        std::string content;
        std::string error;
        EXPECT_EQ(vdrive::ReadSmallFile(c.path, 1024, content, error), c.result) << c.path;
    }
    std::string content;
    std::string error;
    EXPECT_EQ(vdrive::ReadSmallFile(dir / "link", 4, content, error), vdrive::ReadResult::Read);
    EXPECT_EQ(content, "text");
    EXPECT_EQ(vdrive::ReadSmallFile(dir / "link", 3, content, error), vdrive::ReadResult::TooLarge);
    fs::remove_all(dir);
}

} // namespace
