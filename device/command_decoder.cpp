#include "device/command_decoder.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "device/scrambler.h"
#include "device/vendor_protocol.h"

namespace {

constexpr std::size_t kTagOffset = 12; // CDB bytes 12..15: the family tag

std::uint8_t ByteAt(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return offset < bytes.size() ? bytes[offset] : 0;
}

std::string Printable(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        text += byte >= 0x20 && byte <= 0x7E ? static_cast<char>(byte) : '.';
    }
    return text;
}

bool SameRequest(const vendor::Request& a, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
    return a.b1 == b1 && a.b2 == b2 && a.b3 == b3;
}

RequestKind KindOf(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
    if (SameRequest(vendor::kStatusRequest, b1, b2, b3))
        return RequestKind::Status;
    if (SameRequest(vendor::kProgressPoll, b1, b2, b3))
        return RequestKind::Poll;
    if (SameRequest(vendor::kInstallStart, b1, b2, b3))
        return RequestKind::Install;
    if (SameRequest(vendor::kEraseStart, b1, b2, b3))
        return RequestKind::Erase;
    if (SameRequest(vendor::kModelRequest, b1, b2, b3))
        return RequestKind::Model;
    return RequestKind::Unknown;
}

const char* RequestName(RequestKind kind) {
    switch (kind) {
    case RequestKind::Status:
        return "status request";
    case RequestKind::Poll:
        return "progress poll";
    case RequestKind::Install:
        return "install start";
    case RequestKind::Erase:
        return "erase start";
    case RequestKind::Model:
        return "model request";
    case RequestKind::Unknown:
        break;
    }
    return "unknown request";
}

std::string Hex2(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02x", value & 0xFFu);
    return text;
}

std::string DescribeIdentification(std::span<const std::uint8_t> data) {
    const unsigned count = ByteAt(data, vendor::kTagCountOffset);
    if (count > vendor::kMaxIdentifyTags) {
        return "announces " + std::to_string(count) + " tags, more than fit";
    }
    std::string tags;
    for (unsigned i = 0; i < count; ++i) {
        const std::size_t at = vendor::kTagsOffset + 4 * i;
        if (at + 4 > data.size())
            break;
        tags += (tags.empty() ? "" : " ") + Printable(data.subspan(at, 4));
    }
    const std::size_t vendorAt = vendor::kTagsOffset + 4 * count;
    const std::string vendorName =
        vendorAt + 8 <= data.size() ? Printable(data.subspan(vendorAt, 8)) : std::string{};
    return "tags [" + tags + "], vendor \"" + vendorName + "\"";
}

} // namespace

std::string FormatHex(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        if (!text.empty())
            text += ' ';
        text += Hex2(byte);
    }
    return text;
}

DecodedCommand CommandDecoder::Decode(const Cdb& cdb, ScsiDirection direction,
                                      std::span<const std::uint8_t> data, bool succeeded) {
    const std::string_view tag(reinterpret_cast<const char*>(cdb.data()) + kTagOffset, 4);
    if (cdb[0] != vendor::kOperationCode) {
        return {"operation " + Hex2(cdb[0]), {}, "not a vendor command"};
    }
    if (tag == vendor::kIdentifyTag) {
        DecodedCommand decoded{"INQU identify", {}, {}};
        if (succeeded && direction == ScsiDirection::Read) {
            decoded.meaning = DescribeIdentification(data);
        }
        return decoded;
    }
    if (tag == vendor::kSecureTag) {
        return DecodeSecu(cdb, data, succeeded);
    }
    return {
        "tag \"" + Printable(std::span(cdb).subspan(kTagOffset, 4)) + "\"", {}, "unknown family"};
}

DecodedCommand CommandDecoder::DecodeSecu(const Cdb& cdb, std::span<const std::uint8_t> data,
                                          bool succeeded) {
    DecodedCommand decoded;
    switch (cdb[2]) {
    case vendor::kSubReadIdentity:
        decoded.name = "SECU read identity";
        if (succeeded)
            decoded.meaning = "identity \"" + Printable(data) + "\"";
        break;
    case vendor::kSubReadSeed:
        decoded.name = "SECU read seed";
        m_seed = succeeded ? static_cast<std::uint16_t>(ByteAt(data, 0) << 8 | ByteAt(data, 1)) : 0;
        decoded.meaning = "seed " + Hex2(m_seed >> 8) + Hex2(m_seed);
        break;
    case vendor::kSubWriteBlock: {
        decoded.name = cdb[3] == vendor::kWriteExpectsReply ? "SECU write frame (reply follows)"
                                                            : "SECU write frame (starts work)";
        decoded.frame.assign(data.begin(), data.end());
        ScrambleBlock(m_seed, decoded.frame.data(), static_cast<std::int32_t>(data.size()),
                      decoded.frame.data());
        const std::span<const std::uint8_t> frame(decoded.frame);
        const bool signed_ = frame.size() >= vendor::kRequestFrameLength &&
                             std::equal(vendor::kFrameSignature.begin(),
                                        vendor::kFrameSignature.end(), frame.begin());
        m_lastRequest = signed_ ? KindOf(frame[8], frame[9], frame[10]) : RequestKind::Unknown;
        decoded.meaning = signed_ ? RequestName(m_lastRequest) : "frame without signature";
        break;
    }
    case vendor::kSubReadBlock:
        decoded.name = "SECU read frame";
        if (succeeded) {
            decoded.frame.assign(data.begin(), data.end());
            ScrambleBlock(m_seed, decoded.frame.data(), static_cast<std::int32_t>(data.size()),
                          decoded.frame.data());
            decoded.meaning = DescribeReply(decoded.frame);
        }
        break;
    default:
        decoded.name = "SECU sub-command " + Hex2(cdb[2]);
        decoded.meaning = "unknown sub-command";
        break;
    }
    return decoded;
}

std::string CommandDecoder::DescribeReply(std::span<const std::uint8_t> frame) const {
    const std::size_t header = vendor::kFrameHeaderLength;
    const std::span<const std::uint8_t> payload =
        frame.size() > header ? frame.subspan(header) : std::span<const std::uint8_t>{};
    switch (m_lastRequest) {
    case RequestKind::Status: {
        unsigned installed = 0;
        unsigned free = 0;
        for (std::size_t d = 0; d < vendor::kSlotCount; ++d) {
            const std::uint8_t digit = static_cast<std::uint8_t>('0' + d);
            const std::uint8_t kind = ByteAt(payload, 3 * d);
            if (ByteAt(payload, 3 * d + 1) != digit || ByteAt(payload, 3 * d + 2) != ' ')
                continue;
            installed += kind == 'S';
            free += kind == 'F';
        }
        return "slots \"" + Printable(payload.first(std::min<std::size_t>(payload.size(), 30))) +
               "\": " + std::to_string(installed) + " installed, " + std::to_string(free) + " free";
    }
    case RequestKind::Poll: {
        const unsigned length = static_cast<unsigned>(ByteAt(frame, 8) << 8 | ByteAt(frame, 9));
        // The length field counts one byte more than the report; 1 means no report.
        if (length == 1)
            return "no report";
        return "report (length field " + std::to_string(length) + ") \"" +
               Printable(payload.first(std::min<std::size_t>(payload.size(), 4))) + "\"";
    }
    case RequestKind::Model:
        return "model \"" +
               Printable(payload.first(std::min(payload.size(), vendor::kModelTextLength))) + "\"";
    default:
        return "reply to " + std::string(RequestName(m_lastRequest));
    }
}
