#include "app/settings_file.h"


#include "app/small_file.h"

SettingsFile ReadSettingsFile(const std::u16string& path, std::string* text) {
    std::string content;
    std::string error;
    switch (ReadSmallFile(NativePathFromUtf16(path), kMaxSettingsFileBytes, content, error)) {
    case SmallFileResult::Read:
        if (text != nullptr) {
            *text = std::move(content);
        }
        return SettingsFile::Readable;
    case SmallFileResult::Missing:
        return SettingsFile::Missing;
    default:
        return SettingsFile::Refused;
    }
}
