#include "cli/silence_watch.h"

IScsiTransport::Handle SilenceWatch::OpenDrive(char letter) {
    const Handle handle = m_inner.OpenDrive(letter);
    // The drive found cannot be opened any more: no attempt of the command follows.
    Note(handle != kInvalidHandle, kFailuresInARow);
    return handle;
}

bool SilenceWatch::SendScsiCommand(Handle handle, const Cdb& cdb, std::uint8_t* data,
                                   std::uint32_t length, ScsiDirection direction) {
    const bool sent = m_inner.SendScsiCommand(handle, cdb, data, length, direction);
    Note(sent, 1);
    return sent;
}

void SilenceWatch::Note(bool answered, int failuresThatCount) {
    if (answered) {
        m_failures = 0;
        return;
    }
    m_failures += failuresThatCount;
    if (!m_armed || m_reported || m_failures < kFailuresInARow)
        return;
    m_reported = true;
    m_report(m_inner.LastError());
}
