// Start-up settings: the settings file's path and the language chosen at start.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "app/settings_store.h"

// Units of the working-directory buffer handed to the system at start.
inline constexpr std::size_t kWorkingDirectoryUnits = 256;
// Units of g_settingsPath.
inline constexpr std::size_t kSettingsPathUnits = 512;

inline constexpr char16_t kSettingsFileName[] = u"KV_Tessalok.ini";
inline constexpr char16_t kSettingsSection[] = u"Advance";
inline constexpr char16_t kLanguageKey[] = u"Language";

// Full path of the settings file, zero-terminated; built once at start.
extern char16_t g_settingsPath[kSettingsPathUnits];
// Current language index; 0 to 12 are meaningful, anything else shows English.
extern int g_language;

// Builds g_settingsPath from what the system reported for the current directory:
// `directory` holds the buffer's content and `reportedLength` the length the system
// returned (0 on failure; more than the buffer can hold when the directory did not fit,
// in which case the directory part is left empty). A trailing backslash is dropped
// unless it follows a drive colon. `separator` joins directory and file name.
void BuildSettingsPath(std::u16string_view directory, std::size_t reportedLength,
                       char16_t separator = u'\\');

// The start-language rule: "CHS" gives 1, "CHT" gives 2, anything else 0 (exact,
// case-sensitive); a value stored under Advance/Language then wins unconditionally.
void ChooseStartLanguage(const ILocale& locale, const ISettingsStore& settings);
