// The program's texts as the window tests expect them: a message in a language, the status
// line's counts, and UTF-8 for the test's own messages.
#pragma once

#include <string>

// Message `number` in language `language`.
std::wstring Text(int number, int language = 0);
// The status line for `installed` fingerprints and `free` slots.
std::wstring Counts(int installed, int free, int language = 0);
std::string Utf8(const std::wstring& text);
