// Wire protocol version 1 between the virtual-drive client and tessalok-vdrive.
// All numbers big-endian; one TCP connection is one open volume handle.
//   'M'                                  -> mask (4 bytes), then the server closes
//   'O' letter                           -> 0 opened / 1 no such volume (then closed)
//   'C' cdb(16) direction(1) length(4) [length bytes for a write]
//                                        -> status(1) count(4) [count bytes]
//   'X' text length(2) UTF-8 text        -> text length(2) UTF-8 text, then closed
#pragma once

#include <cstddef>
#include <cstdint>

namespace vdrive_wire {

inline constexpr std::uint16_t kDefaultPort = 48150;
inline constexpr const char* kDefaultHost = "127.0.0.1";

inline constexpr std::uint8_t kMask = 'M';
inline constexpr std::uint8_t kOpen = 'O';
inline constexpr std::uint8_t kCommand = 'C';
inline constexpr std::uint8_t kControl = 'X';

inline constexpr std::uint8_t kOpened = 0;
inline constexpr std::uint8_t kNoSuchVolume = 1;

inline constexpr std::uint8_t kDirectionRead = 1;
inline constexpr std::uint8_t kDirectionWrite = 0;

// Longest data phase or control text either side accepts.
inline constexpr std::uint32_t kMaxLength = 65535;
// Bytes of a command message before its data: type, CDB, direction, length.
inline constexpr std::size_t kCommandHeaderLength = 1 + 16 + 1 + 4;

// The client's limit for each command reply.
inline constexpr int kReplyTimeoutMs = 4000;

inline void PutBig32(std::uint8_t* out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value >> 24);
    out[1] = static_cast<std::uint8_t>(value >> 16);
    out[2] = static_cast<std::uint8_t>(value >> 8);
    out[3] = static_cast<std::uint8_t>(value);
}
inline std::uint32_t GetBig32(const std::uint8_t* in) {
    return std::uint32_t{in[0]} << 24 | std::uint32_t{in[1]} << 16 | std::uint32_t{in[2]} << 8 |
           in[3];
}
inline void PutBig16(std::uint8_t* out, std::uint16_t value) {
    out[0] = static_cast<std::uint8_t>(value >> 8);
    out[1] = static_cast<std::uint8_t>(value);
}
inline std::uint16_t GetBig16(const std::uint8_t* in) {
    return static_cast<std::uint16_t>(in[0] << 8 | in[1]);
}

} // namespace vdrive_wire
