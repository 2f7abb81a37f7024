#include <algorithm>

#include "fingerprint/fingerprint_operations.h"

namespace {

// Slot entry `slot` reads `state`, the slot's own digit and a blank.
bool EntryIs(const ReplyFrame& frame, std::size_t slot, char state) {
    const std::size_t offset = vendor::kFrameHeaderLength + 3 * slot;
    return frame.At(offset) == state && frame.At(offset + 1) == '0' + slot &&
           frame.At(offset + 2) == ' ';
}

} // namespace

int CFingerprintOperations::ReadFingerprintStatus() {
    ReplyFrame frame;
    if (!m_device.SendRequestFrame(vendor::kStatusRequest, vendor::kWriteExpectsReply) ||
        !m_device.ReceiveReplyFrame(vendor::kStatusReplyLength, frame)) {
        m_device.m_driveLetter = 0;
        return 0;
    }
    m_installedCount = 0;
    m_freeCount = 0;
    for (std::size_t slot = 0; slot < vendor::kSlotCount; ++slot) {
        m_installedCount += EntryIs(frame, slot, 'S') ? 1 : 0;
        m_freeCount += EntryIs(frame, slot, 'F') ? 1 : 0;
    }
    m_window.RefreshTexts();
    return 1;
}

int CFingerprintOperations::PollProgress(std::uint8_t* report, std::size_t n) {
    std::fill_n(report, n, std::uint8_t{0});
    ReplyFrame frame;
    if (!m_device.SendRequestFrame(vendor::kProgressPoll, vendor::kWriteExpectsReply) ||
        !m_device.ReceiveReplyFrame(static_cast<std::uint32_t>(n + vendor::kFrameHeaderLength),
                                    frame)) {
        return 0;
    }
    // The length field counts the report and one more byte; 0 wraps to -1, still a report.
    const int remaining = frame.BigEndian16(8) - 1;
    if (remaining == 0) {
        return 0;
    }
    for (std::size_t k = 0; k < n; ++k) {
        report[k] = frame.At(vendor::kFrameHeaderLength + k);
    }
    return remaining;
}
