// A decorator that records every command crossing a transport: for the tests' assertions
// and for the command line's wire trace. It changes nothing of what passes through.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "device/scsi_transport.h"

struct CommandRecord {
    char letter = 0;                    // volume the handle was opened for
    Cdb cdb{};
    ScsiDirection direction = ScsiDirection::Write;
    std::uint32_t length = 0;
    std::vector<std::uint8_t> data;     // written bytes, or read bytes after a success
    bool succeeded = false;
};

class RecordingTransport final : public IScsiTransport {
public:
    explicit RecordingTransport(IScsiTransport& inner) : m_inner(inner) {}

    // Called after every command, in order.
    void SetObserver(std::function<void(const CommandRecord&)> observer) {
        m_observer = std::move(observer);
    }
    // Keep records in memory (on by default; the trace turns it off).
    void SetKeepRecords(bool keep) { m_keep = keep; }

    const std::vector<CommandRecord>& Records() const { return m_records; }
    void Clear() { m_records.clear(); }

    Handle OpenDrive(char letter) override;
    bool SendScsiCommand(Handle handle, const Cdb& cdb, std::uint8_t* data, std::uint32_t length,
                         ScsiDirection direction) override;
    void CloseDrive(Handle handle) override;
    std::uint32_t PresentDriveMask() override { return m_inner.PresentDriveMask(); }
    std::string LastError() const override { return m_inner.LastError(); }

private:
    IScsiTransport& m_inner;
    std::function<void(const CommandRecord&)> m_observer;
    std::vector<std::pair<Handle, char>> m_openLetters;
    std::vector<CommandRecord> m_records;
    bool m_keep = true;
};
