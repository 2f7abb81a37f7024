// The host side of the tests: the vendor primitives and frame steps of CFingerDisk on any
// transport, with a clock that only records its waits.
#pragma once

#include <cstdint>
#include <vector>

#include "device/clock.h"
#include "device/finger_disk.h"
#include "device/scsi_transport.h"

class RecordedWaits final : public IClock {
  public:
    void Sleep(std::uint32_t milliseconds) override { waits.push_back(milliseconds); }
    std::vector<std::uint32_t> waits;
};

struct DriveClient {
    DriveClient(IScsiTransport& transport, char letter) : disk(transport, clock) {
        disk.m_driveLetter = letter;
    }

    bool Identify() {
        ReplyFrame reply;
        return disk.Identify(reply);
    }
    // A request with a reply frame of `length` bytes.
    bool Request(const vendor::Request& request, std::uint32_t length, ReplyFrame& reply) {
        return disk.SendRequestFrame(request, vendor::kWriteExpectsReply) &&
               disk.ReceiveReplyFrame(length, reply);
    }
    bool Start(const vendor::Request& request) {
        return disk.SendRequestFrame(request, vendor::kWriteStartsWork);
    }

    struct Poll {
        bool ok = false;
        std::uint16_t lengthField = 0;
        std::vector<std::uint8_t> report; // `n` bytes from offset 11
    };
    // One progress poll asking for `n` report bytes.
    Poll PollProgress(std::uint32_t n = 4) {
        Poll poll;
        ReplyFrame reply;
        poll.ok = Request(vendor::kProgressPoll, vendor::kFrameHeaderLength + n, reply);
        poll.lengthField = reply.BigEndian16(8);
        for (std::uint32_t i = 0; i < n; ++i) {
            poll.report.push_back(reply.At(vendor::kFrameHeaderLength + i));
        }
        return poll;
    }

    RecordedWaits clock;
    CFingerDisk disk;
};
