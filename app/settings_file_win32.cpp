#include "app/settings_file.h"

#include <windows.h>

SettingsFile ReadSettingsFile(const std::u16string& path, std::string* text) {
    const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? SettingsFile::Missing
                   : SettingsFile::Refused;
    }
    SettingsFile state = SettingsFile::Refused;
    LARGE_INTEGER size{};
    // A disk file (no device, pipe or console) of a sane size.
    if (GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size) && size.QuadPart >= 0 &&
        static_cast<std::uintmax_t>(size.QuadPart) <= kMaxSettingsFileBytes) {
        state = SettingsFile::Readable;
        if (text != nullptr) {
            std::string content(static_cast<std::size_t>(size.QuadPart), '\0');
            DWORD got = 0;
            if (!content.empty() && (!ReadFile(file, content.data(),
                                               static_cast<DWORD>(content.size()), &got, nullptr) ||
                                     got != content.size())) {
                state = SettingsFile::Refused;
            } else {
                *text = std::move(content);
            }
        }
    }
    CloseHandle(file);
    return state;
}
