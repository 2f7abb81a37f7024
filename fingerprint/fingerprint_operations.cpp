#include "fingerprint/fingerprint_operations.h"

int g_busy = 0;

CFingerprintOperations::CFingerprintOperations(IFingerprintWindow& window,
                                               IScsiTransport& transport, IClock& clock)
    : m_device(transport, clock), m_window(window), m_transport(transport), m_clock(clock) {}
