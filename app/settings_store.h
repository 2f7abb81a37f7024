// Seams for the settings file and the system locale.
#pragma once

#include <string>

// The private-profile settings file. Windows uses the system's profile calls; elsewhere
// an INI file with the same observable behaviour (IniSettingsStore).
class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;
    // Decimal value (optional sign) of `key` in `section` of the file at `path`;
    // section and key match without regard to letter case; `defaultValue` when absent.
    virtual int ReadInt(const std::u16string& section, const std::u16string& key,
                        int defaultValue, const std::u16string& path) const = 0;
    // Writes `key`=`value` in `section`, creating file and section when missing and
    // replacing an earlier value. Failures are not reported.
    virtual void WriteString(const std::u16string& section, const std::u16string& key,
                             const std::u16string& value, const std::u16string& path) = 0;
};

// The system default locale's abbreviated language name ("ENU", "CHS", "CHT", ...).
class ILocale {
public:
    virtual ~ILocale() = default;
    virtual std::u16string AbbreviatedLanguageName() const = 0;
};
