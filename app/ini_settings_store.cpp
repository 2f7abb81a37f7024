#include "app/ini_settings_store.h"

#include <limits>
#include <vector>

#include "app/settings_file.h"
#include "app/small_file.h"
#include "app/utf_convert.h"

namespace {

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return lines;
}

// "[name]" gives name; anything else is not a section header.
bool SectionName(std::string_view line, std::string_view& name) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[') {
        return false;
    }
    const std::size_t close = line.find(']');
    if (close == std::string_view::npos) {
        return false;
    }
    name = Trim(line.substr(1, close - 1));
    return true;
}

bool KeyLine(std::string_view line, std::string_view& key, std::string_view& value) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return false;
    }
    key = Trim(line.substr(0, equals));
    value = Trim(line.substr(equals + 1));
    return true;
}

} // namespace

bool FindIniValue(std::string_view text, std::string_view section, std::string_view key,
                  std::string& value) {
    bool inSection = false;
    for (const std::string_view line : SplitLines(text)) {
        std::string_view name;
        std::string_view lineKey;
        std::string_view lineValue;
        if (SectionName(line, name)) {
            inSection = EqualsIgnoringCase(name, section);
        } else if (inSection && KeyLine(line, lineKey, lineValue) &&
                   EqualsIgnoringCase(lineKey, key)) {
            value.assign(lineValue);
            return true;
        }
    }
    return false;
}

std::string SetIniValue(std::string_view text, std::string_view section, std::string_view key,
                        std::string_view value) {
    std::string entry(key);
    entry.append("=").append(value);
    std::string out;
    bool inSection = false;
    bool sectionSeen = false;
    bool written = false;
    std::size_t lastLineOfSection = 0;
    std::vector<std::string> result;
    for (const std::string_view line : SplitLines(text)) {
        std::string_view name;
        std::string_view lineKey;
        std::string_view lineValue;
        if (SectionName(line, name)) {
            inSection = !written && EqualsIgnoringCase(name, section);
            sectionSeen = sectionSeen || inSection;
            result.emplace_back(line);
            if (inSection) {
                lastLineOfSection = result.size();
            }
            continue;
        }
        if (inSection && !written && KeyLine(line, lineKey, lineValue) &&
            EqualsIgnoringCase(lineKey, key)) {
            result.push_back(entry);
            written = true;
            continue;
        }
        result.emplace_back(line);
        if (inSection && !Trim(line).empty()) {
            lastLineOfSection = result.size();
        }
    }
    if (!written && sectionSeen) {
        result.insert(result.begin() + static_cast<std::ptrdiff_t>(lastLineOfSection), entry);
        written = true;
    }
    if (!written) {
        if (!result.empty()) {
            result.emplace_back(); // a blank line before the new section
        }
        std::string header("[");
        header.append(section).append("]");
        result.push_back(std::move(header));
        result.push_back(entry);
    }
    for (const std::string& line : result) {
        out += line;
        out += '\n';
    }
    return out;
}

int ParseProfileInt(std::string_view value, int defaultValue) {
    value = Trim(value);
    if (value.empty()) {
        return defaultValue;
    }
    bool negative = false;
    std::size_t i = 0;
    if (value[0] == '-' || value[0] == '+') {
        negative = value[0] == '-';
        ++i;
    }
    long long number = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        number = number * 10 + (value[i] - '0');
        if (number > std::numeric_limits<int>::max()) {
            number = std::numeric_limits<int>::max(); // saturate rather than overflow
        }
    }
    return static_cast<int>(negative ? -number : number);
}

int IniSettingsStore::ReadInt(const std::u16string& section, const std::u16string& key,
                              int defaultValue, const std::u16string& path) const {
    std::string text;
    std::string value;
    if (ReadSettingsFile(path, &text) != SettingsFile::Readable ||
        !FindIniValue(text, ToUtf8(section), ToUtf8(key), value)) {
        return defaultValue;
    }
    return ParseProfileInt(value, defaultValue);
}

void IniSettingsStore::WriteString(const std::u16string& section, const std::u16string& key,
                                   const std::u16string& value, const std::u16string& path) {
    std::string text;
    if (ReadSettingsFile(path, &text) == SettingsFile::Refused) {
        return; // not a settings file: left as it is, like any write failure
    }
    const std::string updated = SetIniValue(text, ToUtf8(section), ToUtf8(key), ToUtf8(value));
    std::string error;
    // Write failures are not reported; the old file stays intact.
    WriteFileAtomically(NativePathFromUtf16(path), updated, error);
}
