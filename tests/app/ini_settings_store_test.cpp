#include "app/ini_settings_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/settings_file.h"
#include "app/utf_convert.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif
#include <functional>

namespace {

TEST(IniText, SectionAndKeyMatchWithoutLetterCase) {
    const std::string text = "[Other]\nLanguage=5\n\n[ADVANCE]\r\n  language = 3 \r\n";
    std::string value;
    ASSERT_TRUE(FindIniValue(text, "Advance", "Language", value));
    EXPECT_EQ(value, "3");
    EXPECT_FALSE(FindIniValue("[Other]\nLanguage=5\n", "Advance", "Language", value));
    EXPECT_FALSE(FindIniValue("Language=5\n", "Advance", "Language", value));
}

TEST(IniText, ProfileIntegerRules) {
    EXPECT_EQ(ParseProfileInt("12", 7), 12);
    EXPECT_EQ(ParseProfileInt("-4", 7), -4);
    EXPECT_EQ(ParseProfileInt("+4", 7), 4);
    EXPECT_EQ(ParseProfileInt("3abc", 7), 3);
    EXPECT_EQ(ParseProfileInt("abc", 7), 0);
    EXPECT_EQ(ParseProfileInt("", 7), 7);
    EXPECT_EQ(ParseProfileInt("99999999999999999999", 7), 2147483647);
}

TEST(IniText, SetReplacesInsertsOrAppends) {
    EXPECT_EQ(SetIniValue("", "Advance", "Language", "3"), "[Advance]\nLanguage=3\n");
    EXPECT_EQ(SetIniValue("[advance]\nlanguage=1\nOther=x\n", "Advance", "Language", "3"),
              "[advance]\nLanguage=3\nOther=x\n");
    EXPECT_EQ(SetIniValue("[Advance]\nOther=x\n\n[Next]\nk=v\n", "Advance", "Language", "3"),
              "[Advance]\nOther=x\nLanguage=3\n\n[Next]\nk=v\n");
    EXPECT_EQ(SetIniValue("[Next]\nk=v\n", "Advance", "Language", "3"),
              "[Next]\nk=v\n\n[Advance]\nLanguage=3\n");
}

class IniFileTest : public testing::Test {
  protected:
    void SetUp() override {
        m_dir =
            std::filesystem::temp_directory_path() /
            ("tessalok-ini-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        m_path = ToUtf16((m_dir / "KV_Tessalok.ini").string());
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string Content() const {
        std::ifstream in(m_dir / "KV_Tessalok.ini", std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::filesystem::path m_dir;
    std::u16string m_path;
    IniSettingsStore m_store;
};

TEST_F(IniFileTest, MissingFileGivesTheDefaultAndWriteCreatesIt) {
    EXPECT_EQ(m_store.ReadInt(u"Advance", u"Language", 2, m_path), 2);
    m_store.WriteString(u"Advance", u"Language", u"10", m_path);
    EXPECT_EQ(m_store.ReadInt(u"Advance", u"Language", 2, m_path), 10);
    m_store.WriteString(u"Advance", u"Language", u"3", m_path);
    EXPECT_EQ(Content(), "[Advance]\nLanguage=3\n");
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(IniFileTest, WriteIntoAMissingDirectoryFailsQuietly) {
    const std::u16string path = ToUtf16((m_dir / "absent" / "KV_Tessalok.ini").string());
    m_store.WriteString(u"Advance", u"Language", u"3", path);
    EXPECT_EQ(m_store.ReadInt(u"Advance", u"Language", 1, path), 1);
}

// What is not a small regular file is not a settings file: the default value, no hang,
// no memory filled, and a write leaves it alone.
TEST_F(IniFileTest, OnlyASmallRegularFileIsRead) {
    const std::filesystem::path file = m_dir / "KV_Tessalok.ini";
    const auto bigFile = [&] {
        std::ofstream out(file, std::ios::binary);
        out << "[Advance]\nLanguage=5\n" << std::string(kMaxSettingsFileBytes, ';') << '\n';
    };
    const auto directory = [&] { std::filesystem::create_directory(file); };
#ifndef _WIN32
    const auto fifo = [&] { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); };
    const auto endlessDevice = [&] { std::filesystem::create_symlink("/dev/zero", file); };
#endif
    const struct {
        const char* name;
        std::function<void()> make;
    } cases[] = {
        {"oversized file", bigFile},
        {"directory", directory},
#ifndef _WIN32
        {"FIFO", fifo},
        {"link to /dev/zero", endlessDevice},
#endif
    };
    for (const auto& entry : cases) {
        std::filesystem::remove_all(file);
        entry.make();
        EXPECT_EQ(m_store.ReadInt(u"Advance", u"Language", 2, m_path), 2) << entry.name;
        m_store.WriteString(u"Advance", u"Language", u"3", m_path);
        EXPECT_EQ(m_store.ReadInt(u"Advance", u"Language", 2, m_path), 2) << entry.name;
        for (const auto& left : std::filesystem::directory_iterator(m_dir)) {
            EXPECT_EQ(left.path().filename().string().rfind("KV_Tessalok.ini.tmp", 0),
                      std::string::npos)
                << entry.name << ": " << left.path();
        }
    }
    // A file just within the limit is still read.
    std::filesystem::remove_all(file);
    {
        std::ofstream out(file, std::ios::binary);
        const std::string head = "[Advance]\nLanguage=5\n";
        out << head << std::string(kMaxSettingsFileBytes - head.size(), ';');
    }
    EXPECT_EQ(m_store.ReadInt(u"Advance", u"Language", 2, m_path), 5);
}

} // namespace
