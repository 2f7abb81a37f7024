// The command line of tessalok-vdrive.
#include "virtual_drive/command_line.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace {

std::optional<vdrive::Invocation> Parse(std::vector<std::string> args, std::string& error) {
    return vdrive::ParseCommandLine(args, error);
}

TEST(CommandLine, DefaultsServeOneDriveAtE) {
    std::string error;
    const auto invocation = Parse({}, error);
    ASSERT_TRUE(invocation);
    EXPECT_EQ(invocation->mode, vdrive::Invocation::Mode::Serve);
    EXPECT_EQ(invocation->drives, std::vector<char>{'E'});
    EXPECT_EQ(invocation->server.port, 48150);
    EXPECT_EQ(invocation->server.host, "127.0.0.1");
    EXPECT_TRUE(invocation->drive.fixedSeeds.empty());
}

TEST(CommandLine, OptionsReachTheirSettings) {
    std::string error;
    const auto invocation = Parse(
        {"--port",       "0",         "--drive",      "f:",        "--drive",     "G",
         "--stick",      "D",         "--tags",       "SECU,INQU", "--seeds",     "1234,0x8000",
         "--state-file", "G=g.state", "--state-file", "f.state",   "--auto-user", "--slot-line",
         "--verbose",    "--run",     "finger alice"},
        error);
    ASSERT_TRUE(invocation) << error;
    EXPECT_EQ(invocation->server.port, 0);
    EXPECT_EQ(invocation->drives, (std::vector<char>{'F', 'G'}));
    EXPECT_EQ(invocation->drive.tags, (std::vector<std::string>{"SECU", "INQU"}));
    EXPECT_EQ(invocation->drive.fixedSeeds, (std::vector<std::uint16_t>{0x1234, 0x8000}));
    EXPECT_EQ(invocation->stateFiles.at('G'), "g.state");
    EXPECT_EQ(invocation->stateFiles.at(0), "f.state");
    EXPECT_GT(invocation->drive.autoStepPolls, 0u);
    EXPECT_GT(invocation->server.latencyMs, 0); // the demo user's pace
    EXPECT_EQ(invocation->drive.enrolReport, vdrive::EnrolReport::SlotLine);
    EXPECT_TRUE(invocation->server.verbose);
    EXPECT_EQ(invocation->startTexts, std::vector<std::string>{"finger alice"});
}

TEST(CommandLine, IscsiFrontDoorOptions) {
    struct Case {
        std::vector<std::string> args;
        std::string host;
        std::uint16_t port;
    };
    const std::vector<Case> cases = {
        {{"--iscsi", "3260"}, "127.0.0.1", 3260}, // loopback unless told otherwise
        {{"--iscsi", "0"}, "127.0.0.1", 0},
        {{"--iscsi", "0.0.0.0:3261"}, "0.0.0.0", 3261},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto invocation = Parse(c.args, error);
        ASSERT_TRUE(invocation) << error;
        EXPECT_TRUE(invocation->iscsi);
        EXPECT_EQ(invocation->iscsiHost, c.host);
        EXPECT_EQ(invocation->iscsiPort, c.port);
    }
    std::string error;
    const auto invocation = Parse({"--iscsi-port-file", "p", "--disk-image", "e=e.img"}, error);
    ASSERT_TRUE(invocation) << error;
    EXPECT_FALSE(invocation->iscsi);
    EXPECT_EQ(invocation->iscsiPortFile, "p");
    EXPECT_EQ(invocation->diskImages.at('E'), "e.img");
    EXPECT_FALSE(Parse({}, error)->iscsi);
}

TEST(CommandLine, UsbFrontDoorOptions) {
    struct Case {
        std::vector<std::string> args;
        std::string host;
        std::uint16_t port;
    };
    for (const Case& c : std::vector<Case>{
             {{"--usbip", "3240"}, "127.0.0.1", 3240}, // loopback unless told otherwise
             {{"--usbip", "0"}, "127.0.0.1", 0},
             {{"--usbip", "0.0.0.0:3241", "--usbip-port-file", "u"}, "0.0.0.0", 3241},
         }) {
        std::string error;
        const auto invocation = Parse(c.args, error);
        ASSERT_TRUE(invocation) << error;
        EXPECT_TRUE(invocation->usbip);
        EXPECT_FALSE(invocation->iscsi);
        EXPECT_EQ(invocation->usbipHost, c.host);
        EXPECT_EQ(invocation->usbipPort, c.port);
    }
    std::string error;
    for (const auto& bad : std::vector<std::vector<std::string>>{{"--usbip", ""},
                                                                 {"--usbip", "65536"},
                                                                 {"--usbip", ":3240"},
                                                                 {"--usbip", "x"},
                                                                 {"--usbip-port-file", ""},
                                                                 {"--usbip"}}) {
        EXPECT_FALSE(Parse(bad, error)) << bad.back();
    }
    EXPECT_FALSE(Parse({}, error)->usbip);
}

TEST(CommandLine, HelpAndVersionWinOverServing) {
    const std::vector<std::pair<std::vector<std::string>, vdrive::Invocation::Mode>> cases = {
        {{"--help"}, vdrive::Invocation::Mode::Help},
        {{"--drive", "F", "-h"}, vdrive::Invocation::Mode::Help},
        {{"--version"}, vdrive::Invocation::Mode::Version},
        {{"--port", "0", "--version", "--bogus"}, vdrive::Invocation::Mode::Version},
    };
    for (const auto& [args, mode] : cases) {
        std::string error;
        const auto invocation = Parse(args, error);
        ASSERT_TRUE(invocation) << args.front() << ": " << error;
        EXPECT_EQ(invocation->mode, mode) << args.back();
    }
}

TEST(CommandLine, ControlClientJoinsItsWords) {
    std::string error;
    const auto invocation = Parse({"ctl", "--port", "5000", "F:", "finger", "bob"}, error);
    ASSERT_TRUE(invocation) << error;
    EXPECT_EQ(invocation->mode, vdrive::Invocation::Mode::Control);
    EXPECT_EQ(invocation->server.port, 5000);
    EXPECT_EQ(invocation->text, "F: finger bob");
}

TEST(CommandLine, AScriptIsReadWholeWithinABound) {
    const std::filesystem::path script =
        std::filesystem::temp_directory_path() /
        ("vdrive-script-" + std::to_string(std::random_device{}()) + ".vdrive");
    std::ofstream(script, std::ios::binary) << "# demo\r\n  set-slot 0 alice\r\n\nfinger alice";
    std::string error;
    const auto invocation = Parse({"--script", script.string()}, error);
    ASSERT_TRUE(invocation) << error;
    EXPECT_EQ(invocation->startTexts,
              (std::vector<std::string>{"set-slot 0 alice", "finger alice"}));
    // Past a mebibyte it is no script of ours (an endless device, say).
    std::ofstream(script, std::ios::binary) << std::string((1 << 20) + 1, '#');
    EXPECT_FALSE(Parse({"--script", script.string()}, error));
    std::filesystem::remove(script);
}

TEST(CommandLine, WrongArgumentsSayWhat) {
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"},
        {"--port"},
        {"--port", "70000"},
        {"--drive", "A"},
        {"--drive", "E", "--stick", "E"},
        {"--tags", "SEC"},
        {"--seeds", "xyz"},
        {"--model", "twenty-one characters"},
        {"--state-file", "K=k.state"},
        {"--iscsi"},
        {"--iscsi", ""},
        {"--iscsi", ":3260"},
        {"--iscsi", "65536"},
        {"--iscsi", "localhost:x"},
        {"--iscsi-port-file", ""},
        {"--disk-image", "e.img"},
        {"--disk-image", "A=a.img"},
        {"--script", "no-such-script.vdrive"},
        {"ctl"},
        {"ctl", "--port", "0", "slots"},
    };
    for (const auto& args : cases) {
        std::string error;
        EXPECT_FALSE(Parse(args, error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
}

} // namespace
