#include "device/device_letters.h"

char LetterForListIndex(std::size_t index) {
    return index < kDeviceLetterCount ? static_cast<char>(kFirstDeviceLetter + index) : 0;
}

std::size_t ListIndexForLetter(char letter) {
    if (letter < kFirstDeviceLetter || letter > 'Z') {
        return kDeviceLetterCount;
    }
    return static_cast<std::size_t>(letter - kFirstDeviceLetter);
}

std::string ListedPathForLetter(const std::vector<std::string>& paths, char letter) {
    const std::size_t index = ListIndexForLetter(letter);
    return index < paths.size() ? paths[index] : std::string();
}

char LetterForDiskName(std::string_view name) {
    if (name.size() != 3 || name.substr(0, 2) != "sd" || name[2] < 'a') {
        return 0;
    }
    return LetterForListIndex(static_cast<std::size_t>(name[2] - 'a'));
}

std::string DiskNameForLetter(char letter) {
    const std::size_t index = ListIndexForLetter(letter);
    if (index == kDeviceLetterCount) {
        return {};
    }
    return std::string("sd") + static_cast<char>('a' + index);
}
