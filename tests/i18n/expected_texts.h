// Reference texts of the built-in string files, kept apart from the files themselves.
#pragma once

#include "i18n/built_in_strings.h"

// kExpectedTexts[language][number]: message `number` of language `language`.
extern const char16_t* const kExpectedTexts[kLanguageCount][kMessageCount];
// kExpectedNames[k]: message kLanguageNameBase + k.
extern const char16_t* const kExpectedNames[kLanguageCount];
