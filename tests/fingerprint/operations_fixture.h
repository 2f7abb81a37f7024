// The operations wired to the drive model through the in-memory transport, a recording
// transport, a recording clock and the recording window.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/start_settings.h"
#include "device/memory_transport.h"
#include "device/recording_transport.h"
#include "fingerprint/fingerprint_operations.h"
#include "fingerprint/text_format.h"
#include "tests/fingerprint/recording_window.h"
#include "virtual_drive/drive_model.h"

class RecordingClock final : public IClock {
  public:
    std::vector<std::uint32_t> waits;
    // When set, every wait is also logged there as "sleep <ms>".
    std::vector<std::string>* log = nullptr;
    void Sleep(std::uint32_t milliseconds) override {
        waits.push_back(milliseconds);
        if (log) {
            log->push_back("sleep " + std::to_string(milliseconds));
        }
    }
};

// Name of the vendor command a record carries: "identify", "identity", "seed", "write",
// "read" (or "other"); a failed attempt gets a trailing '!'.
inline std::string CommandName(const CommandRecord& record) {
    const std::string tag(record.cdb.begin() + 12, record.cdb.begin() + 16);
    std::string name = "other";
    if (tag == vendor::kIdentifyTag) {
        name = "identify";
    } else if (tag == vendor::kSecureTag) {
        switch (record.cdb[2]) {
        case vendor::kSubReadIdentity:
            name = "identity";
            break;
        case vendor::kSubReadSeed:
            name = "seed";
            break;
        case vendor::kSubWriteBlock:
            name = "write";
            break;
        case vendor::kSubReadBlock:
            name = "read";
            break;
        default:
            break;
        }
    }
    return record.succeeded ? name : name + "!";
}

// Message `number` in English, as the recording window logs it.
inline std::string Msg(int number) {
    return ToUtf8(MessageText(number));
}

// Slot table with the first `installed` slots in use.
inline std::array<std::optional<std::string>, vdrive::kSlotCount>
SlotsInUse(std::size_t installed) {
    std::array<std::optional<std::string>, vdrive::kSlotCount> slots{};
    for (std::size_t slot = 0; slot < installed; ++slot) {
        slots[slot] = "finger-" + std::to_string(slot);
    }
    return slots;
}

// Everything one test needs; a test that sweeps over cases builds one per case.
struct OperationsRig {
    explicit OperationsRig(vdrive::DriveOptions options = {}) : drive(std::move(options)) {
        g_busy = 0;
        g_language = 0;
        window.Attach(ops);
    }
    ~OperationsRig() {
        // No operation may leave a volume open, whatever failed.
        EXPECT_EQ(memory.OpenHandleCount(), 0u);
    }

    // Attaches the model at `letter` and finds it; the records start afresh.
    void Connect(char letter = 'E') {
        memory.Attach(letter, drive);
        ASSERT_EQ(ops.FindFingerprintDrive(memory.PresentDriveMask()), 1);
        Forget();
    }
    void Forget() {
        window.log.clear();
        wire.Clear();
        clock.waits.clear();
    }
    std::vector<std::string> Commands() const {
        std::vector<std::string> names;
        for (const CommandRecord& record : wire.Records()) {
            names.push_back(CommandName(record));
        }
        return names;
    }

    vdrive::FingerprintDriveModel drive;
    MemoryTransport memory;
    RecordingTransport wire{memory};
    RecordingClock clock;
    RecordingWindow window;
    CFingerprintOperations ops{window, wire, clock};
};

class OperationsTest : public ::testing::Test, public OperationsRig {
  protected:
    explicit OperationsTest(vdrive::DriveOptions options = {})
        : OperationsRig(std::move(options)) {}
};
