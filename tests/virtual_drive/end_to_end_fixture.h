// tessalok-vdrive as a process, for the end-to-end tests: started with an ephemeral port
// and its output in a file (or wherever `output` sends it), stopped by "shutdown".
#pragma once

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

inline std::string ReadFile(const fs::path& path) {
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

    // Starts the server with `options`, its output to `output` (default: out.txt of the
    // test's folder); false when it did not report a port in time.
    bool Start(const std::string& options, std::string output = {}) {
        Launch(options, std::move(output));
        return WaitForPort();
    }

    void Launch(const std::string& options, std::string output = {}) {
        if (output.empty()) {
            output = "> \"" + (dir / "out.txt").string() + "\" 2>&1";
        }
        const std::string command = std::string(TESSALOK_VDRIVE_EXE) + " --port 0 --port-file \"" +
                                    portFile.string() + "\" " + options + " " + output;
        server = std::async(std::launch::async, [command] { return std::system(command.c_str()); });
    }

    // False when the server did not report its port within 10 seconds.
    bool WaitForPort() {
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
inline std::vector<std::uint8_t> NextReport(DriveClient& client, std::uint32_t n, int limit = 50) {
    for (int i = 0; i < limit; ++i) {
        DriveClient::Poll poll = client.PollProgress(n);
        if (poll.ok && poll.lengthField != 1) {
            return poll.report;
        }
    }
    return {};
}
