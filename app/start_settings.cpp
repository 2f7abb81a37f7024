#include "app/start_settings.h"

#include <algorithm>

char16_t g_settingsPath[kSettingsPathUnits] = {};
int g_language = 0;

void BuildSettingsPath(std::u16string_view directory, std::size_t reportedLength,
                       char16_t separator) {
    // The system reports the needed length, not the copied one, when the directory does
    // not fit the buffer; then the buffer holds nothing usable and the directory part
    // stays empty, as after a failed call (the settings file is then looked for at the
    // root of the current drive).
    std::u16string dir;
    if (reportedLength > 0 && reportedLength < kWorkingDirectoryUnits &&
        reportedLength <= directory.size()) {
        dir.assign(directory.substr(0, reportedLength));
    }
    const std::size_t n = dir.size();
    if (n > 2 && dir[n - 1] == separator && dir[n - 2] != u':') {
        dir.pop_back();
    }
    std::u16string path = dir + separator + kSettingsFileName;
    // 255 directory units + separator + file name always fit the 512-unit buffer.
    const std::size_t units = std::min(path.size(), kSettingsPathUnits - 1);
    std::fill(std::begin(g_settingsPath), std::end(g_settingsPath), u'\0');
    std::copy_n(path.begin(), units, g_settingsPath);
}

void ChooseStartLanguage(const ILocale& locale, const ISettingsStore& settings) {
    const std::u16string name = locale.AbbreviatedLanguageName();
    int language = 0;
    if (name == u"CHS") {
        language = 1;
    } else if (name == u"CHT") {
        language = 2;
    }
    g_language = language;
    // A stored value wins unconditionally, in or out of range.
    g_language = settings.ReadInt(kSettingsSection, kLanguageKey, g_language, g_settingsPath);
}
