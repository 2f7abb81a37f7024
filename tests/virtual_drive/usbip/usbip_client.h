// A minimal USB/IP client over one loopback connection, as vhci-hcd and the usbip tool
// speak to a server: the device list, an import, and transfers on the imported device,
// up to whole SCSI commands over the Bulk-Only Transport. For the tests and benchmarks.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/tcp_socket.h"
#include "virtual_drive/disk/byte_order.h"
#include "virtual_drive/usbip/bulk_only.h"
#include "virtual_drive/usbip/pdu.h"

namespace usbip_test {

using namespace vdrive::usbip;

struct Ret {
    std::uint32_t command = 0;
    std::uint32_t seqnum = 0;
    std::int32_t status = 0;
    std::uint32_t actual = 0;
    std::vector<std::uint8_t> data; // of an IN transfer
};

// The 31 bytes of a CBW.
inline std::vector<std::uint8_t> Cbw(std::uint32_t tag, std::uint32_t length, bool in,
                                     const std::vector<std::uint8_t>& cdb) {
    std::vector<std::uint8_t> cbw(kCbwSize, 0);
    const auto put = [&cbw](std::size_t at, std::uint32_t value) {
        for (std::size_t i = 0; i < 4; ++i) {
            cbw[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    };
    put(0, kCbwSignature);
    put(4, tag);
    put(8, length);
    cbw[12] = in ? 0x80 : 0x00;
    cbw[14] = static_cast<std::uint8_t>(cdb.size());
    std::copy(cdb.begin(), cdb.end(), cbw.begin() + 15);
    return cbw;
}

inline std::array<std::uint8_t, 8> SetupBytes(std::uint8_t type, std::uint8_t request,
                                              std::uint16_t value, std::uint16_t index,
                                              std::uint16_t length) {
    return {type,
            request,
            static_cast<std::uint8_t>(value),
            static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(index),
            static_cast<std::uint8_t>(index >> 8),
            static_cast<std::uint8_t>(length),
            static_cast<std::uint8_t>(length >> 8)};
}

// The identification vendor command: reads 512 bytes.
inline std::vector<std::uint8_t> IdentifyCdb() {
    std::vector<std::uint8_t> cdb(16, 0);
    cdb[0] = 0xFC;
    cdb[12] = 'I';
    cdb[13] = 'N';
    cdb[14] = 'Q';
    cdb[15] = 'U';
    return cdb;
}

class Client {
  public:
    explicit Client(std::uint16_t port) {
        std::string error;
        socket = TcpSocket::Connect("127.0.0.1", port, 1000, error);
    }

    bool SendOp(std::uint16_t code, const std::string& busId = {}) {
        std::vector<std::uint8_t> out;
        EncodeOpHeader({kVersion, code, 0}, out);
        if (code == kOpReqImport) {
            out.resize(out.size() + kBusIdSize, 0);
            std::copy(busId.begin(), busId.end(), out.end() - kBusIdSize);
        }
        return socket.SendAll(out.data(), out.size());
    }

    // The bus ids of the device list, or none when the server said nothing.
    std::optional<std::vector<std::string>> List() {
        if (!SendOp(kOpReqDevlist)) {
            return std::nullopt;
        }
        std::vector<std::uint8_t> head(12);
        if (!socket.ReceiveAll(head.data(), head.size(), 2000)) {
            return std::nullopt;
        }
        std::vector<std::string> ids;
        for (auto count = vdrive::scsi::GetBe(head, 8, 4); count > 0; --count) {
            std::vector<std::uint8_t> device(312);
            if (!socket.ReceiveAll(device.data(), device.size(), 2000)) {
                return std::nullopt;
            }
            std::vector<std::uint8_t> interfaces(4 * device[311]);
            socket.ReceiveAll(interfaces.data(), interfaces.size(), 2000);
            ids.emplace_back(reinterpret_cast<const char*>(device.data() + kPathSize));
        }
        return ids;
    }

    // The import reply's status (0 imported), or none when the server said nothing.
    std::optional<std::uint32_t> Import(const std::string& busId) {
        if (!SendOp(kOpReqImport, busId)) {
            return std::nullopt;
        }
        std::vector<std::uint8_t> head(kOpHeaderSize);
        if (!socket.ReceiveAll(head.data(), head.size(), 2000)) {
            return std::nullopt;
        }
        const auto status = static_cast<std::uint32_t>(vdrive::scsi::GetBe(head, 4, 4));
        if (status == kOpStatusOk) {
            importReply.resize(kImportReplySize - kOpHeaderSize);
            if (!socket.ReceiveAll(importReply.data(), importReply.size(), 2000)) {
                return std::nullopt;
            }
        }
        return status;
    }

    bool Submit(std::uint32_t number, std::uint32_t endpoint, bool in, std::uint32_t length,
                const std::vector<std::uint8_t>& data = {},
                std::array<std::uint8_t, 8> setup = {}) {
        UrbHeader header;
        header.command = kCmdSubmit;
        header.seqnum = number;
        header.devid = 1 << 16 | 1;
        header.direction = in ? kDirIn : kDirOut;
        header.endpoint = endpoint;
        header.transferLength = in ? length : static_cast<std::uint32_t>(data.size());
        header.setup = setup;
        std::vector<std::uint8_t> out;
        EncodeUrbHeader(header, out);
        if (!in) {
            out.insert(out.end(), data.begin(), data.end());
        }
        return socket.SendAll(out.data(), out.size());
    }

    bool Unlink(std::uint32_t number, std::uint32_t victim) {
        UrbHeader header;
        header.command = kCmdUnlink;
        header.seqnum = number;
        header.unlinkSeqnum = victim;
        std::vector<std::uint8_t> out;
        EncodeUrbHeader(header, out);
        return socket.SendAll(out.data(), out.size());
    }

    // The next RET_SUBMIT or RET_UNLINK, or none within `timeoutMs`. `in` says whether a
    // RET_SUBMIT carries data (the client remembers its own submissions).
    std::optional<Ret> Receive(bool in, int timeoutMs = 2000) {
        std::array<std::uint8_t, kUrbHeaderSize> head{};
        if (!socket.ReceiveAll(head.data(), head.size(), timeoutMs)) {
            return std::nullopt;
        }
        Ret ret;
        const auto word = [&head](std::size_t at) {
            return static_cast<std::uint32_t>(vdrive::scsi::GetBe(head, at, 4));
        };
        ret.command = word(0);
        ret.seqnum = word(4);
        ret.status = static_cast<std::int32_t>(word(20));
        ret.actual = word(24);
        if (ret.command == kRetSubmit && in && ret.actual > 0) {
            ret.data.resize(ret.actual);
            if (!socket.ReceiveAll(ret.data.data(), ret.data.size(), timeoutMs)) {
                return std::nullopt;
            }
        }
        return ret;
    }

    // A control transfer on endpoint 0.
    std::optional<Ret> Control(std::array<std::uint8_t, 8> setup) {
        const bool in = (setup[0] & 0x80) != 0;
        const auto length = static_cast<std::uint32_t>(setup[6] | setup[7] << 8);
        if (!Submit(++seqnum, 0, in, length, {}, setup)) {
            return std::nullopt;
        }
        return Receive(in);
    }

    struct ScsiResult {
        std::uint8_t cswStatus = 0xFF;
        std::uint32_t residue = 0;
        std::vector<std::uint8_t> data;
    };

    // One SCSI command through the Bulk-Only Transport (a stalled data stage cleared as a
    // host does); none when the device never finished it.
    std::optional<ScsiResult> Scsi(const std::vector<std::uint8_t>& cdb, std::uint32_t length,
                                   bool in, const std::vector<std::uint8_t>& dataOut = {}) {
        ScsiResult result;
        if (!Submit(++seqnum, 2, false, 0, Cbw(++tag, length, in, cdb)) || !Receive(false)) {
            return std::nullopt;
        }
        if (length > 0 && !in && (!Submit(++seqnum, 2, false, 0, dataOut) || !Receive(false))) {
            return std::nullopt;
        }
        if (length > 0 && in) {
            if (!Submit(++seqnum, 1, true, length)) {
                return std::nullopt;
            }
            std::optional<Ret> data = Receive(true);
            if (!data) {
                return std::nullopt;
            }
            if (data->status == kStatusStall &&
                !Control(SetupBytes(0x02, 0x01, 0, kBulkInAddress, 0))) {
                return std::nullopt;
            }
            result.data = std::move(data->data);
        }
        if (!Submit(++seqnum, 1, true, kCswSize)) {
            return std::nullopt;
        }
        std::optional<Ret> csw = Receive(true);
        if (!csw || csw->data.size() != kCswSize) {
            return std::nullopt;
        }
        result.cswStatus = csw->data[12];
        result.residue = static_cast<std::uint32_t>(csw->data[8] | csw->data[9] << 8 |
                                                    csw->data[10] << 16 | csw->data[11] << 24);
        return result;
    }

    static constexpr std::uint16_t kBulkInAddress = 0x81;

    TcpSocket socket;
    std::vector<std::uint8_t> importReply;
    std::uint32_t seqnum = 0;
    std::uint32_t tag = 0;
};

} // namespace usbip_test
