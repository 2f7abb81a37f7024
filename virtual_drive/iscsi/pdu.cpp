#include "virtual_drive/iscsi/pdu.h"

#include <algorithm>

namespace vdrive::iscsi {

namespace {

constexpr std::size_t kAhsLengthByte = 4;
constexpr std::size_t kDataLengthByte = 5;

std::size_t Padding(std::size_t length) {
    return (4 - length % 4) % 4;
}

} // namespace

Pdu::Pdu(Opcode opcode) {
    header[0] = static_cast<std::uint8_t>(opcode);
    header[field::kFlags] = 0x80;
}

std::uint32_t Pdu::Word(std::size_t offset) const {
    return static_cast<std::uint32_t>(header[offset]) << 24 |
           static_cast<std::uint32_t>(header[offset + 1]) << 16 |
           static_cast<std::uint32_t>(header[offset + 2]) << 8 | header[offset + 3];
}

void Pdu::SetWord(std::size_t offset, std::uint32_t value) {
    header[offset] = static_cast<std::uint8_t>(value >> 24);
    header[offset + 1] = static_cast<std::uint8_t>(value >> 16);
    header[offset + 2] = static_cast<std::uint8_t>(value >> 8);
    header[offset + 3] = static_cast<std::uint8_t>(value);
}

std::uint32_t Pdu::DeclaredDataLength() const {
    return static_cast<std::uint32_t>(header[kDataLengthByte]) << 16 |
           static_cast<std::uint32_t>(header[kDataLengthByte + 1]) << 8 |
           header[kDataLengthByte + 2];
}

ByteSource MemorySource(std::span<const std::uint8_t> bytes, std::size_t& at) {
    return [bytes, &at](std::uint8_t* data, std::size_t length) {
        if (at > bytes.size() || bytes.size() - at < length) {
            return false;
        }
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), length, data);
        at += length;
        return true;
    };
}

ReadResult ReadPdu(const ByteSource& source, std::uint32_t maxDataLength, Pdu& pdu) {
    if (!source(pdu.header.data(), kHeaderLength)) {
        return ReadResult::Closed;
    }
    const std::uint32_t dataLength = pdu.DeclaredDataLength();
    if (dataLength > maxDataLength) {
        return ReadResult::Malformed;
    }
    // Additional header segments carry nothing this target uses (extended CDBs and
    // bidirectional lengths); they are read and dropped.
    const std::size_t ahsLength = static_cast<std::size_t>(pdu.header[kAhsLengthByte]) * 4;
    if (ahsLength > 0) {
        std::vector<std::uint8_t> ahs(ahsLength);
        if (!source(ahs.data(), ahs.size())) {
            return ReadResult::Closed;
        }
    }
    pdu.data.resize(dataLength + Padding(dataLength));
    if (!pdu.data.empty() && !source(pdu.data.data(), pdu.data.size())) {
        return ReadResult::Closed;
    }
    pdu.data.resize(dataLength);
    return ReadResult::Ok;
}

void AppendPdu(Pdu& header, std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out) {
    const auto length = static_cast<std::uint32_t>(data.size());
    header.header[kAhsLengthByte] = 0;
    header.header[kDataLengthByte] = static_cast<std::uint8_t>(length >> 16);
    header.header[kDataLengthByte + 1] = static_cast<std::uint8_t>(length >> 8);
    header.header[kDataLengthByte + 2] = static_cast<std::uint8_t>(length);
    out.insert(out.end(), header.header.begin(), header.header.end());
    out.insert(out.end(), data.begin(), data.end());
    out.resize(out.size() + Padding(data.size()), 0);
}

void AppendPdu(const Pdu& pdu, std::vector<std::uint8_t>& out) {
    Pdu header;
    header.header = pdu.header;
    AppendPdu(header, pdu.data, out);
}

} // namespace vdrive::iscsi
