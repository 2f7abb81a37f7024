// The abbreviated language name for a POSIX locale name ("zh_TW.UTF-8" and the like).
#pragma once

#include <string>
#include <string_view>

// zh_CN and zh_SG give "CHS"; zh_TW, zh_HK and zh_MO give "CHT"; any other locale gives
// its language part in capitals ("de_DE.UTF-8" gives "DE"), which selects English.
std::u16string AbbreviationForPosixLocale(std::string_view locale);
// The locale that governs messages: LC_ALL, else LC_MESSAGES, else LANG (first non-empty).
std::string MessagesLocaleFromEnvironment();
