// The embedded files as the parser sees them: layout, entry count and quote marks.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/built_in_strings.h"

namespace {

std::u16string_view Units(const StringFileData& file) {
    return {file.units, file.lengthBytes / sizeof(char16_t)};
}

bool IsQuoteMark(char16_t unit) {
    return std::u16string_view(u"\u0022\u00AB\u00BB\u201C\u201D\u201E").find(unit) !=
           std::u16string_view::npos;
}

std::vector<std::u16string_view> Lines(std::u16string_view text) {
    std::vector<std::u16string_view> lines;
    for (std::size_t end; (end = text.find(u"\r\n")) != std::u16string_view::npos;) {
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end + 2);
    }
    EXPECT_TRUE(text.empty()) << "the last line lacks its CR LF";
    return lines;
}

struct NamedFile {
    const char* name;
    const StringFileData& data;
    int entries;
};

std::vector<NamedFile> AllFiles() {
    std::vector<NamedFile> files;
    for (int language = 0; language < kLanguageCount; ++language) {
        files.push_back({"string file", kStringFiles[language], kMessageCount});
    }
    files.push_back({"language names", kLanguageNameFile, kLanguageCount});
    return files;
}

// Byte-order mark, CR LF line ends, "//" comments on top, then one entry per line as
// <mark>text<mark>,<tabs>// N, ... with a blank line before entries 10, 20 and 30.
TEST(BuiltInStrings, FileLayout) {
    int index = 0;
    for (const NamedFile& file : AllFiles()) {
        SCOPED_TRACE(std::string(file.name) + " " + std::to_string(index++));
        ASSERT_EQ(file.data.lengthBytes % 2, 0u);
        std::u16string_view text = Units(file.data);
        // The length covers the whole text and nothing after it.
        EXPECT_EQ(std::char_traits<char16_t>::length(file.data.units), text.size());
        ASSERT_FALSE(text.empty());
        ASSERT_EQ(text[0], u'\uFEFF');
        text.remove_prefix(1);
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == u'\r') {
                ASSERT_TRUE(i + 1 < text.size() && text[i + 1] == u'\n') << "CR alone at " << i;
            } else if (text[i] == u'\n') {
                ASSERT_TRUE(i > 0 && text[i - 1] == u'\r') << "LF alone at " << i;
            }
        }

        const auto lines = Lines(text);
        std::size_t line = 0;
        ASSERT_LT(line, lines.size());
        ASSERT_TRUE(lines[0].starts_with(u"//")) << "the file opens with a comment";
        while (line < lines.size() && lines[line].starts_with(u"//")) {
            ++line;
        }
        for (int entry = 0; entry < file.entries; ++entry, ++line) {
            if (entry > 0 && entry % 10 == 0) {
                ASSERT_LT(line, lines.size());
                EXPECT_TRUE(lines[line].empty()) << "blank line before entry " << entry;
                ++line;
            }
            ASSERT_LT(line, lines.size()) << "entry " << entry << " missing";
            const std::u16string_view row = lines[line];
            ASSERT_TRUE(!row.empty() && IsQuoteMark(row[0])) << "entry " << entry;
            std::size_t close = 1;
            while (close < row.size() && !IsQuoteMark(row[close])) {
                ++close;
            }
            ASSERT_LT(close, row.size()) << "entry " << entry << " not closed on its line";
            std::u16string_view rest = row.substr(close + 1);
            ASSERT_TRUE(rest.starts_with(u",\t")) << "entry " << entry;
            rest.remove_prefix(rest.find_first_not_of(u",\t"));
            const std::string number = std::to_string(entry);
            const std::u16string comment =
                u"// " + std::u16string(number.begin(), number.end()) + u",";
            EXPECT_TRUE(rest.starts_with(comment)) << "entry " << entry;
            EXPECT_EQ(std::count_if(rest.begin(), rest.end(), IsQuoteMark), 0)
                << "quote mark in the comment of entry " << entry;
        }
        EXPECT_EQ(line, lines.size()) << "lines after the last entry";
        EXPECT_EQ(std::count_if(text.begin(), text.end(), IsQuoteMark), 2 * file.entries);
    }
}

// The marks around `text` in `file`, which must hold it exactly once.
std::u16string MarksAround(const StringFileData& file, std::u16string_view text) {
    const std::u16string_view units = Units(file);
    const std::size_t at = units.find(text);
    if (at == std::u16string_view::npos || at == 0 || at + text.size() >= units.size() ||
        units.find(text, at + 1) != std::u16string_view::npos) {
        return u"<not found once>";
    }
    return {units[at - 1], units[at + text.size()]};
}

TEST(BuiltInStrings, EntriesMixTheQuoteMarks) {
    EXPECT_EQ(MarksAround(kLanguageNameFile, u"繁體中文"), u"\u201C\u201C");
    EXPECT_EQ(MarksAround(kLanguageNameFile, u"العربية"), u"\u201C\"");
    EXPECT_EQ(MarksAround(kStringFiles[4],
                          u"\u00A0### Entrée d'empreintes digitales autorisée a omis ###"),
              u"\u00AB\"");

    // All six marks occur in the built-in data.
    for (char16_t mark : u"\u0022\u00AB\u00BB\u201C\u201D\u201E") {
        if (mark == u'\0') {
            continue;
        }
        bool found = false;
        for (const NamedFile& file : AllFiles()) {
            found = found || Units(file.data).find(mark) != std::u16string_view::npos;
        }
        EXPECT_TRUE(found) << "mark U+" << std::hex << static_cast<int>(mark);
    }
}

} // namespace
