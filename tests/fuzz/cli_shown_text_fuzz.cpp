// What the command line makes of outside bytes: a drive's identity shown escaped or
// replaced, a window text for the terminal, a --vdrive value. No crash, and nothing that
// could steer a terminal (a control byte) or break a JSON writer (invalid UTF-8) comes out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/utf_convert.h"
#include "cli/cli_options.h"
#include "cli/drive_text.h"

namespace {

bool HasControlByte(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return true;
    }
    return false;
}

void Require(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const std::string escaped = EscapeDriveBytes(bytes);
    for (const char c : escaped)
        Require(c >= 0x20 && c <= 0x7E);

    const std::string replaced = ReplaceDriveBytes(bytes);
    Require(!HasControlByte(replaced));
    Require(ToUtf8(ToUtf16(replaced)) == replaced); // valid UTF-8 survives the round trip

    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        units += static_cast<char16_t>(data[i] | data[i + 1] << 8);
    const std::string shown = TerminalText(units);
    Require(!HasControlByte(shown));
    // C1 controls (U+0080..U+009F) are escaped too: in UTF-8 they are C2 80..C2 9F.
    for (std::size_t i = 0; i + 1 < shown.size(); ++i)
        Require(!(static_cast<unsigned char>(shown[i]) == 0xC2 &&
                  static_cast<unsigned char>(shown[i + 1]) >= 0x80 &&
                  static_cast<unsigned char>(shown[i + 1]) <= 0x9F));

    if (const auto hostPort = ParseHostPort(bytes)) {
        Require(!hostPort->first.empty() && hostPort->second != 0);
    }
    return 0;
}
