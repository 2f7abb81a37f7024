// The way from the SCSI disk to the fingerprint controller behind it: vendor commands
// (operation code 0xFC) and whether the drive is plugged in at all.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>

#include "device/scsi_types.h"

namespace vdrive {

class FingerprintDriveModel;
class UsbStickModel;
struct Volume;

enum class VendorResult : std::uint8_t {
    Good,           // carried out; a read filled the buffer
    CheckCondition, // the controller refused it
    Silent,         // never answered
    NotPresent,     // the plug is pulled
};

class IVendorPort {
  public:
    virtual ~IVendorPort() = default;
    // Never waits for a vendor command in progress: block I/O asks on every command.
    virtual bool Present() = 0;
    // `data` is the whole transfer: filled by a read, holding what is written otherwise.
    virtual VendorResult Execute(const Cdb& cdb, ScsiDirection direction,
                                 std::span<std::uint8_t> data) = 0;
};

// The port to a volume's drive model. Every call holds `modelMutex`, the lock that guards
// the models for all front doors; the models must outlive the port.
class VolumePort final : public IVendorPort {
  public:
    VolumePort(Volume& volume, std::mutex& modelMutex);
    bool Present() override;
    VendorResult Execute(const Cdb& cdb, ScsiDirection direction,
                         std::span<std::uint8_t> data) override;

  private:
    FingerprintDriveModel* m_drive; // one of the two is set
    UsbStickModel* m_stick;
    std::mutex& m_modelMutex;
    std::atomic<bool> m_present{true}; // as last seen under the model lock
};

} // namespace vdrive
