#include "virtual_drive/usbip/storage_device.h"

#include <algorithm>

namespace vdrive::usbip {
namespace {

constexpr std::uint32_t kBulkInNumber = kBulkInEndpoint & 0x0F;
constexpr std::uint32_t kBulkOutNumber = kBulkOutEndpoint & 0x0F;

bool Remove(std::deque<Submission>& queue, std::uint32_t seqnum) {
    const auto found = std::find_if(queue.begin(), queue.end(), [seqnum](const Submission& s) {
        return s.header.seqnum == seqnum;
    });
    if (found == queue.end()) {
        return false;
    }
    queue.erase(found);
    return true;
}

} // namespace

std::optional<std::uint32_t> DataFollowing(const UrbHeader& header, std::size_t waiting,
                                           std::size_t maxWaiting) {
    if (header.command == kCmdUnlink) {
        return 0;
    }
    if (header.command != kCmdSubmit || IsIsochronous(header) ||
        header.transferLength > kMaxTransfer || waiting >= maxWaiting) {
        return std::nullopt;
    }
    return header.direction == kDirOut ? header.transferLength : 0;
}

StorageDevice::StorageDevice(IScsiLogicalUnit& disk, std::uint64_t nexus, UsbIdentity identity)
    : m_disk(disk), m_nexus(nexus), m_sense(disk), m_transport(m_sense, nexus),
      m_control(std::move(identity), m_transport) {}

void StorageDevice::Submit(Submission submission, std::vector<Completion>& done) {
    const UrbHeader& header = submission.header;
    const bool in = header.direction == kDirIn;
    if (header.endpoint == 0) {
        UrbReply reply = m_control.Handle(DecodeSetup(header.setup), submission.data);
        if (in) {
            reply.data.resize(std::min<std::size_t>(reply.data.size(), header.transferLength));
        } else if (reply.status == kStatusOk) {
            reply.outLength = static_cast<std::uint32_t>(submission.data.size());
        }
        done.push_back({header, std::move(reply)});
    } else if (in && header.endpoint == kBulkInNumber) {
        m_waitingIn.push_back(std::move(submission));
    } else if (!in && header.endpoint == kBulkOutNumber) {
        m_waitingOut.push_back(std::move(submission));
    } else {
        UrbReply stall;
        stall.status = kStatusStall; // no such endpoint
        done.push_back({header, std::move(stall)});
    }
    Pump(done);
}

void StorageDevice::Pump(std::vector<Completion>& done) {
    for (bool progress = true; progress;) {
        progress = false;
        if (!m_waitingOut.empty()) {
            if (auto reply = m_transport.Out(m_waitingOut.front().data)) {
                done.push_back({m_waitingOut.front().header, std::move(*reply)});
                m_waitingOut.pop_front();
                progress = true;
            }
        }
        if (!m_waitingIn.empty()) {
            if (auto reply = m_transport.In(m_waitingIn.front().header.transferLength)) {
                done.push_back({m_waitingIn.front().header, std::move(*reply)});
                m_waitingIn.pop_front();
                progress = true;
            }
        }
    }
}

void StorageDevice::Handle(const UrbHeader& header, std::vector<std::uint8_t> data,
                           std::vector<std::uint8_t>& out) {
    if (header.command == kCmdUnlink) {
        EncodeRetUnlink(header.seqnum, Unlink(header.unlinkSeqnum) ? kStatusUnlinked : kStatusOk,
                        out);
        return;
    }
    std::vector<Completion> done;
    Submit({header, std::move(data)}, done);
    for (const Completion& completion : done) {
        EncodeRetSubmit(completion.header, completion.reply, out);
    }
}

bool StorageDevice::Unlink(std::uint32_t seqnum) {
    return Remove(m_waitingIn, seqnum) || Remove(m_waitingOut, seqnum);
}

} // namespace vdrive::usbip
