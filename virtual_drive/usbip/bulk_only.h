// The Bulk-Only Transport of a USB mass-storage device: a 31-byte CBW on the bulk-out
// endpoint, the data stage in the direction and length it names, a 13-byte CSW on the
// bulk-in endpoint. Where host and device disagree on direction or length the thirteen
// cases of the Bulk-Only Transport decide: a stalled bulk-in endpoint for data the device
// has none of, a short transfer with a residue, a phase error. An invalid CBW stalls both
// endpoints until a reset recovery (Bulk-Only Mass Storage Reset, then CLEAR_FEATURE(HALT)
// on each endpoint). A command the drive leaves unanswered leaves the bulk-in transfers
// waiting until the host gives up on them and resets the device.
//
// Transfers are offered one at a time; one the machine cannot take in its present state
// (a CSW still to be read, a silent drive) is not answered now: the caller offers it again
// after the next transfer or reset.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "virtual_drive/disk/logical_unit.h"
#include "virtual_drive/usbip/pdu.h"

namespace vdrive::usbip {

inline constexpr std::size_t kCbwSize = 31;
inline constexpr std::size_t kCswSize = 13;
inline constexpr std::uint32_t kCbwSignature = 0x43425355; // "USBC"
inline constexpr std::uint32_t kCswSignature = 0x53425355; // "USBS"

enum class CswStatus : std::uint8_t { Passed = 0, Failed = 1, PhaseError = 2 };

class BulkOnlyTransport {
  public:
    // `unit` carries out the commands; `nexus` names this host to it.
    BulkOnlyTransport(IScsiLogicalUnit& unit, std::uint64_t nexus) : m_unit(unit), m_nexus(nexus) {}

    // A bulk-out transfer of `data`; none: not taken now.
    std::optional<UrbReply> Out(std::span<const std::uint8_t> data);
    // A bulk-in transfer of at most `length` bytes; none: nothing to send now.
    std::optional<UrbReply> In(std::uint32_t length);

    bool Halted(std::uint8_t endpoint) const;
    // CLEAR_FEATURE(ENDPOINT_HALT); a reset recovery that has not had its reset yet keeps
    // the endpoints stalled.
    void ClearHalt(std::uint8_t endpoint);
    // Bulk-Only Mass Storage Reset, or the device reset or configured again: ready for the
    // next CBW. The halts stay until cleared.
    void Reset();

    // For the tests: the last CSW's status and residue.
    CswStatus LastStatus() const { return m_lastStatus; }
    std::uint32_t LastResidue() const { return m_lastResidue; }

  private:
    enum class Phase { Command, DataOut, DataIn, Status, Silent };

    UrbReply TakeCbw(std::span<const std::uint8_t> cbw);
    // Carries out the command and prepares the data-in and CSW the thirteen cases call for.
    void Run(std::span<const std::uint8_t> dataOut);
    void Finish(CswStatus status, std::uint32_t residue);
    UrbReply Stall(bool in);

    IScsiLogicalUnit& m_unit;
    const std::uint64_t m_nexus;
    Phase m_phase = Phase::Command;
    bool m_inHalted = false;
    bool m_outHalted = false;
    bool m_awaitingReset = false; // an invalid CBW: the halts stay until a reset recovery

    // The command in progress.
    std::uint32_t m_tag = 0;
    std::uint32_t m_hostLength = 0; // dCBWDataTransferLength
    bool m_hostReads = false;
    std::vector<std::uint8_t> m_cdb;
    std::vector<std::uint8_t> m_data; // data-out collected, or data-in to send
    std::size_t m_sent = 0;
    std::vector<std::uint8_t> m_csw;
    CswStatus m_lastStatus = CswStatus::Passed;
    std::uint32_t m_lastResidue = 0;
};

} // namespace vdrive::usbip
