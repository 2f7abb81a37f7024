// Reads vendor commands back as the drive sees them: which family and sub-command a CDB
// is, which seed keys the frame that follows, the descrambled frame and what it asks or
// reports. Used by the command line's wire trace; a log of the virtual drive can use it
// too. Every read of the data is bounds-checked: a short or failed command is described,
// never read past.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "device/scsi_types.h"

// The kind of request a request frame carries.
enum class RequestKind { Status, Poll, Install, Erase, Model, Unknown };

struct DecodedCommand {
    std::string name;                // "INQU identify", "SECU read seed", ...
    std::vector<std::uint8_t> frame; // the descrambled frame, for frame writes and reads
    std::string meaning;             // what the command asks or what its reply says
};

// Bytes as two-digit hexadecimal numbers separated by blanks ("fc 02 00").
std::string FormatHex(std::span<const std::uint8_t> bytes);

// Decodes commands in the order they crossed the wire. It keeps the last seed read and the
// last request written, so each frame is descrambled with its own seed and each reply is
// read as the answer to its request.
class CommandDecoder {
  public:
    DecodedCommand Decode(const Cdb& cdb, ScsiDirection direction,
                          std::span<const std::uint8_t> data, bool succeeded);

  private:
    DecodedCommand DecodeSecu(const Cdb& cdb, std::span<const std::uint8_t> data, bool succeeded);
    std::string DescribeReply(std::span<const std::uint8_t> frame) const;

    std::uint16_t m_seed = 0; // a failed seed read leaves 0: the frame travels in plain text
    RequestKind m_lastRequest = RequestKind::Unknown;
};
