#include "device/device_letters.h"

#include <gtest/gtest.h>

namespace {

TEST(DeviceLettersTest, ExplicitListsStartAtC) {
    EXPECT_EQ(LetterForListIndex(0), 'C');
    EXPECT_EQ(LetterForListIndex(23), 'Z');
    EXPECT_EQ(LetterForListIndex(24), 0);
    EXPECT_EQ(ListIndexForLetter('C'), 0u);
    EXPECT_EQ(ListIndexForLetter('Z'), 23u);
    for (const char letter : {'\0', 'A', 'B', 'c', '['}) {
        EXPECT_EQ(ListIndexForLetter(letter), kDeviceLetterCount) << letter;
    }
    const std::vector<std::string> paths = {"/dev/sg1", "/dev/sdc"};
    EXPECT_EQ(ListedPathForLetter(paths, 'C'), "/dev/sg1");
    EXPECT_EQ(ListedPathForLetter(paths, 'D'), "/dev/sdc");
    EXPECT_EQ(ListedPathForLetter(paths, 'E'), "");
    EXPECT_EQ(ListedPathForLetter(paths, 'B'), "");
}

TEST(DeviceLettersTest, WholeDisksMapByTheirName) {
    const struct {
        const char* name;
        char letter;
    } cases[] = {{"sda", 'C'}, {"sdb", 'D'}, {"sdx", 'Z'},   {"sdy", 0}, {"sdz", 0}, {"sda1", 0},
                 {"sdaa", 0},  {"sg0", 0},   {"nvme0n1", 0}, {"sd", 0},  {"sdA", 0}, {"", 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(LetterForDiskName(c.name), c.letter) << c.name;
        if (c.letter != 0) {
            EXPECT_EQ(DiskNameForLetter(c.letter), c.name);
        }
    }
    EXPECT_EQ(DiskNameForLetter('B'), "");
    EXPECT_EQ(DiskNameForLetter(0), "");
}

} // namespace
