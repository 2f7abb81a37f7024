#include "device/system_error_text_win32.h"

#include <windows.h>

#include <iterator>

std::string SystemErrorText(unsigned long code) {
    wchar_t text[512] = {};
    int units = static_cast<int>(
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       text, static_cast<DWORD>(std::size(text)), nullptr));
    while (units > 0 &&
           (text[units - 1] == L'\n' || text[units - 1] == L'\r' || text[units - 1] == L' ')) {
        --units;
    }
    std::string message;
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
    if (bytes > 0) {
        message.resize(static_cast<std::size_t>(bytes));
        WideCharToMultiByte(CP_UTF8, 0, text, units, message.data(), bytes, nullptr, nullptr);
    }
    const std::string number = "error " + std::to_string(code);
    return message.empty() ? number : number + " (" + message + ")";
}
