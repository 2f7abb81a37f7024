#include <windows.h>

#include "app/settings_file.h"
#include "app/start_settings.h"
#include "app/system_settings.h"

namespace {

const wchar_t* Wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

class ProfileSettingsStore final : public ISettingsStore {
  public:
    int ReadInt(const std::u16string& section, const std::u16string& key, int defaultValue,
                const std::u16string& path) const override {
        // The profile calls read whatever the path names, to its end.
        if (ReadSettingsFile(path, nullptr) != SettingsFile::Readable) {
            return defaultValue;
        }
        return static_cast<int>(
            GetPrivateProfileIntW(Wide(section), Wide(key), defaultValue, Wide(path)));
    }
    void WriteString(const std::u16string& section, const std::u16string& key,
                     const std::u16string& value, const std::u16string& path) override {
        if (ReadSettingsFile(path, nullptr) == SettingsFile::Refused) {
            return; // not a settings file: left as it is, like any write failure
        }
        WritePrivateProfileStringW(Wide(section), Wide(key), Wide(value), Wide(path));
    }
};

class SystemLocale final : public ILocale {
  public:
    std::u16string AbbreviatedLanguageName() const override {
        const int units = GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_SABBREVLANGNAME, nullptr, 0);
        if (units <= 0) {
            return {};
        }
        std::u16string name(static_cast<std::size_t>(units), u'\0');
        const int copied = GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_SABBREVLANGNAME,
                                          reinterpret_cast<wchar_t*>(name.data()), units);
        name.resize(copied > 0 ? static_cast<std::size_t>(copied - 1) : 0);
        return name;
    }
};

} // namespace

std::unique_ptr<ISettingsStore> CreateSystemSettingsStore() {
    return std::make_unique<ProfileSettingsStore>();
}

std::unique_ptr<ILocale> CreateSystemLocale() {
    return std::make_unique<SystemLocale>();
}

void InitialiseSettingsPath() {
    wchar_t directory[kWorkingDirectoryUnits] = {};
    const DWORD length = GetCurrentDirectoryW(kWorkingDirectoryUnits, directory);
    BuildSettingsPath(
        std::u16string_view(reinterpret_cast<const char16_t*>(directory), kWorkingDirectoryUnits),
        length);
}
