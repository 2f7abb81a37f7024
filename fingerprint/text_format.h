// printf-style formatting of the UTF-16 texts the operations show: %d (int), %s and %S
// (text), %c (one character) and %%. A missing argument formats as nothing.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "i18n/message_table.h"

class FormatArg {
  public:
    FormatArg(int number) : m_number(number), m_isNumber(true) {}
    FormatArg(std::u16string_view text) : m_text(text) {}
    FormatArg(const std::u16string& text) : m_text(text) {}
    // A message table entry; null (no entry) formats as an empty text.
    FormatArg(const char16_t* text) : m_text(text ? std::u16string_view(text) : u"") {}

    void AppendTo(std::u16string& out, char16_t conversion) const;

  private:
    std::u16string_view m_text;
    int m_number = 0;
    bool m_isNumber = false;
};

std::u16string FormatText(std::u16string_view format, std::initializer_list<FormatArg> args);

// Message `number` of the current language, empty when it has no entry.
std::u16string MessageText(int number);

// A message the polling loops show on every cycle: looked up again only when the language
// has changed since the last lookup, so the text always matches the current language
// without scanning the string file on each cycle.
class CurrentMessage {
  public:
    explicit CurrentMessage(int number) : m_number(number) {}
    const std::u16string& Text();

  private:
    int m_number;
    std::optional<int> m_language;
    std::u16string m_text;
};
