#include <algorithm>
#include <string>

#include "fingerprint/fingerprint_operations.h"
#include "fingerprint/status_display.h"
#include "fingerprint/text_format.h"

namespace {

constexpr unsigned kFirstTriedBit = 2; // A: and B: are never fingerprint drives

// A candidate names the vendor right after its tags and offers the "SECU" commands.
bool IsFingerprintCandidate(const ReplyFrame& reply) {
    const std::size_t tagCount = reply.At(vendor::kTagCountOffset);
    if (!reply.Matches(vendor::kTagsOffset + 4 * tagCount, vendor::kVendorName)) {
        return false;
    }
    for (std::size_t tag = 0; tag < tagCount; ++tag) {
        if (reply.Matches(vendor::kTagsOffset + 4 * tag, vendor::kSecureTag)) {
            return true;
        }
    }
    return false;
}

bool HasIdentityPrefix(const SecureIdentity& identity) {
    return std::equal(vendor::kIdentityPrefix.begin(), vendor::kIdentityPrefix.end(),
                      identity.begin());
}

// The identity as single-byte characters, ending at the first zero byte.
std::u16string IdentityText(const SecureIdentity& identity) {
    std::u16string text;
    for (const std::uint8_t byte : identity) {
        if (byte == 0) {
            break;
        }
        text += static_cast<char16_t>(byte);
    }
    return text;
}

} // namespace

int CFingerprintOperations::FindFingerprintDrive(std::uint32_t driveMask) {
    m_window.DisableCommands();
    for (unsigned bit = kFirstTriedBit; bit < 32; ++bit) {
        if ((driveMask >> bit & 1u) == 0) {
            continue;
        }
        m_device.m_driveLetter = static_cast<char>('A' + bit);
        ReplyFrame reply;
        if (!m_device.Identify(reply) || !IsFingerprintCandidate(reply)) {
            continue;
        }
        if (ProbeFingerprintDrive()) {
            return 1;
        }
    }
    m_device.m_driveLetter = 0;
    m_window.HideStatusAndDriveLabel();
    m_window.DisableCommands();
    return 0;
}

int CFingerprintOperations::ProbeFingerprintDrive() {
    SecureIdentity identity{};
    if (!m_device.ReadSecureIdentity(identity) || !HasIdentityPrefix(identity)) {
        return 0;
    }
    if (!m_device.ReadSecureIdentity(identity)) {
        m_device.m_driveLetter = 0;
        return 0;
    }
    ShowStatus(m_window, FormatText(u"Found [%S] Tessalok Disk", {IdentityText(identity)}),
               colours::kRed, false, colours::kWhite);
    return ReadFingerprintStatus();
}
