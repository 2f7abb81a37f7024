// Bytes and texts that come from the drive, made safe to show. A drive's identity or
// model is ASCII; anything else in it must never reach a terminal as a control sequence
// (ESC c resets it) or a JSON writer as invalid UTF-8.
#pragma once

#include <string>
#include <string_view>

// Printable ASCII as it is, a backslash as "\\", every other byte as "\xNN".
std::string EscapeDriveBytes(std::string_view bytes);
// Printable ASCII as it is, every other byte as U+FFFD (UTF-8), for JSON.
std::string ReplaceDriveBytes(std::string_view bytes);
// A text the window would show (messages, the status line with the drive's identity), in
// UTF-8 for the terminal: control characters (C0, DEL, C1) as "\xNN", the rest as it is.
std::string TerminalText(std::u16string_view text);
