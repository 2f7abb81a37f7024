#include "virtual_drive/usbip/bulk_only.h"

#include <algorithm>

#include "virtual_drive/disk/byte_order.h"
#include "virtual_drive/usbip/descriptors.h"

namespace vdrive::usbip {
namespace {

constexpr std::uint8_t kDirectionInFlag = 0x80;
constexpr std::uint8_t kVendorOperation = 0xFC;

std::uint32_t GetLe32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

void PutLe32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

bool ValidCbw(std::span<const std::uint8_t> cbw) {
    if (cbw.size() != kCbwSize || GetLe32(cbw, 0) != kCbwSignature) {
        return false;
    }
    const std::uint8_t lun = cbw[13];
    const std::uint8_t cdbLength = cbw[14];
    return lun == 0 && cdbLength >= 1 && cdbLength <= 16 && (cbw[12] & 0x7F) == 0;
}

bool WritesMedium(std::uint8_t operation) {
    switch (operation) {
    case 0x0A: // WRITE(6)
    case 0x2A: // WRITE(10)
    case 0x2E: // WRITE AND VERIFY(10)
    case 0x8A: // WRITE(16)
    case 0x8E: // WRITE AND VERIFY(16)
    case 0xAA: // WRITE(12)
    case 0xAE: // WRITE AND VERIFY(12)
        return true;
    default:
        return false;
    }
}

enum class Intent { None, In, Out };

// Which way the device means to move the command's data: write commands out, vendor
// commands the way the host asked, every other command with data in.
Intent DeviceIntent(std::uint8_t operation, bool hostReads, const ScsiTaskResult& result) {
    if (result.commandLength == 0) {
        return Intent::None;
    }
    if (WritesMedium(operation)) {
        return Intent::Out;
    }
    if (operation == kVendorOperation) {
        return hostReads ? Intent::In : Intent::Out;
    }
    return Intent::In;
}

} // namespace

bool BulkOnlyTransport::Halted(std::uint8_t endpoint) const {
    return endpoint == kBulkInEndpoint ? m_inHalted : m_outHalted;
}

void BulkOnlyTransport::ClearHalt(std::uint8_t endpoint) {
    if (m_awaitingReset) {
        return;
    }
    (endpoint == kBulkInEndpoint ? m_inHalted : m_outHalted) = false;
}

void BulkOnlyTransport::Reset() {
    m_awaitingReset = false;
    m_phase = Phase::Command;
    m_data.clear();
    m_csw.clear();
}

UrbReply BulkOnlyTransport::Stall(bool in) {
    (in ? m_inHalted : m_outHalted) = true;
    UrbReply reply;
    reply.status = kStatusStall;
    return reply;
}

std::optional<UrbReply> BulkOnlyTransport::Out(std::span<const std::uint8_t> data) {
    if (m_outHalted) {
        return Stall(false);
    }
    switch (m_phase) {
    case Phase::Command:
        return TakeCbw(data);
    case Phase::DataOut: {
        const std::size_t taken = std::min<std::size_t>(data.size(), m_hostLength - m_data.size());
        m_data.insert(m_data.end(), data.begin(), data.begin() + static_cast<long>(taken));
        // The stage ends with the length the CBW named or a short transfer.
        if (m_data.size() == m_hostLength || data.size() % kBulkPacketSize != 0) {
            std::vector<std::uint8_t> dataOut = std::move(m_data);
            Run(dataOut);
        }
        UrbReply reply;
        reply.outLength = static_cast<std::uint32_t>(taken);
        return reply;
    }
    default:
        return std::nullopt;
    }
}

UrbReply BulkOnlyTransport::TakeCbw(std::span<const std::uint8_t> cbw) {
    UrbReply reply;
    reply.outLength = static_cast<std::uint32_t>(cbw.size());
    // A transfer longer than any command here moves counts as invalid too.
    if (!ValidCbw(cbw) || GetLe32(cbw, 8) > kMaxTransfer) {
        m_inHalted = m_outHalted = m_awaitingReset = true;
        return reply;
    }
    m_tag = GetLe32(cbw, 4);
    m_hostLength = GetLe32(cbw, 8);
    m_hostReads = (cbw[12] & kDirectionInFlag) != 0;
    m_cdb.assign(cbw.begin() + 15, cbw.begin() + 15 + cbw[14]);
    m_data.clear();
    if (m_hostLength > 0 && !m_hostReads) {
        m_phase = Phase::DataOut;
    } else {
        Run({});
    }
    return reply;
}

void BulkOnlyTransport::Run(std::span<const std::uint8_t> dataOut) {
    const bool hostWrites = m_hostLength > 0 && !m_hostReads;
    ScsiTask task;
    task.cdb = m_cdb;
    task.expectedLength = m_hostLength;
    task.readsData = m_hostLength > 0 && m_hostReads;
    task.writesData = hostWrites;
    task.dataOut = dataOut;
    task.nexus = m_nexus;
    ScsiTaskResult result = m_unit.Execute(task);
    if (!result.answered) {
        m_phase = Phase::Silent;
        return;
    }
    const CswStatus status =
        result.status == kScsiStatusGood ? CswStatus::Passed : CswStatus::Failed;
    const Intent intent = DeviceIntent(m_cdb[0], m_hostReads, result);
    const std::uint32_t length = result.commandLength;
    const std::uint32_t host = m_hostLength;
    m_data.clear();
    if (host == 0) { // cases 1 to 3
        Finish(intent == Intent::None ? status : CswStatus::PhaseError, 0);
    } else if (task.readsData) {
        if (intent == Intent::Out) { // case 8: nothing to send, the bulk-in stalls
            Finish(CswStatus::PhaseError, host);
        } else { // cases 4 to 7: what there is, cut to the host's length
            m_data = std::move(result.dataIn);
            m_data.resize(std::min<std::size_t>(m_data.size(), host));
            const bool tooMuch = intent == Intent::In && length > host;
            Finish(tooMuch ? CswStatus::PhaseError : status,
                   host - static_cast<std::uint32_t>(m_data.size()));
        }
    } else if (intent == Intent::In || (intent == Intent::Out && length > host)) {
        Finish(CswStatus::PhaseError, 0); // cases 10 and 13
    } else { // cases 9, 11 and 12: the data not processed is the residue
        Finish(status, host - (intent == Intent::Out ? length : 0));
    }
    if (task.readsData) {
        m_sent = 0;
        m_phase = Phase::DataIn;
    }
}

void BulkOnlyTransport::Finish(CswStatus status, std::uint32_t residue) {
    m_lastStatus = status;
    m_lastResidue = residue;
    m_csw.assign(kCswSize, 0);
    PutLe32(m_csw, 0, kCswSignature);
    PutLe32(m_csw, 4, m_tag);
    PutLe32(m_csw, 8, residue);
    m_csw[12] = static_cast<std::uint8_t>(status);
    m_phase = Phase::Status;
}

std::optional<UrbReply> BulkOnlyTransport::In(std::uint32_t length) {
    if (m_inHalted) {
        return Stall(true);
    }
    UrbReply reply;
    if (m_phase == Phase::DataIn) {
        if (m_sent == m_data.size()) {
            // All sent and the host still wants more: a stall ends the data stage.
            m_phase = Phase::Status;
            return Stall(true);
        }
        const std::size_t chunk = std::min<std::size_t>(length, m_data.size() - m_sent);
        reply.data.assign(m_data.begin() + static_cast<long>(m_sent),
                          m_data.begin() + static_cast<long>(m_sent + chunk));
        m_sent += chunk;
        // A short transfer ends the stage; so does the length the CBW named.
        if (m_sent == m_data.size() && (chunk < length || m_sent == m_hostLength)) {
            m_phase = Phase::Status;
        }
        return reply;
    }
    if (m_phase == Phase::Status) {
        reply.data = std::move(m_csw);
        reply.data.resize(std::min<std::size_t>(reply.data.size(), length));
        m_csw.clear();
        m_phase = Phase::Command;
        return reply;
    }
    return std::nullopt;
}

} // namespace vdrive::usbip
