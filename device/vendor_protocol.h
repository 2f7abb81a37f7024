// The drive's vendor command set: the values that the host and the virtual drive share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vendor {

inline constexpr std::uint8_t kOperationCode = 0xFC;

inline constexpr std::string_view kIdentifyTag = "INQU";
inline constexpr std::string_view kSecureTag = "SECU";
inline constexpr std::string_view kVendorName = "Kestrova";      // 8 bytes, not terminated
inline constexpr std::string_view kIdentityPrefix = "JMTMES";    // first 6 identity bytes
inline constexpr std::string_view kFrameSignature = "JMTMES C";  // request frame bytes 0..7

// CDB byte 2 of the "SECU" family.
inline constexpr std::uint8_t kSubReadIdentity = 0x00;
inline constexpr std::uint8_t kSubReadSeed = 0x01;
inline constexpr std::uint8_t kSubWriteBlock = 0x08;
inline constexpr std::uint8_t kSubReadBlock = 0x09;

// CDB byte 3 of WriteBlock.
inline constexpr std::uint8_t kWriteExpectsReply = 0x80;  // a reply frame is read next
inline constexpr std::uint8_t kWriteStartsWork = 0x00;    // install and erase start

inline constexpr std::size_t kIdentifyReplyLength = 512;
inline constexpr std::size_t kIdentityLength = 8;
inline constexpr std::size_t kSeedLength = 2;
inline constexpr std::size_t kRequestFrameLength = 11;  // bytes of a request frame sent
inline constexpr std::size_t kFrameHeaderLength = 11;   // reply payload starts here
inline constexpr std::size_t kTagListSize = 512;
// Tags and vendor name fit a 512-byte reply only up to this many tags.
inline constexpr unsigned kMaxIdentifyTags = 124;

// Identification reply layout.
inline constexpr std::size_t kTagCountOffset = 5;
inline constexpr std::size_t kTagsOffset = 6;

// The three request bytes of each request frame (frame offsets 8, 9, 10).
struct Request {
    std::uint8_t b1, b2, b3;
};
inline constexpr Request kStatusRequest{0x00, 0x01, 0x6C};   // 'l': slot list
inline constexpr Request kProgressPoll{0x00, 0x00, 0x00};    // what happened since the last poll
inline constexpr Request kInstallStart{0x00, 0x01, 0x65};    // 'e': enrol a new finger
inline constexpr Request kEraseStart{0x00, 0x01, 0x70};      // 'p': erase every slot
inline constexpr Request kModelRequest{0x00, 0x01, 0xCA};    // 20-character model text

inline constexpr std::size_t kStatusReplyLength = 43;  // header + 32 payload bytes
inline constexpr std::size_t kModelReplyLength = 32;   // header + 21 payload bytes
inline constexpr std::size_t kSlotCount = 10;
inline constexpr std::size_t kModelTextLength = 20;

}  // namespace vendor
