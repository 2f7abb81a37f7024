#include "window_texts.h"

#include <windows.h>

#include "app/start_settings.h"
#include "i18n/message_table.h"

std::wstring Text(int number, int language) {
    const int saved = g_language;
    g_language = language;
    const std::wstring text = reinterpret_cast<const wchar_t*>(GetText(number));
    g_language = saved;
    return text;
}

std::wstring Counts(int installed, int free, int language) {
    return Text(11, language) + L":" + std::to_wstring(installed) + L", " + Text(12, language) +
           L":" + std::to_wstring(free);
}

std::string Utf8(const std::wstring& text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(),
                          size, nullptr, nullptr);
    return bytes;
}
