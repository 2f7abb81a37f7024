// Says once that the drive stopped answering. The operations wait on as the
// window does (every command keeps its attempts, every phase its idle budget), but the
// window's user sees a drive that stopped answering only as a time-out at the end; the
// terminal's user learns it when it happens, with the transport's reason.
#pragma once

#include <functional>
#include <string>

#include "device/scsi_transport.h"

class SilenceWatch final : public IScsiTransport {
  public:
    // `report` is given the transport's last error.
    SilenceWatch(IScsiTransport& inner, std::function<void(const std::string&)> report)
        : m_inner(inner), m_report(std::move(report)) {}

    // Watches from now on: the drive search's candidates that do not answer are no news.
    void Arm() { m_armed = true; }
    bool Reported() const { return m_reported; }

    Handle OpenDrive(char letter) override;
    bool SendScsiCommand(Handle handle, const Cdb& cdb, std::uint8_t* data, std::uint32_t length,
                         ScsiDirection direction) override;
    void CloseDrive(Handle handle) override { m_inner.CloseDrive(handle); }
    std::uint32_t PresentDriveMask() override { return m_inner.PresentDriveMask(); }
    std::string LastError() const override { return m_inner.LastError(); }

    // A command that failed this often in a row failed all of its attempts.
    static constexpr int kFailuresInARow = 3;

  private:
    void Note(bool answered, int failuresThatCount);

    IScsiTransport& m_inner;
    std::function<void(const std::string&)> m_report;
    bool m_armed = false;
    bool m_reported = false;
    int m_failures = 0;
};
