// The device record and the vendor command primitives of the fingerprint drive.
//
// Every primitive opens the volume named by m_driveLetter, sends, and closes it before it
// returns: no handle outlives one command. "SECU" commands make up to three attempts on
// one open volume (waits of 200 ms and 500 ms); identification makes one.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "device/clock.h"
#include "device/reply_frame.h"
#include "device/scsi_transport.h"
#include "device/vendor_protocol.h"

using SecureIdentity = std::array<std::uint8_t, vendor::kIdentityLength>;

class CFingerDisk {
public:
    CFingerDisk(IScsiTransport& transport, IClock& clock);

    // Letter of the volume vendor commands go to ('C'..'Z'); 0 means no drive.
    char m_driveLetter = 0;
    // Command tags of the last identification: count and 4 ASCII bytes each, zero after.
    std::uint32_t m_tagCount = 0;
    std::array<std::uint8_t, vendor::kTagListSize> m_tagList{};

    // Identification ("INQU"), one attempt. On success fills `reply` (512 bytes) and
    // records the tag list. A reply announcing more tags than fit counts as a failure;
    // on failure the record is unchanged.
    bool Identify(ReplyFrame& reply);
    // Position of the "SECU" tag among the recorded tags.
    std::optional<std::uint8_t> FindSecuTag() const;

    // "SECU" sub-command 0: the 8-byte secure identity. Clears out[0..1] first.
    bool ReadSecureIdentity(SecureIdentity& out);
    // "SECU" sub-command 1: the seed, high byte first; 0 when the command fails.
    std::uint16_t ReadSeed();
    // "SECU" sub-command 8: writes `length` (< 256) bytes with write code `code`.
    bool WriteBlock(const std::uint8_t* data, std::uint32_t length, std::uint8_t code);
    // "SECU" sub-command 9: reads `length` (< 256) bytes; the buffer is zeroed first.
    bool ReadBlock(std::uint8_t* buffer, std::uint32_t length);

    // Reads a seed, builds "JMTMES C" + the request bytes, scrambles the 11 bytes with
    // that seed and writes them. Returns WriteBlock's result (the seed read is not
    // checked: a failed one gives seed 0, which sends the frame in plain text).
    bool SendRequestFrame(const vendor::Request& request, std::uint8_t code);
    // Reads a fresh seed, reads `length` bytes and descrambles them into `frame`.
    bool ReceiveReplyFrame(std::uint32_t length, ReplyFrame& frame);

private:
    bool SendSecuCommand(std::uint8_t subCommand, std::uint8_t byte3, std::uint8_t byte11,
                         std::uint8_t* data, std::uint32_t length, ScsiDirection direction);

    IScsiTransport& m_transport;
    IClock& m_clock;
};
