#include "fingerprint/fingerprint_operations.h"

void CFingerprintOperations::OnVolumeArrival() {
    if (g_busy == 0) {
        FindFingerprintDrive(m_transport.PresentDriveMask());
    }
}

void CFingerprintOperations::OnVolumeRemoval(std::uint32_t unitMask) {
    // A: and B: are never the fingerprint drive.
    for (unsigned bit = 2; bit < 32; ++bit) {
        if ((unitMask >> bit & 1u) != 0 && m_device.m_driveLetter == static_cast<char>('A' + bit)) {
            m_device.m_driveLetter = 0;
            m_installedCount = 0;
            m_freeCount = 0;
            g_busy = 0; // a waiting install or erase stops at its next poll
            break;
        }
    }
    if (g_busy == 0) {
        FindFingerprintDrive(m_transport.PresentDriveMask());
    }
}
