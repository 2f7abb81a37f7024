#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "app/start_settings.h"
#include "expected_texts.h"
#include "i18n/message_table.h"

namespace {

class GetTextTest : public ::testing::Test {
  protected:
    void TearDown() override { g_language = m_savedLanguage; }

    // Message `number` as a string; "<null>" when there is none.
    static std::u16string Text(int number) {
        const char16_t* text = GetText(number);
        return text == nullptr ? u"<null>" : std::u16string(text);
    }

  private:
    int m_savedLanguage = g_language;
};

TEST_F(GetTextTest, EveryMessageOfEveryLanguage) {
    for (int language = 0; language < kLanguageCount; ++language) {
        g_language = language;
        for (int number = 0; number < kMessageCount; ++number) {
            EXPECT_EQ(Text(number), kExpectedTexts[language][number])
                << "language " << language << ", message " << number;
        }
    }
}

TEST_F(GetTextTest, LanguageNamesWhateverTheLanguage) {
    for (int language : {0, 2, 5, 10, 12, 13, -1}) {
        g_language = language;
        for (int k = 0; k < kLanguageCount; ++k) {
            EXPECT_EQ(Text(kLanguageNameBase + k), kExpectedNames[k])
                << "language " << language << ", name " << k;
        }
    }
}

TEST_F(GetTextTest, UnknownLanguageReadsEnglish) {
    for (int language :
         {13, 14, 100, -1, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) {
        g_language = language;
        EXPECT_EQ(Text(0), u"View Status") << language;
        EXPECT_EQ(Text(36), kExpectedTexts[0][36]) << language;
    }
}

TEST_F(GetTextTest, NumbersWithoutAnEntryGiveNull) {
    for (int language : {0, 4, 12}) {
        g_language = language;
        for (int number : {-1, -900, 37, 100, 899, 913, 999, std::numeric_limits<int>::max(),
                           std::numeric_limits<int>::min()}) {
            EXPECT_EQ(GetText(number), nullptr) << "language " << language << ", " << number;
        }
    }
}

TEST_F(GetTextTest, FailedLookupLeavesTheRingPosition) {
    g_language = 0;
    const char16_t* first = GetText(10);
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(GetText(37), nullptr);
    const char16_t* second = GetText(1);
    for (int i = 0; i < 8; ++i) {
        ASSERT_NE(GetText(900 + i), nullptr);
    }
    ASSERT_EQ(GetText(913), nullptr);
    // The tenth success since `first` is back at its buffer.
    EXPECT_EQ(GetText(1), first);
    EXPECT_EQ(std::u16string(first), u"Install");
    EXPECT_EQ(std::u16string(second), u"Install");
}

} // namespace
