// UTF-8 <-> UTF-16 conversion at the edges (files, terminals, sockets). Invalid input
// becomes U+FFFD rather than being dropped silently.
#pragma once

#include <string>
#include <string_view>

std::string ToUtf8(std::u16string_view text);
std::u16string ToUtf16(std::string_view text);
