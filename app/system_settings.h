// The platform's settings file, locale and current directory, behind the seams.
#pragma once

#include <memory>

#include "app/settings_store.h"

std::unique_ptr<ISettingsStore> CreateSystemSettingsStore();
std::unique_ptr<ILocale> CreateSystemLocale();
// Builds g_settingsPath from the process's current directory (once, at start).
void InitialiseSettingsPath();
