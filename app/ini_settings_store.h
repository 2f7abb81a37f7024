// The settings file outside Windows: a small INI reader and writer with the observable
// behaviour of the Windows private-profile calls. Writes go to a temporary file that is
// renamed over the old one, so a crash never leaves a half-written file.
#pragma once

#include <string>
#include <string_view>

#include "app/settings_store.h"

class IniSettingsStore final : public ISettingsStore {
public:
    int ReadInt(const std::u16string& section, const std::u16string& key, int defaultValue,
                const std::u16string& path) const override;
    void WriteString(const std::u16string& section, const std::u16string& key,
                     const std::u16string& value, const std::u16string& path) override;
};

// The pure parts, for tests and fuzzing: the value of section/key in INI text (UTF-8),
// and the text with section/key set to value.
bool FindIniValue(std::string_view text, std::string_view section, std::string_view key,
                  std::string& value);
std::string SetIniValue(std::string_view text, std::string_view section, std::string_view key,
                        std::string_view value);
// What the profile calls make of a value text: optional blanks, optional sign, decimal
// digits; no digits gives 0, an empty value gives `defaultValue`.
int ParseProfileInt(std::string_view value, int defaultValue);
