#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

ParseResult Parse(std::vector<std::string> words) {
    std::vector<const char*> argv{"tessalok"};
    for (const std::string& word : words)
        argv.push_back(word.c_str());
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data());
}

TEST(ParseLanguage, IndexesAndCodes) {
    const struct {
        const char* text;
        std::optional<int> index;
    } cases[] = {
        {"0", 0},
        {"12", 12},
        {"13", std::nullopt},
        {"-1", std::nullopt},
        {"3x", std::nullopt},
        {"en", 0},
        {"zh", 1},
        {"zh-CN", 1},
        {"zh_cn", 1},
        {"zh-Hans", 1},
        {"zh-TW", 2},
        {"zh-HK", 2},
        {"zh-Hant", 2},
        {"zh-XX", std::nullopt},
        {"de", 3},
        {"DE", 3},
        {"de-AT", 3},
        {"pt_BR", 8},
        {"th", 12},
        {"xx", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& entry : cases) {
        EXPECT_EQ(ParseLanguage(entry.text), entry.index) << entry.text;
    }
}

TEST(ParseHostPort, DefaultPortAndBadPorts) {
    EXPECT_EQ(ParseHostPort("127.0.0.1"),
              (std::pair<std::string, std::uint16_t>{"127.0.0.1", 48150}));
    EXPECT_EQ(ParseHostPort("vdrive:9000"),
              (std::pair<std::string, std::uint16_t>{"vdrive", 9000}));
    // IPv6: bare on the default port, or in brackets with a port.
    EXPECT_EQ(ParseHostPort("::1"), (std::pair<std::string, std::uint16_t>{"::1", 48150}));
    EXPECT_EQ(ParseHostPort("fe80::1%lo"),
              (std::pair<std::string, std::uint16_t>{"fe80::1%lo", 48150}));
    EXPECT_EQ(ParseHostPort("[::1]:5000"), (std::pair<std::string, std::uint16_t>{"::1", 5000}));
    EXPECT_EQ(ParseHostPort("[::1]"), (std::pair<std::string, std::uint16_t>{"::1", 48150}));
    for (const char* bad : {":9000", "host:", "host:0", "host:65536", "host:12ab", "", "[]:5000",
                            "[::1", "[::1]5000", "[::1]:", "[::1]:0"}) {
        EXPECT_EQ(ParseHostPort(bad), std::nullopt) << bad;
    }
}

TEST(ParseCommandLine, CommandsAndOptions) {
    const ParseResult result = Parse({"--vdrive", "127.0.0.1:5000", "--drive", "f:", "--lang",
                                      "zh-TW", "--trace", "scan", "--all", "--json"});
    ASSERT_TRUE(result.options);
    const CliOptions& options = *result.options;
    EXPECT_EQ(options.command, Command::Scan);
    EXPECT_EQ(options.vdriveHost, "127.0.0.1");
    EXPECT_EQ(options.vdrivePort, 5000);
    EXPECT_EQ(options.driveLetter, 'F');
    EXPECT_EQ(options.language, 2);
    EXPECT_TRUE(options.trace && options.all && options.json);

    // Program options may follow the command.
    const ParseResult after = Parse({"erase", "--yes", "--device", "/dev/sg2"});
    ASSERT_TRUE(after.options);
    EXPECT_EQ(after.options->command, Command::Erase);
    EXPECT_TRUE(after.options->yes);
    EXPECT_EQ(after.options->devicePath, "/dev/sg2");
    EXPECT_FALSE(after.options->language);

    // Command options may come before the command.
    for (const auto& [words, command] : std::vector<std::pair<std::vector<std::string>, Command>>{
             {{"--json", "status"}, Command::Status},
             {{"--json", "--all", "scan"}, Command::Scan},
             {{"-y", "erase"}, Command::Erase}}) {
        const ParseResult before = Parse(words);
        ASSERT_TRUE(before.options) << words.front() << ": " << before.output;
        EXPECT_EQ(before.options->command, command);
        EXPECT_TRUE(before.options->json || before.options->yes);
    }
}

TEST(ParseCommandLine, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--bogus", "status"},
        {"status", "--all"},   // --all belongs to scan
        {"install", "--json"}, // no JSON for install
        {"--lang", "xx", "status"},
        {"--drive", "B", "status"}, // A: and B: are never searched
        {"--drive", "EF", "status"},
        {"--vdrive", "host:0", "status"},
        {"--vdrive", "h", "--device", "/dev/sg0", "status"},
        {"--drive", "E", "--device", "/dev/sg0", "status"},
        {"status", "model"},
        {"--json", "install"}, // before the command, still not for install
        {"--all", "status"},
        {"--yes", "install"},
        // An empty value is no value (an unset variable in a script), never "not given".
        {"--vdrive", "", "status"},
        {"--vdrive=", "status"},
        {"--device", "", "status"},
        {"--drive", "", "status"},
        {"--lang", "", "languages"},
        {"status", "--lang="},
        {"--device", "", "--vdrive", "127.0.0.1:5000", "status"},
    };
    for (const auto& words : cases) {
        const ParseResult result = Parse(words);
        std::string line;
        for (const std::string& word : words)
            line += word + " ";
        EXPECT_FALSE(result.options) << line;
        EXPECT_EQ(result.exitCode, exit_code::kBadUsage) << line;
        EXPECT_NE(result.output.find("tessalok --help"), std::string::npos) << line;
    }
}

TEST(ParseCommandLine, HelpAndVersionSucceedWithoutRunning) {
    const ParseResult help = Parse({"--help"});
    EXPECT_FALSE(help.options);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("Exit codes"), std::string::npos);
    EXPECT_NE(help.output.find("languages"), std::string::npos);

    const ParseResult version = Parse({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output.rfind("tessalok ", 0), 0u);
}

} // namespace
