// tessalok-vdrive as a process: started with a state file and an ephemeral port, driven
// through the client transport (enrol, then erase), stopped, and its state file read.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <random>
#include <sstream>
#include <thread>

#include "device/vdrive_transport.h"
#include "drive_client.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

class EndToEnd : public ::testing::Test {
  protected:
    EndToEnd() {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    ~EndToEnd() override {
        if (server.valid()) {
            std::string reply;
            VirtualDriveTransport(vdrive_wire::kDefaultHost, port).Control("shutdown", reply);
            server.wait();
        }
        std::error_code code;
        fs::remove_all(dir, code);
    }

    // Starts the server with `options`; false when it did not report a port in time.
    bool Start(const std::string& options) {
        const std::string command = std::string(TESSALOK_VDRIVE_EXE) + " --port 0 --port-file \"" +
                                    portFile.string() + "\" " + options + " > \"" +
                                    (dir / "out.txt").string() + "\" 2>&1";
        server = std::async(std::launch::async, [command] { return std::system(command.c_str()); });
        for (int i = 0; i < 200; ++i) {
            const std::string text = ReadFile(portFile);
            if (!text.empty()) {
                port = static_cast<std::uint16_t>(std::stoi(text));
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    int Stop() {
        std::string reply;
        VirtualDriveTransport(vdrive_wire::kDefaultHost, port).Control("shutdown", reply);
        return server.get();
    }

    fs::path dir = fs::temp_directory_path() /
                   ("tessalok-vdrive-e2e-" + std::to_string(std::random_device{}()));
    fs::path portFile = dir / "port";
    fs::path stateFile = dir / "drive.state";
    std::future<int> server;
    std::uint16_t port = 0;
};

// Polls until the drive reports; the report bytes or empty after `limit` polls.
std::vector<std::uint8_t> NextReport(DriveClient& client, std::uint32_t n, int limit = 50) {
    for (int i = 0; i < limit; ++i) {
        DriveClient::Poll poll = client.PollProgress(n);
        if (poll.ok && poll.lengthField != 1) {
            return poll.report;
        }
    }
    return {};
}

TEST_F(EndToEnd, EnrolThenEraseAndTheStateFileFollows) {
    std::ofstream(stateFile) << "tessalok-vdrive state 1\nslot 0 owner\n";
    ASSERT_TRUE(Start("--stick D --state-file \"" + stateFile.string() +
                      "\" --touches 2 --run \"finger owner\" --run \"finger guest 2\""));
    VirtualDriveTransport transport(vdrive_wire::kDefaultHost, port);
    EXPECT_EQ(transport.PresentDriveMask(), 1u << ('D' - 'A') | 1u << ('E' - 'A'));
    DriveClient client(transport, 'E');
    ASSERT_TRUE(client.Identify()) << transport.LastError();

    ASSERT_TRUE(client.Start(vendor::kInstallStart));
    EXPECT_EQ(NextReport(client, 4), (std::vector<std::uint8_t>{'S', 0, 0, 0})); // authorized
    EXPECT_EQ(NextReport(client, 4), (std::vector<std::uint8_t>{'a', 0, 0, 0}));
    EXPECT_EQ(NextReport(client, 4), (std::vector<std::uint8_t>{'S', 0, 0, 0})); // enrolled
    EXPECT_EQ(ReadFile(stateFile), "tessalok-vdrive state 1\nslot 0 owner\nslot 1 guest\n");

    std::string reply;
    ASSERT_TRUE(transport.Control("finger guest", reply));
    ASSERT_TRUE(client.Start(vendor::kEraseStart));
    EXPECT_EQ(NextReport(client, 1), std::vector<std::uint8_t>{'S'});
    EXPECT_EQ(NextReport(client, 1), std::vector<std::uint8_t>{'s'});
    EXPECT_EQ(Stop(), 0);
    EXPECT_EQ(ReadFile(stateFile), "tessalok-vdrive state 1\n");
}

TEST_F(EndToEnd, AutomaticUserEnrolsByItself) {
    ASSERT_TRUE(Start("--auto-user --latency 0 --run \"set-slot 0 owner\""));
    VirtualDriveTransport transport(vdrive_wire::kDefaultHost, port);
    DriveClient client(transport, 'E');
    ASSERT_TRUE(client.Identify()) << transport.LastError();
    ASSERT_TRUE(client.Start(vendor::kInstallStart));
    EXPECT_EQ(NextReport(client, 4, 14), (std::vector<std::uint8_t>{'S', 0, 0, 0}));
    for (int touch = 0; touch < 2; ++touch) {
        EXPECT_EQ(NextReport(client, 4, 14), (std::vector<std::uint8_t>{'a', 0, 0, 0}));
    }
    EXPECT_EQ(NextReport(client, 4, 14), (std::vector<std::uint8_t>{'S', 0, 0, 0}));
    std::string reply;
    ASSERT_TRUE(transport.Control("slots", reply));
    EXPECT_EQ(reply.rfind("E: S0=owner S1=auto-finger-1 F2", 0), 0u) << reply;
}

TEST_F(EndToEnd, CorruptStateFileStartsEmptyAndSaysSo) {
    std::ofstream(stateFile) << "garbage\n";
    ASSERT_TRUE(Start("--state-file \"" + stateFile.string() + "\""));
    std::string reply;
    VirtualDriveTransport transport(vdrive_wire::kDefaultHost, port);
    ASSERT_TRUE(transport.Control("slots", reply));
    EXPECT_EQ(reply, "E: F0 F1 F2 F3 F4 F5 F6 F7 F8 F9");
    EXPECT_EQ(Stop(), 0);
    EXPECT_NE(ReadFile(dir / "out.txt").find("is corrupt"), std::string::npos);
}

} // namespace
