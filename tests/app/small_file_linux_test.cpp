// Reading the server's small files where something other than a regular file stands:
// nothing blocks and nothing floods memory.
#include "app/small_file.h"

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
        SmallFileResult result;
    };
    const Case cases[] = {
        {dir / "fifo", SmallFileResult::NotRegular}, // no writer: would block
        {"/dev/zero", SmallFileResult::NotRegular},  // endless
        {dir, SmallFileResult::NotRegular},          {dir / "none", SmallFileResult::Missing},
        {dir / "link", SmallFileResult::Read},
    };
    for (const Case& c : cases) {
        std::string content;
        std::string error;
        EXPECT_EQ(ReadSmallFile(c.path.native(), 1024, content, error), c.result) << c.path;
    }
    std::string content;
    std::string error;
    EXPECT_EQ(ReadSmallFile((dir / "link").native(), 4, content, error), SmallFileResult::Read);
    EXPECT_EQ(content, "text");
    EXPECT_EQ(ReadSmallFile((dir / "link").native(), 3, content, error), SmallFileResult::TooLarge);
    fs::remove_all(dir);
}

} // namespace
