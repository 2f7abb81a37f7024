// A block read back from the drive, with bounds-checked access: a read past what the
// drive returned yields 0 (or false), never memory beyond the block.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

inline constexpr std::size_t kFrameBlockSize = 512;

class ReplyFrame {
public:
    ReplyFrame() = default;

    // The bytes received; at most kFrameBlockSize are kept.
    std::size_t Length() const { return m_length; }
    // Byte at `offset`, or 0 when `offset` lies beyond the received bytes.
    std::uint8_t At(std::size_t offset) const { return offset < m_length ? m_bytes[offset] : 0; }
    // 16-bit big-endian number at `offset` (0 where bytes are missing).
    std::uint16_t BigEndian16(std::size_t offset) const {
        return static_cast<std::uint16_t>(At(offset) << 8 | At(offset + 1));
    }
    // True when the received bytes at `offset` equal `text` exactly.
    bool Matches(std::size_t offset, std::string_view text) const;

    // For the code that fills the frame.
    std::uint8_t* Data() { return m_bytes.data(); }
    const std::uint8_t* Data() const { return m_bytes.data(); }
    void SetLength(std::size_t length) { m_length = length < kFrameBlockSize ? length : kFrameBlockSize; }

private:
    std::array<std::uint8_t, kFrameBlockSize> m_bytes{};
    std::size_t m_length = 0;
};
