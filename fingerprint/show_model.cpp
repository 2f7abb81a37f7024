#include <cstdint>
#include <string>

#include "fingerprint/fingerprint_operations.h"
#include "fingerprint/status_display.h"

namespace {

constexpr std::uint32_t kModelShownMs = 2000;
constexpr std::size_t kSavedTextBufferUnits = 200;

} // namespace

void CFingerprintOperations::ShowModel() {
    ReplyFrame frame;
    if (!m_device.SendRequestFrame(vendor::kModelRequest, vendor::kWriteExpectsReply) ||
        !m_device.ReceiveReplyFrame(vendor::kModelReplyLength, frame)) {
        m_device.m_driveLetter = 0;
        return;
    }
    std::u16string model;
    for (std::size_t k = 0; k < vendor::kModelTextLength; ++k) {
        const std::uint8_t byte = frame.At(vendor::kFrameHeaderLength + k);
        model += byte >= 0x20 && byte <= 0x7E ? static_cast<char16_t>(byte) : u'.';
    }

    const std::u16string savedText = m_window.GetStatusText(kSavedTextBufferUnits);
    const Colour savedFore = m_window.GetStatusForeColor();
    const Colour savedBack = m_window.GetStatusBackColor();

    ShowStatus(m_window, model, colours::kWhite, false, colours::kBlack);
    m_clock.Sleep(kModelShownMs); // the window does not react meanwhile
    ShowStatus(m_window, savedText, savedFore, false, savedBack);
}
