// The request block of the Windows SCSI pass-through control codes, built byte by byte
// from a layout description so that both the 32-bit and the 64-bit layout can be built
// and checked on any host. scsi_transport_win32.cpp checks the layouts against the real
// structures at compile time and hands the block to DeviceIoControl.
//
// Buffered form (transfers below 16384 bytes): one zero-filled block of the header and a
// 16384-byte data area that carries the data both ways. Direct form (16384 bytes and
// more): the header alone, pointing at the caller's buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "device/scsi_types.h"

// Byte offsets of the header fields. The fields are little-endian; Length is 16 bits,
// DataTransferLength, TimeOutValue and SenseInfoOffset 32 bits, the data buffer field
// (DataBufferOffset, or DataBuffer of the direct form) pointer-sized.
struct PassThroughLayout {
    std::size_t headerSize; // size of the header, also the value of its Length field
    std::size_t dataOffset; // where the data area starts; also the direct form's block size
    std::size_t pointerSize;
    std::size_t lengthField;
    std::size_t scsiStatusField;
    std::size_t pathIdField;
    std::size_t targetIdField;
    std::size_t lunField;
    std::size_t cdbLengthField;
    std::size_t senseInfoLengthField;
    std::size_t dataInField;
    std::size_t dataTransferLengthField;
    std::size_t timeOutValueField;
    std::size_t dataBufferField;
    std::size_t senseInfoOffsetField;
    std::size_t cdbField;
};

// A 32-bit process: a 44-byte header, the data area at 48.
inline constexpr PassThroughLayout kPassThroughLayout32{.headerSize = 44,
                                                        .dataOffset = 48,
                                                        .pointerSize = 4,
                                                        .lengthField = 0,
                                                        .scsiStatusField = 2,
                                                        .pathIdField = 3,
                                                        .targetIdField = 4,
                                                        .lunField = 5,
                                                        .cdbLengthField = 6,
                                                        .senseInfoLengthField = 7,
                                                        .dataInField = 8,
                                                        .dataTransferLengthField = 12,
                                                        .timeOutValueField = 16,
                                                        .dataBufferField = 20,
                                                        .senseInfoOffsetField = 24,
                                                        .cdbField = 28};

// A 64-bit process: the pointer-sized field is 8-aligned, which moves everything after it
// and pads the header to 56 bytes; the data area starts at the next 16-byte boundary, as
// it does (at 48) in the 32-bit layout.
inline constexpr PassThroughLayout kPassThroughLayout64{.headerSize = 56,
                                                        .dataOffset = 64,
                                                        .pointerSize = 8,
                                                        .lengthField = 0,
                                                        .scsiStatusField = 2,
                                                        .pathIdField = 3,
                                                        .targetIdField = 4,
                                                        .lunField = 5,
                                                        .cdbLengthField = 6,
                                                        .senseInfoLengthField = 7,
                                                        .dataInField = 8,
                                                        .dataTransferLengthField = 12,
                                                        .timeOutValueField = 16,
                                                        .dataBufferField = 24,
                                                        .senseInfoOffsetField = 32,
                                                        .cdbField = 36};

// The layout of the running process.
constexpr const PassThroughLayout& NativePassThroughLayout() {
    return sizeof(void*) == 8 ? kPassThroughLayout64 : kPassThroughLayout32;
}

inline constexpr std::uint32_t kIoctlScsiPassThrough = 0x4D004;
inline constexpr std::uint32_t kIoctlScsiPassThroughDirect = 0x4D014;
inline constexpr std::uint32_t kBufferedDataCapacity = 16384;
inline constexpr std::uint8_t kScsiIoctlDataOut = 0;
inline constexpr std::uint8_t kScsiIoctlDataIn = 1;

enum class PassThroughForm { Buffered, Direct };

// One pass-through request: Prepare fills the block, the platform call sends it (same
// block as input and output buffer), Finish judges the outcome and copies a read back.
class PassThroughRequest {
  public:
    explicit PassThroughRequest(const PassThroughLayout& layout = NativePassThroughLayout());

    // Builds the block for one command on the caller's `data` of `length` bytes. The
    // buffer must stay valid until Finish (the direct form points at it).
    void Prepare(const Cdb& cdb, std::uint8_t* data, std::uint32_t length, ScsiDirection direction);

    PassThroughForm Form() const { return m_form; }
    std::uint32_t IoControlCode() const;
    std::span<std::uint8_t> Block() { return {m_block.data(), m_blockSize}; }
    std::span<const std::uint8_t> Block() const { return {m_block.data(), m_blockSize}; }
    // Buffer sizes handed to the platform call.
    std::uint32_t InputSize() const { return m_inputSize; }
    std::uint32_t OutputSize() const { return m_outputSize; }
    // The SCSI status the platform wrote back into the header.
    std::uint8_t ScsiStatus() const { return m_block[m_layout.scsiStatusField]; }

    // The command succeeded only when the platform call did and the SCSI status is GOOD.
    // Then a buffered read copies the caller's `length` bytes back; otherwise `data`
    // keeps what it held.
    bool Finish(bool callSucceeded);

  private:
    void PutField(std::size_t offset, std::uint64_t value, std::size_t size);

    const PassThroughLayout& m_layout;
    std::vector<std::uint8_t> m_block;
    std::size_t m_blockSize = 0;
    PassThroughForm m_form = PassThroughForm::Buffered;
    std::uint32_t m_inputSize = 0;
    std::uint32_t m_outputSize = 0;
    std::uint8_t* m_data = nullptr;
    std::uint32_t m_length = 0;
    ScsiDirection m_direction = ScsiDirection::Write;
};
