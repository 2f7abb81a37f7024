// A tessalok-vdrive server in the test process, on a free loopback port, with short
// time limits so that silence and stalls cost fractions of a second.
#pragma once

#include <thread>

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
        : server(volumes, settings, {}) {
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

    vdrive::VolumeSet volumes;
    vdrive::VdriveServer server;
    bool listening = false;
    std::thread runner;
};
