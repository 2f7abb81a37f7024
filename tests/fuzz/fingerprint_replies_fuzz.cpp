// The fingerprint operations against a drive whose every reply comes from the fuzzer:
// identification, identities, seeds and frames. They must stay inside the reply bytes,
// end, and close every volume.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "app/start_settings.h"
#include "device/memory_transport.h"
#include "fingerprint/fingerprint_operations.h"
#include "i18n/message_table.h"
#include "tests/fingerprint/silent_window.h"

namespace {

// Answers each read with the next bytes of the input; fails once they are used up.
class FuzzedDrive final : public IScsiTarget {
  public:
    FuzzedDrive(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    std::uint8_t ExecuteCommand(const Cdb&, ScsiDirection direction,
                                std::span<std::uint8_t> data) override {
        if (direction == ScsiDirection::Write) {
            return kScsiStatusGood;
        }
        if (m_size - m_used < data.size()) {
            return kScsiStatusCheckCondition;
        }
        for (std::uint8_t& byte : data) {
            byte = m_data[m_used++];
        }
        return kScsiStatusGood;
    }

  private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_used = 0;
};

class NoWait final : public IClock {
  public:
    void Sleep(std::uint32_t) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    FuzzedDrive drive(data + 1, size - 1);
    MemoryTransport transport;
    transport.Attach('E', drive);
    SilentWindow window;
    NoWait clock;
    g_busy = 0;
    g_language = data[0] % kLanguageCount;
    CFingerprintOperations ops(window, transport, clock);
    ops.FindFingerprintDrive(transport.PresentDriveMask());
    // Whatever the search made of it, the operations then talk to a drive that offers "SECU".
    ops.m_device.m_driveLetter = 'E';
    ops.m_device.m_tagCount = 1;
    std::copy(vendor::kSecureTag.begin(), vendor::kSecureTag.end(), ops.m_device.m_tagList.begin());
    switch (data[0] >> 4 & 3) {
    case 0:
        ops.InstallNewFingerprint();
        break;
    case 1:
        ops.EraseAllFingerprints();
        break;
    case 2:
        ops.ShowModel();
        break;
    default:
        ops.ViewStatus();
        break;
    }
    if (transport.OpenHandleCount() != 0 || g_busy != 0) {
        std::abort();
    }
    return 0;
}
