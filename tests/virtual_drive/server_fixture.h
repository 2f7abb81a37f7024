// A tessalok-vdrive server in the test process, on a free loopback port, with short
// time limits so that silence and stalls cost fractions of a second. It keeps the
// server's log lines for the tests to look at.
#pragma once

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "virtual_drive/vdrive_server.h"
#include "virtual_drive/volume_set.h"

struct ServerFixture {
    static vdrive::ServerSettings QuickSettings() {
        vdrive::ServerSettings settings;
        settings.port = 0;
        settings.silenceMs = 1500;
        settings.messageLimitMs = 500;
        return settings;
    }

    // Listens at once, so the port is known; add the volumes before the first client.
    explicit ServerFixture(vdrive::ServerSettings settings = QuickSettings())
        : server(volumes, settings, [this](const std::string& line) {
              std::lock_guard lock(logMutex);
              log.push_back(line);
          }) {
        std::string error;
        listening = server.Listen(error);
        if (listening) {
            runner = std::thread([this] { server.Run(); });
        }
    }

    ~ServerFixture() {
        server.Stop();
        if (runner.joinable()) {
            runner.join();
        }
    }

    std::uint16_t Port() const { return server.Port(); }

    // How many log lines so far contain `text`.
    std::size_t LogLines(const std::string& text) {
        std::lock_guard lock(logMutex);
        std::size_t count = 0;
        for (const std::string& line : log) {
            count += line.find(text) != std::string::npos ? 1 : 0;
        }
        return count;
    }

    std::mutex logMutex;
    std::vector<std::string> log;
    vdrive::VolumeSet volumes;
    vdrive::VdriveServer server;
    bool listening = false;
    std::thread runner;
};
