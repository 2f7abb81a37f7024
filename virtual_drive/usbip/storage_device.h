// One imported USB mass-storage device: endpoint 0 and the two bulk endpoints of the
// Bulk-Only Transport over a volume's disk, for the one host that imported it. Every
// submitted transfer is answered at once or waits (a bulk transfer the transport cannot
// take yet, or one a silent drive never answers); a waiting one is answered as soon as the
// transport takes it, or never if the host unlinks it first.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "virtual_drive/disk/logical_unit.h"
#include "virtual_drive/usbip/bulk_only.h"
#include "virtual_drive/usbip/control_requests.h"
#include "virtual_drive/usbip/held_sense.h"
#include "virtual_drive/usbip/pdu.h"

namespace vdrive::usbip {

// A CMD_SUBMIT with the data of an OUT transfer.
struct Submission {
    UrbHeader header;
    std::vector<std::uint8_t> data;
};

// A RET_SUBMIT to send.
struct Completion {
    UrbHeader header; // of the submission it answers
    UrbReply reply;
};

// The data bytes that follow `header` on the wire; none when the message is one this
// device cannot serve (an unknown command, isochronous packets, an oversized transfer, more
// than `maxWaiting` transfers waiting): the connection ends.
std::optional<std::uint32_t> DataFollowing(const UrbHeader& header, std::size_t waiting,
                                           std::size_t maxWaiting);

class StorageDevice {
  public:
    // `nexus` names the importing host to the disk; the disk must outlive the device.
    StorageDevice(IScsiLogicalUnit& disk, std::uint64_t nexus, UsbIdentity identity);
    ~StorageDevice() { m_disk.NexusLost(m_nexus); }
    StorageDevice(const StorageDevice&) = delete;
    StorageDevice& operator=(const StorageDevice&) = delete;

    // Appends to `done` the completions this submission brings about, its own among them
    // unless it waits.
    void Submit(Submission submission, std::vector<Completion>& done);
    // CMD_UNLINK: true when the submission was still waiting (it is never answered now).
    bool Unlink(std::uint32_t seqnum);

    // One URB message as the connection reads it: its header, then (for an OUT submit) its
    // data. Appends the RET_SUBMIT and RET_UNLINK messages to send.
    void Handle(const UrbHeader& header, std::vector<std::uint8_t> data,
                std::vector<std::uint8_t>& out);

    // How many submissions wait (bounded by the caller).
    std::size_t Waiting() const { return m_waitingIn.size() + m_waitingOut.size(); }
    const BulkOnlyTransport& Transport() const { return m_transport; }

  private:
    // Offers the waiting bulk transfers to the transport, oldest first, until none is taken.
    void Pump(std::vector<Completion>& done);

    IScsiLogicalUnit& m_disk;
    const std::uint64_t m_nexus;
    HeldSenseUnit m_sense;
    BulkOnlyTransport m_transport;
    ControlEndpoint m_control;
    std::deque<Submission> m_waitingIn;
    std::deque<Submission> m_waitingOut;
};

} // namespace vdrive::usbip
