#include "device/finger_disk.h"

#include <algorithm>
#include <cstring>

#include "device/scrambler.h"

namespace {

constexpr std::uint32_t kRetryWaitsMs[] = {200, 500};

void PutTag(Cdb& cdb, std::string_view tag) {
    std::copy(tag.begin(), tag.end(), cdb.begin() + 12);
}

}  // namespace

CFingerDisk::CFingerDisk(IScsiTransport& transport, IClock& clock)
    : m_transport(transport), m_clock(clock) {}

bool CFingerDisk::Identify(ReplyFrame& reply) {
    const IScsiTransport::Handle handle = m_transport.OpenDrive(m_driveLetter);
    if (handle == IScsiTransport::kInvalidHandle) {
        return false;
    }
    Cdb cdb{};
    cdb[0] = vendor::kOperationCode;
    cdb[8] = 0x02;  // reply length 512, big-endian
    cdb[9] = 0x00;
    PutTag(cdb, vendor::kIdentifyTag);

    ReplyFrame received;
    const bool sent = m_transport.SendScsiCommand(handle, cdb, received.Data(),
                                                  vendor::kIdentifyReplyLength,
                                                  ScsiDirection::Read);
    m_transport.CloseDrive(handle);
    if (!sent) {
        return false;
    }
    received.SetLength(vendor::kIdentifyReplyLength);
    const unsigned tagCount = received.At(vendor::kTagCountOffset);
    // The tags and the vendor name must lie inside the reply; a reply that announces
    // more is not a drive this program can talk to.
    if (tagCount > vendor::kMaxIdentifyTags) {
        return false;
    }
    m_tagCount = tagCount;
    m_tagList.fill(0);
    std::memcpy(m_tagList.data(), received.Data() + vendor::kTagsOffset, 4u * tagCount);
    reply = received;
    return true;
}

std::optional<std::uint8_t> CFingerDisk::FindSecuTag() const {
    const std::uint32_t count = std::min<std::uint32_t>(m_tagCount, vendor::kTagListSize / 4);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (std::memcmp(m_tagList.data() + 4 * i, vendor::kSecureTag.data(), 4) == 0) {
            return static_cast<std::uint8_t>(i);
        }
    }
    return std::nullopt;
}

bool CFingerDisk::SendSecuCommand(std::uint8_t subCommand, std::uint8_t byte3,
                                  std::uint8_t byte11, std::uint8_t* data,
                                  std::uint32_t length, ScsiDirection direction) {
    const std::optional<std::uint8_t> position = FindSecuTag();
    if (!position) {
        return false;
    }
    const IScsiTransport::Handle handle = m_transport.OpenDrive(m_driveLetter);
    if (handle == IScsiTransport::kInvalidHandle) {
        return false;
    }
    Cdb cdb{};
    cdb[0] = vendor::kOperationCode;
    cdb[1] = *position;
    cdb[2] = subCommand;
    cdb[3] = byte3;
    cdb[11] = byte11;
    PutTag(cdb, vendor::kSecureTag);

    bool sent = m_transport.SendScsiCommand(handle, cdb, data, length, direction);
    for (const std::uint32_t wait : kRetryWaitsMs) {
        if (sent) {
            break;
        }
        m_clock.Sleep(wait);
        sent = m_transport.SendScsiCommand(handle, cdb, data, length, direction);
    }
    m_transport.CloseDrive(handle);
    return sent;
}

bool CFingerDisk::ReadSecureIdentity(SecureIdentity& out) {
    // A failed read must never leave something that begins with the expected identity.
    out[0] = 0;
    out[1] = 0;
    return SendSecuCommand(vendor::kSubReadIdentity, 0, vendor::kIdentityLength, out.data(),
                           vendor::kIdentityLength, ScsiDirection::Read);
}

std::uint16_t CFingerDisk::ReadSeed() {
    std::uint8_t reply[vendor::kSeedLength] = {0, 0};
    // CDB byte 11 stays 0 for the seed read although it moves 2 bytes.
    SendSecuCommand(vendor::kSubReadSeed, 0, 0, reply, vendor::kSeedLength, ScsiDirection::Read);
    return static_cast<std::uint16_t>(reply[0] << 8 | reply[1]);
}

bool CFingerDisk::WriteBlock(const std::uint8_t* data, std::uint32_t length, std::uint8_t code) {
    if (length > 0xFF) {
        return false;  // the length travels in one CDB byte
    }
    // The transport does not write into a buffer it sends; the copy keeps `data` const.
    std::array<std::uint8_t, 0xFF> copy{};
    std::copy_n(data, length, copy.begin());
    return SendSecuCommand(vendor::kSubWriteBlock, code, static_cast<std::uint8_t>(length),
                           copy.data(), length, ScsiDirection::Write);
}

bool CFingerDisk::ReadBlock(std::uint8_t* buffer, std::uint32_t length) {
    std::fill_n(buffer, length, std::uint8_t{0});
    if (length > 0xFF) {
        return false;
    }
    return SendSecuCommand(vendor::kSubReadBlock, 0, static_cast<std::uint8_t>(length), buffer,
                           length, ScsiDirection::Read);
}

bool CFingerDisk::SendRequestFrame(const vendor::Request& request, std::uint8_t code) {
    const std::uint16_t seed = ReadSeed();
    std::array<std::uint8_t, kFrameBlockSize> frame{};
    std::copy(vendor::kFrameSignature.begin(), vendor::kFrameSignature.end(), frame.begin());
    frame[8] = request.b1;
    frame[9] = request.b2;
    frame[10] = request.b3;
    std::array<std::uint8_t, vendor::kRequestFrameLength> sendBuffer{};
    ScrambleBlock(seed, frame.data(), vendor::kRequestFrameLength, sendBuffer.data());
    return WriteBlock(sendBuffer.data(), vendor::kRequestFrameLength, code);
}

bool CFingerDisk::ReceiveReplyFrame(std::uint32_t length, ReplyFrame& frame) {
    const std::uint16_t seed = ReadSeed();
    ReplyFrame received;
    if (length > kFrameBlockSize || !ReadBlock(received.Data(), length)) {
        frame = ReplyFrame{};
        return false;
    }
    ScrambleBlock(seed, received.Data(), static_cast<std::int32_t>(length), received.Data());
    received.SetLength(length);
    frame = received;
    return true;
}
