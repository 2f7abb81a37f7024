#include "fingerprint/text_format.h"

#include <string>

#include "app/start_settings.h"
#include "i18n/message_table.h"

void FormatArg::AppendTo(std::u16string& out, char16_t conversion) const {
    if (!m_isNumber) {
        out += m_text;
        return;
    }
    if (conversion == u'c') {
        out += static_cast<char16_t>(m_number);
        return;
    }
    for (const char digit : std::to_string(m_number)) {
        out += static_cast<char16_t>(digit);
    }
}

std::u16string FormatText(std::u16string_view format, std::initializer_list<FormatArg> args) {
    std::u16string out;
    auto next = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char16_t c = format[i];
        if (c != u'%' || i + 1 == format.size()) {
            out += c;
            continue;
        }
        const char16_t conversion = format[++i];
        switch (conversion) {
        case u'd':
        case u's':
        case u'S':
        case u'c':
            if (next != args.end()) {
                next->AppendTo(out, conversion);
                ++next;
            }
            break;
        case u'%':
            out += u'%';
            break;
        default: // not a conversion: kept as written
            out += c;
            out += conversion;
        }
    }
    return out;
}

std::u16string MessageText(int number) {
    const char16_t* text = GetText(number);
    return text ? std::u16string(text) : std::u16string();
}

const std::u16string& CurrentMessage::Text() {
    if (m_language != g_language) {
        m_language = g_language;
        m_text = MessageText(m_number);
    }
    return m_text;
}
