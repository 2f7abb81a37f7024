// In-process transport for the tests: volumes are IScsiTarget objects attached to drive
// letters; failures can be injected per command.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <set>

#include "device/scsi_target.h"
#include "device/scsi_transport.h"

class MemoryTransport final : public IScsiTransport {
public:
    // Makes `target` the volume of `letter` ('A'..'Z'); it must outlive its attachment.
    void Attach(char letter, IScsiTarget& target);
    void Detach(char letter);

    // The next `count` commands fail as a failed platform call, without reaching a target.
    void FailNextCommands(unsigned count) { m_failNext = count; }
    // The command with this 0-based number (counted over all sends) fails.
    void FailCommandNumber(std::size_t number) { m_failNumbers.insert(number); }
    // Every open of `letter` fails although the volume is present (access denied).
    void RefuseOpen(char letter, bool refuse);

    std::size_t CommandCount() const { return m_commandCount; }
    std::size_t OpenHandleCount() const { return m_openHandles; }

    Handle OpenDrive(char letter) override;
    bool SendScsiCommand(Handle handle, const Cdb& cdb, std::uint8_t* data, std::uint32_t length,
                         ScsiDirection direction) override;
    void CloseDrive(Handle handle) override;
    std::uint32_t PresentDriveMask() override;

private:
    static int Index(char letter);

    std::array<IScsiTarget*, 26> m_targets{};
    std::array<bool, 26> m_openRefused{};
    unsigned m_failNext = 0;
    std::set<std::size_t> m_failNumbers;
    std::size_t m_commandCount = 0;
    std::size_t m_openHandles = 0;
};
