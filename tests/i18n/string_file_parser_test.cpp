#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "i18n/message_table.h"

namespace {

std::vector<std::uint8_t> Utf16le(std::u16string_view text) {
    std::vector<std::uint8_t> bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

// Entry `entry` of `file` as a string; "<null>" when there is none.
std::u16string Entry(const std::vector<std::uint8_t>& file, int entry,
                     std::size_t lengthBytes = SIZE_MAX) {
    const std::size_t length = lengthBytes == SIZE_MAX ? file.size() : lengthBytes;
    const char16_t* text = ParseStringFile(file.data(), length, entry);
    return text == nullptr ? u"<null>" : std::u16string(text);
}

TEST(ParseStringFile, EveryQuoteMarkOpensAndClosesAlike) {
    const auto file = Utf16le(u"\uFEFF// head\r\n"
                              u"\"zero\",\t// 0\r\n"
                              u"\u00ABone\u00BB,\t// 1\r\n"
                              u"\u201Ctwo\u201D,\t// 2\r\n"
                              u"\u201Ethree\u201C,\t// 3\r\n"
                              u"\u201Cfour\u201C,\t// 4\r\n"
                              u"\u201Dfive\",\t// 5\r\n"
                              u"\u00BBsix\u00AB,\t// 6\r\n"
                              u"\"\",\t// 7\r\n");
    const std::u16string expected[] = {u"zero", u"one",  u"two", u"three",
                                       u"four", u"five", u"six", u""};
    for (int entry = 0; entry < 8; ++entry) {
        EXPECT_EQ(Entry(file, entry), expected[entry]) << "entry " << entry;
    }
    EXPECT_EQ(Entry(file, 8), u"<null>");
}

TEST(ParseStringFile, NumbersWithoutAnEntryGiveNull) {
    const auto file = Utf16le(u"\"a\" \"b\"");
    for (int entry : {-1, 2, 3, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()}) {
        EXPECT_EQ(ParseStringFile(file.data(), file.size(), entry), nullptr) << entry;
    }
    EXPECT_EQ(ParseStringFile(nullptr, 0, 0), nullptr);
    EXPECT_EQ(ParseStringFile(file.data(), 0, 0), nullptr);
}

TEST(ParseStringFile, UnitsAreReadLittleEndian) {
    // 1C 20 is U+201C; 00 22 is U+2200, a text unit although one byte is 0x22.
    const std::vector<std::uint8_t> file = {0x1C, 0x20, 0x00, 0x22, 0x41, 0x00, 0x1D, 0x20};
    EXPECT_EQ(Entry(file, 0), u"\u2200A");
}

TEST(ParseStringFile, TextIsCutAt255Units) {
    struct Case {
        std::size_t textUnits;
        bool closed;
        std::size_t expectedUnits;
    };
    const Case cases[] = {
        {254, true, 254}, {255, true, 255}, {256, true, 255}, {300, true, 255}, {300, false, 255},
    };
    for (const Case& c : cases) {
        std::u16string source = u"\"" + std::u16string(c.textUnits, u'x');
        if (c.closed) {
            source += u"\",\t// 0\r\n\"next\"";
        }
        const auto file = Utf16le(source);
        EXPECT_EQ(Entry(file, 0), std::u16string(c.expectedUnits, u'x'))
            << c.textUnits << " units, closed " << c.closed;
        // The cut does not change which marks open the later entries.
        if (c.closed) {
            EXPECT_EQ(Entry(file, 1), u"next");
        }
    }
}

TEST(ParseStringFile, EntryOpenAtTheEndOfTheFileEndsThere) {
    auto file = Utf16le(u"// broken\r\n\"one\",\r\n\u201Ctwo\r\n");
    EXPECT_EQ(Entry(file, 0), u"one");
    EXPECT_EQ(Entry(file, 1), u"two\r\n");
    EXPECT_EQ(Entry(file, 2), u"<null>");

    // Bytes past the given length are not part of the file, quote marks included.
    file = Utf16le(u"\"ab\"\"cd\"");
    const std::size_t upToC = 2 * 6; // "ab""c
    EXPECT_EQ(Entry(file, 1, upToC), u"c");
    EXPECT_EQ(Entry(file, 0, 2 * 3), u"ab");
}

TEST(ParseStringFile, OddLengthDropsTheLastByte) {
    const auto file = Utf16le(u"\"ab\"\"c\"");
    // 7 bytes: units " a b and the low byte of the closing mark.
    EXPECT_EQ(Entry(file, 0, 7), u"ab");
    EXPECT_EQ(Entry(file, 0, 9), u"ab");
    EXPECT_EQ(Entry(file, 1, 13), u"c");
    EXPECT_EQ(Entry(file, 0, 1), u"<null>");
    EXPECT_EQ(Entry(file, 0, 3), u"");
}

TEST(ParseStringFile, EleventhResultReusesTheFirstBuffer) {
    const auto file = Utf16le(u"\"a long first text\" \"b\"");
    const char16_t* first = ParseStringFile(file.data(), file.size(), 0);
    ASSERT_NE(first, nullptr);
    std::vector<const char16_t*> results = {first};
    for (int i = 1; i < 10; ++i) {
        const char16_t* text = ParseStringFile(file.data(), file.size(), 1);
        EXPECT_EQ(std::find(results.begin(), results.end(), text), results.end()) << i;
        results.push_back(text);
    }
    EXPECT_EQ(std::u16string(first), u"a long first text");

    const char16_t* eleventh = ParseStringFile(file.data(), file.size(), 1);
    EXPECT_EQ(eleventh, first);
    EXPECT_EQ(std::u16string(eleventh), u"b");
    for (int unit = 1; unit < 512; ++unit) {
        ASSERT_EQ(eleventh[unit], u'\0') << unit;
    }
}

TEST(ParseStringFile, FailedLookupDoesNotAdvanceTheRing) {
    const auto file = Utf16le(u"\"a\" \"b\"");
    const char16_t* first = ParseStringFile(file.data(), file.size(), 0);
    ASSERT_NE(first, nullptr);
    for (int i = 1; i < 10; ++i) {
        ASSERT_NE(ParseStringFile(file.data(), file.size(), 1), nullptr);
        EXPECT_EQ(ParseStringFile(file.data(), file.size(), 2), nullptr);
    }
    // The failed call still clears the buffer at the ring position: here the oldest text.
    EXPECT_EQ(std::u16string(first), u"");
    EXPECT_EQ(ParseStringFile(file.data(), file.size(), 1), first);
}

} // namespace
