#include "app/start_settings.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "app/posix_locale.h"

namespace {

std::u16string SettingsPath() { return g_settingsPath; }

struct PathCase {
    std::u16string directory;
    std::size_t reportedLength;
    std::u16string expected;
};

class SettingsPathTest : public testing::TestWithParam<PathCase> {};

TEST_P(SettingsPathTest, FollowsTheCurrentDirectory) {
    const PathCase& c = GetParam();
    BuildSettingsPath(c.directory, c.reportedLength);
    EXPECT_EQ(SettingsPath(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Directories, SettingsPathTest,
    testing::Values(PathCase{u"D:\\Tools", 8, u"D:\\Tools\\KV_Tessalok.ini"},
                    PathCase{u"D:\\Tools\\", 9, u"D:\\Tools\\KV_Tessalok.ini"},
                    // A drive root keeps its backslash: two in a row, which the file calls accept.
                    PathCase{u"D:\\", 3, u"D:\\\\KV_Tessalok.ini"},
                    // The system call failed.
                    PathCase{u"", 0, u"\\KV_Tessalok.ini"},
                    // Too long for the 256-unit buffer: the system reports the needed length.
                    PathCase{u"", 300, u"\\KV_Tessalok.ini"},
                    PathCase{u"\\\\server\\share\\", 15, u"\\\\server\\share\\KV_Tessalok.ini"}));

TEST(SettingsPath, LongestDirectoryThatFitsStaysInsideTheBuffer) {
    const std::u16string directory = u"C:\\" + std::u16string(252, u'x');  // 255 units
    BuildSettingsPath(directory, directory.size());
    EXPECT_EQ(SettingsPath(), directory + u"\\KV_Tessalok.ini");
    EXPECT_EQ(g_settingsPath[kSettingsPathUnits - 1], u'\0');
}

TEST(SettingsPath, ReportedLengthBeyondTheGivenTextIsNotRead) {
    BuildSettingsPath(u"C:\\a", 200);
    EXPECT_EQ(SettingsPath(), u"\\KV_Tessalok.ini");
}

TEST(SettingsPath, PosixSeparator) {
    BuildSettingsPath(u"/home/user/", 11, u'/');
    EXPECT_EQ(SettingsPath(), u"/home/user/KV_Tessalok.ini");
    BuildSettingsPath(u"/", 1, u'/');
    EXPECT_EQ(SettingsPath(), u"//KV_Tessalok.ini");
}

class FixedLocale final : public ILocale {
public:
    explicit FixedLocale(std::u16string name) : m_name(std::move(name)) {}
    std::u16string AbbreviatedLanguageName() const override { return m_name; }

private:
    std::u16string m_name;
};

// Settings keyed by section/key exactly as given; records the path asked for.
class MapSettings final : public ISettingsStore {
public:
    std::map<std::pair<std::u16string, std::u16string>, int> values;
    mutable std::u16string lastPath;

    int ReadInt(const std::u16string& section, const std::u16string& key, int defaultValue,
                const std::u16string& path) const override {
        lastPath = path;
        const auto it = values.find({section, key});
        return it == values.end() ? defaultValue : it->second;
    }
    void WriteString(const std::u16string&, const std::u16string&, const std::u16string&,
                     const std::u16string&) override {}
};

struct LanguageCase {
    std::u16string localeName;
    std::optional<int> stored;
    int expected;
};

class StartLanguageTest : public testing::TestWithParam<LanguageCase> {};

TEST_P(StartLanguageTest, LocaleDefaultThenStoredValue) {
    const LanguageCase& c = GetParam();
    BuildSettingsPath(u"D:\\Tools", 8);
    MapSettings settings;
    if (c.stored) {
        settings.values[{u"Advance", u"Language"}] = *c.stored;
    }
    g_language = 7;
    ChooseStartLanguage(FixedLocale(c.localeName), settings);
    EXPECT_EQ(g_language, c.expected);
    EXPECT_EQ(settings.lastPath, u"D:\\Tools\\KV_Tessalok.ini");
}

INSTANTIATE_TEST_SUITE_P(
    Locales, StartLanguageTest,
    testing::Values(LanguageCase{u"CHS", std::nullopt, 1}, LanguageCase{u"CHT", std::nullopt, 2},
                    LanguageCase{u"ENU", std::nullopt, 0}, LanguageCase{u"chs", std::nullopt, 0},
                    LanguageCase{u"CHSX", std::nullopt, 0}, LanguageCase{u"", std::nullopt, 0},
                    // The stored value wins unconditionally, even out of range.
                    LanguageCase{u"CHS", 3, 3}, LanguageCase{u"CHT", 0, 0},
                    LanguageCase{u"ENU", 99, 99}, LanguageCase{u"CHS", -1, -1}));

TEST(PosixLocale, ChineseRegionsAndOthers) {
    EXPECT_EQ(AbbreviationForPosixLocale("zh_CN.UTF-8"), u"CHS");
    EXPECT_EQ(AbbreviationForPosixLocale("zh_SG"), u"CHS");
    EXPECT_EQ(AbbreviationForPosixLocale("zh_TW.UTF-8"), u"CHT");
    EXPECT_EQ(AbbreviationForPosixLocale("zh_HK"), u"CHT");
    EXPECT_EQ(AbbreviationForPosixLocale("zh_MO@euro"), u"CHT");
    EXPECT_EQ(AbbreviationForPosixLocale("zh"), u"ZH");
    EXPECT_EQ(AbbreviationForPosixLocale("de_DE.UTF-8"), u"DE");
    EXPECT_EQ(AbbreviationForPosixLocale(""), u"");
}

}  // namespace
