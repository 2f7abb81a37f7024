#include "cli/drive_text.h"

#include "app/utf_convert.h"

namespace {

bool PrintableAscii(unsigned char byte) {
    return byte >= 0x20 && byte <= 0x7E;
}

std::string HexEscape(unsigned value) {
    constexpr char kDigits[] = "0123456789abcdef";
    return {'\\', 'x', kDigits[(value >> 4) & 0xF], kDigits[value & 0xF]};
}

} // namespace

std::string EscapeDriveBytes(std::string_view bytes) {
    std::string shown;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\\') {
            shown += "\\\\";
        } else if (PrintableAscii(byte)) {
            shown += c;
        } else {
            shown += HexEscape(byte);
        }
    }
    return shown;
}

std::string ReplaceDriveBytes(std::string_view bytes) {
    std::string shown;
    for (const char c : bytes) {
        shown += PrintableAscii(static_cast<unsigned char>(c)) ? std::string(1, c) : "\xEF\xBF\xBD";
    }
    return shown;
}

std::string TerminalText(std::u16string_view text) {
    std::u16string safe;
    for (const char16_t unit : text) {
        if (unit < 0x20 || (unit >= 0x7F && unit <= 0x9F)) {
            for (const char c : HexEscape(unit))
                safe += static_cast<char16_t>(c);
        } else {
            safe += unit;
        }
    }
    return ToUtf8(safe);
}
