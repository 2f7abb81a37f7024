// One iSCSI protocol data unit: the 48-byte basic header segment and its data segment,
// with the header fields this target reads and writes. Numbers are big-endian on the wire.
// No digests are ever negotiated, so a PDU on the wire is header, additional header
// segments (skipped), data and padding to a multiple of four bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace vdrive::iscsi {

inline constexpr std::size_t kHeaderLength = 48;
inline constexpr std::uint32_t kReservedTag = 0xFFFFFFFF;

enum class Opcode : std::uint8_t {
    NopOut = 0x00,
    ScsiCommand = 0x01,
    TaskManagement = 0x02,
    LoginRequest = 0x03,
    TextRequest = 0x04,
    DataOut = 0x05,
    LogoutRequest = 0x06,
    Snack = 0x10,
    NopIn = 0x20,
    ScsiResponse = 0x21,
    TaskManagementResponse = 0x22,
    LoginResponse = 0x23,
    TextResponse = 0x24,
    DataIn = 0x25,
    LogoutResponse = 0x26,
    ReadyToTransfer = 0x31,
    Reject = 0x3F,
};

// Byte offsets of the header fields (they share places between PDU types).
namespace field {
inline constexpr std::size_t kFlags = 1;
inline constexpr std::size_t kLun = 8;
inline constexpr std::size_t kTaskTag = 16; // initiator task tag
inline constexpr std::size_t kWord20 = 20;  // target transfer tag, expected length, CID
inline constexpr std::size_t kWord24 = 24;  // CmdSN or StatSN
inline constexpr std::size_t kWord28 = 28;  // ExpStatSN or ExpCmdSN
inline constexpr std::size_t kWord32 = 32;  // MaxCmdSN, RefCmdSN, start of the CDB
inline constexpr std::size_t kWord36 = 36;  // DataSN, R2TSN, ExpDataSN, status class
inline constexpr std::size_t kWord40 = 40;  // buffer offset
inline constexpr std::size_t kWord44 = 44;  // residual count, desired data length
inline constexpr std::size_t kCdb = 32;
} // namespace field

struct Pdu {
    std::array<std::uint8_t, kHeaderLength> header{};
    std::vector<std::uint8_t> data;

    Pdu() = default;
    // A target PDU of `opcode` with the final bit set.
    explicit Pdu(Opcode opcode);

    Opcode Op() const { return static_cast<Opcode>(header[0] & 0x3F); }
    bool Immediate() const { return (header[0] & 0x40) != 0; }
    std::uint8_t Flags() const { return header[field::kFlags]; }
    bool Final() const { return (Flags() & 0x80) != 0; }
    std::uint32_t Word(std::size_t offset) const;
    void SetWord(std::size_t offset, std::uint32_t value);
    std::uint32_t TaskTag() const { return Word(field::kTaskTag); }
    // Header byte 5..7: the data segment length as sent.
    std::uint32_t DeclaredDataLength() const;
};

// Reads exactly `length` bytes; false on time-out, error or the peer's close.
using ByteSource = std::function<bool(std::uint8_t* data, std::size_t length)>;

enum class ReadResult {
    Ok,
    Closed,    // the peer closed, stalled or the link failed
    Malformed, // a length past the limit: the connection must end
};

// Reads from `bytes` onwards of `at`, moving `at` on (for reading PDUs back in tests and
// fuzzing). `bytes` and `at` must outlive the source.
ByteSource MemorySource(std::span<const std::uint8_t> bytes, std::size_t& at);

// Reads one PDU. Data segments longer than `maxDataLength` are refused unread.
ReadResult ReadPdu(const ByteSource& source, std::uint32_t maxDataLength, Pdu& pdu);

// Hands what `out` holds to the wire and empties it.
using Flush = std::function<void(std::vector<std::uint8_t>& out)>;

// Appends the PDU as it goes on the wire (lengths filled in, data padded).
void AppendPdu(const Pdu& pdu, std::vector<std::uint8_t>& out);
// Appends a PDU whose data segment lies elsewhere, without copying it first.
void AppendPdu(Pdu& header, std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out);

} // namespace vdrive::iscsi
