// After Ctrl-C no new command goes to the drive: every open and command fails at once, so
// the operations run through their remaining attempts and cycles without waiting and stop
// as they do when the window is closed. A command already under way ends as its
// transport lets it (the virtual drive's within a moment).
#pragma once

#include <atomic>

#include "device/scsi_transport.h"

class InterruptGate final : public IScsiTransport {
  public:
    InterruptGate(IScsiTransport& inner, const std::atomic<bool>& interrupted)
        : m_inner(inner), m_interrupted(interrupted) {}

    Handle OpenDrive(char letter) override {
        return m_interrupted.load() ? kInvalidHandle : m_inner.OpenDrive(letter);
    }
    bool SendScsiCommand(Handle handle, const Cdb& cdb, std::uint8_t* data, std::uint32_t length,
                         ScsiDirection direction) override {
        return !m_interrupted.load() &&
               m_inner.SendScsiCommand(handle, cdb, data, length, direction);
    }
    void CloseDrive(Handle handle) override { m_inner.CloseDrive(handle); }
    std::uint32_t PresentDriveMask() override { return m_inner.PresentDriveMask(); }
    std::string LastError() const override {
        return m_interrupted.load() ? "interrupted" : m_inner.LastError();
    }

  private:
    IScsiTransport& m_inner;
    const std::atomic<bool>& m_interrupted;
};
