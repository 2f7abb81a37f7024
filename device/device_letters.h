// Drive letters for platforms whose devices have no letters of their own. Letters start
// at 'C', like the first fixed volume of Windows, so the drive search runs unchanged:
// - explicit device lists: the i-th path is drive 'C' + i;
// - whole disks named by the kernel: "sda" is 'C', "sdb" 'D', ... "sdx" 'Z'. The letter
//   follows the name alone, so it does not move when another disk comes or goes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

inline constexpr char kFirstDeviceLetter = 'C';
inline constexpr std::size_t kDeviceLetterCount = 'Z' - kFirstDeviceLetter + 1; // 24

// 'C' + index, or 0 when the index lies past 'Z'.
char LetterForListIndex(std::size_t index);
// Index into an explicit list for `letter`, or kDeviceLetterCount when it has none.
std::size_t ListIndexForLetter(char letter);
// The path of `letter` in an explicit list, empty when the list has none for it.
std::string ListedPathForLetter(const std::vector<std::string>& paths, char letter);

// Letter of a whole-disk name "sda".."sdx"; 0 for partitions ("sda1"), longer names
// ("sdaa") and anything else.
char LetterForDiskName(std::string_view name);
// The whole-disk name of `letter` ("sda" for 'C'), empty when the letter has none.
std::string DiskNameForLetter(char letter);
