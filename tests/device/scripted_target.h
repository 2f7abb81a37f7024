// Test fixtures: a byte-level drive that records every CDB and answers from a script,
// and a clock that records its waits.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "device/clock.h"
#include "device/scsi_target.h"
#include "device/scsi_transport.h"

struct ReceivedCommand {
    Cdb cdb{};
    ScsiDirection direction = ScsiDirection::Write;
    std::vector<std::uint8_t> data; // what the host sent, or the size of the read
};

class ScriptedTarget final : public IScsiTarget {
  public:
    std::vector<ReceivedCommand> commands;
    // Status of each next command; GOOD once the list is used up.
    std::deque<std::uint8_t> statuses;
    // Bytes of each next GOOD read, from the start of the transfer (the rest stays 0).
    std::deque<std::vector<std::uint8_t>> replies;

    std::uint8_t ExecuteCommand(const Cdb& cdb, ScsiDirection direction,
                                std::span<std::uint8_t> data) override {
        commands.push_back({cdb, direction, {data.begin(), data.end()}});
        std::uint8_t status = kScsiStatusGood;
        if (!statuses.empty()) {
            status = statuses.front();
            statuses.pop_front();
        }
        if (status == kScsiStatusGood && direction == ScsiDirection::Read) {
            std::fill(data.begin(), data.end(), std::uint8_t{0});
            if (!replies.empty()) {
                const std::vector<std::uint8_t>& reply = replies.front();
                std::copy_n(reply.begin(), std::min(reply.size(), data.size()), data.begin());
                replies.pop_front();
            }
        }
        return status;
    }
};

class RecordingClock final : public IClock {
  public:
    std::vector<std::uint32_t> waits;
    void Sleep(std::uint32_t milliseconds) override { waits.push_back(milliseconds); }
};

// Counts opens and closes around another transport and notes the handle of every send.
class CountingTransport final : public IScsiTransport {
  public:
    explicit CountingTransport(IScsiTransport& inner) : m_inner(inner) {}

    unsigned opens = 0;
    unsigned closes = 0;
    std::vector<Handle> sendHandles;

    Handle OpenDrive(char letter) override {
        const Handle handle = m_inner.OpenDrive(letter);
        opens += handle != kInvalidHandle ? 1 : 0;
        return handle;
    }
    bool SendScsiCommand(Handle handle, const Cdb& cdb, std::uint8_t* data, std::uint32_t length,
                         ScsiDirection direction) override {
        sendHandles.push_back(handle);
        return m_inner.SendScsiCommand(handle, cdb, data, length, direction);
    }
    void CloseDrive(Handle handle) override {
        ++closes;
        m_inner.CloseDrive(handle);
    }
    std::uint32_t PresentDriveMask() override { return m_inner.PresentDriveMask(); }

  private:
    IScsiTransport& m_inner;
};
