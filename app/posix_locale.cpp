#include "app/posix_locale.h"

#include <cstdlib>

#include "app/utf_convert.h"

std::u16string AbbreviationForPosixLocale(std::string_view locale) {
    const std::string_view name = locale.substr(0, locale.find_first_of(".@"));
    for (const std::string_view simplified : {"zh_CN", "zh_SG"}) {
        if (name == simplified) {
            return u"CHS";
        }
    }
    for (const std::string_view traditional : {"zh_TW", "zh_HK", "zh_MO"}) {
        if (name == traditional) {
            return u"CHT";
        }
    }
    std::string language(name.substr(0, name.find('_')));
    for (char& c : language) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 32);
        }
    }
    return ToUtf16(language);
}

std::string MessagesLocaleFromEnvironment() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return {};
}
