#include "app/utf_convert.h"

#include <gtest/gtest.h>

namespace {

TEST(UtfConvert, RoundTripsEveryScriptOfTheMessageTable) {
    const std::u16string samples[] = {u"English", u"繁體中文", u"русском", u"العربية",
                                      u"อักษรไทย", u"tiếng Việt", u"\u00A0«»„“”", u"\U0001F600"};
    for (const std::u16string& text : samples) {
        EXPECT_EQ(ToUtf16(ToUtf8(text)), text);
    }
    EXPECT_EQ(ToUtf8(u"\u00E9"), "\xC3\xA9");
}

TEST(UtfConvert, InvalidInputBecomesReplacementCharacters) {
    EXPECT_EQ(ToUtf16("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(ToUtf16("\xE2\x82"), u"\uFFFD\uFFFD");  // truncated sequence at the end
    EXPECT_EQ(ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong
    EXPECT_EQ(ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
    EXPECT_EQ(ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

}  // namespace
