// The SCSI command set of a virtual drive's disk: a removable direct-access block device
// of 512-byte blocks, as a USB flash drive is, whose vendor commands (0xFC) go to the
// fingerprint controller behind it.
//
// Medium and plug: a pulled plug (the port is not present) or a medium unloaded by START
// STOP UNIT makes TEST UNIT READY, READ CAPACITY, READ, WRITE and SYNCHRONIZE CACHE answer
// NOT READY / MEDIUM NOT PRESENT; a pulled plug does the same to vendor commands. INQUIRY,
// REPORT LUNS, REQUEST SENSE, MODE SENSE, START STOP UNIT and PREVENT ALLOW MEDIUM REMOVAL
// keep answering, as a card reader does with its slot empty.
//
// Unit attention: after the plug comes back (seen at the next command) and after a reset,
// each nexus's next command other than INQUIRY, REPORT LUNS, REQUEST SENSE and vendor
// commands gets UNIT ATTENTION (MEDIUM MAY HAVE CHANGED, or POWER ON OR RESET) once, so
// the kernel rereads the partition table and capacity. A nexus is known from its first
// command on; what happened before it does not concern it. Vendor commands never see it: they
// address the controller, not the medium, and the identification that finds the drive makes a
// single attempt.
//
// Locks: the medium state has its own small lock, the image its own, the port the model
// lock; block I/O never waits for a vendor command, nor the other way round.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

#include "virtual_drive/disk/disk_image.h"
#include "virtual_drive/disk/inquiry_data.h"
#include "virtual_drive/disk/logical_unit.h"
#include "virtual_drive/disk/sense.h"
#include "virtual_drive/disk/vendor_port.h"

namespace vdrive {

// The largest vendor command transfer (the drive's own commands move at most 512 bytes).
inline constexpr std::uint32_t kMaxVendorTransfer = 65536;

// The blocks a READ, WRITE or SYNCHRONIZE CACHE names.
struct BlockRange {
    std::uint64_t lba = 0;
    std::uint64_t blocks = 0;
    std::uint8_t flags = 0; // byte 1 of the 10-, 12- and 16-byte forms
};

class BlockDevice final : public IScsiLogicalUnit {
  public:
    BlockDevice(std::unique_ptr<DiskImage> image, std::unique_ptr<IVendorPort> vendor,
                DiskIdentity identity);
    BlockDevice(const BlockDevice&) = delete;
    BlockDevice& operator=(const BlockDevice&) = delete;

    ScsiTaskResult Execute(const ScsiTask& task) override;
    void NexusLost(std::uint64_t nexus) override;
    void Reset() override;

    std::uint64_t BlockCount() const { return m_blockCount; }

  private:
    using Range = BlockRange;

    ScsiTaskResult Dispatch(const Cdb& cdb, const ScsiTask& task);
    ScsiTaskResult Inquiry(const Cdb& cdb, const ScsiTask& task) const;
    ScsiTaskResult RequestSense(const Cdb& cdb, const ScsiTask& task);
    ScsiTaskResult ReportLuns(const Cdb& cdb, const ScsiTask& task) const;
    ScsiTaskResult ReadCapacity10(const Cdb& cdb, const ScsiTask& task) const;
    ScsiTaskResult ReadCapacity16(const Cdb& cdb, const ScsiTask& task) const;
    ScsiTaskResult ModeSense(const Cdb& cdb, const ScsiTask& task) const;
    ScsiTaskResult ReadFormatCapacities(const Cdb& cdb, const ScsiTask& task);
    ScsiTaskResult Verify(const Range& range);
    ScsiTaskResult Read(const Range& range, const ScsiTask& task);
    ScsiTaskResult Write(const Range& range, const ScsiTask& task);
    ScsiTaskResult SynchronizeCache(const Range& range);
    ScsiTaskResult StartStopUnit(const Cdb& cdb);
    ScsiTaskResult PreventAllow(const Cdb& cdb, const ScsiTask& task);
    ScsiTaskResult Vendor(const Cdb& cdb, const ScsiTask& task);

    // The fault of a range a media command names, if any.
    std::optional<ScsiTaskResult> CheckRange(const Range& range, bool limitLength) const;
    bool MediumPresent();
    // Records the plug state; a plug that has come back raises a unit attention.
    void ObservePlug();
    void KnowNexus(std::uint64_t nexus);
    void RaiseUnitAttention(scsi::SenseCode code); // with m_stateMutex held
    // The attention `nexus` has not had yet, once.
    std::optional<scsi::SenseCode> TakeUnitAttention(std::uint64_t nexus);

    std::unique_ptr<DiskImage> m_image;
    std::unique_ptr<IVendorPort> m_vendor;
    const DiskIdentity m_identity;
    const std::uint64_t m_blockCount;

    std::mutex m_stateMutex; // guards what follows
    bool m_plugged = true;
    bool m_loaded = true;
    std::set<std::uint64_t> m_preventing;                    // nexuses that prevent medium removal
    scsi::SenseCode m_unitAttention;                         // the latest attention...
    std::uint64_t m_attentions = 0;                          // ...and how many there have been
    std::map<std::uint64_t, std::uint64_t> m_attentionsSeen; // per nexus
};

} // namespace vdrive
