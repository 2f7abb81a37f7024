#include "virtual_drive/disk/block_device.h"

#include <algorithm>
#include <utility>

#include "virtual_drive/disk/byte_order.h"
#include "virtual_drive/disk/mode_pages.h"

namespace vdrive {
namespace {

using scsi::CheckCondition;
using scsi::IllegalRequest;
using scsi::SenseKey;

namespace op {
constexpr std::uint8_t kTestUnitReady = 0x00;
constexpr std::uint8_t kRequestSense = 0x03;
constexpr std::uint8_t kRead6 = 0x08;
constexpr std::uint8_t kWrite6 = 0x0A;
constexpr std::uint8_t kInquiry = 0x12;
constexpr std::uint8_t kModeSense6 = 0x1A;
constexpr std::uint8_t kStartStopUnit = 0x1B;
constexpr std::uint8_t kPreventAllow = 0x1E;
constexpr std::uint8_t kReadFormatCapacities = 0x23;
constexpr std::uint8_t kReadCapacity10 = 0x25;
constexpr std::uint8_t kRead10 = 0x28;
constexpr std::uint8_t kWrite10 = 0x2A;
constexpr std::uint8_t kWriteVerify10 = 0x2E;
constexpr std::uint8_t kVerify10 = 0x2F;
constexpr std::uint8_t kSynchronizeCache10 = 0x35;
constexpr std::uint8_t kModeSense10 = 0x5A;
constexpr std::uint8_t kRead16 = 0x88;
constexpr std::uint8_t kWrite16 = 0x8A;
constexpr std::uint8_t kWriteVerify16 = 0x8E;
constexpr std::uint8_t kSynchronizeCache16 = 0x91;
constexpr std::uint8_t kServiceActionIn16 = 0x9E;
constexpr std::uint8_t kReportLuns = 0xA0;
constexpr std::uint8_t kRead12 = 0xA8;
constexpr std::uint8_t kWrite12 = 0xAA;
constexpr std::uint8_t kWriteVerify12 = 0xAE;
constexpr std::uint8_t kVendor = 0xFC;
} // namespace op

constexpr std::uint8_t kReadCapacity16Action = 0x10;
constexpr std::uint8_t kFua = 0x08;

std::uint64_t Field(const Cdb& cdb, std::size_t at, std::size_t width) {
    return scsi::GetBe(cdb, at, width);
}

ScsiTaskResult NotReady() {
    return CheckCondition(SenseKey::NotReady, scsi::kMediumNotPresent);
}

// GOOD with `data` cut to the allocation length, then to what the initiator takes.
ScsiTaskResult DataIn(std::vector<std::uint8_t> data, std::uint64_t allocation,
                      const ScsiTask& task) {
    ScsiTaskResult result;
    const auto length =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(data.size(), allocation));
    result.commandLength = length;
    data.resize(task.readsData ? std::min(length, task.expectedLength) : 0);
    result.dataIn = std::move(data);
    return result;
}

std::optional<BlockRange> DecodeRange(const Cdb& cdb) {
    switch (cdb[0]) {
    case op::kRead6:
    case op::kWrite6: {
        const std::uint64_t blocks = cdb[4] == 0 ? 256 : cdb[4]; // 0 means 256 here
        return BlockRange{Field(cdb, 1, 3) & 0x1FFFFF, blocks, 0};
    }
    case op::kRead10:
    case op::kWrite10:
    case op::kWriteVerify10: // the medium keeps what it is given: verifying always agrees
    case op::kSynchronizeCache10:
    case op::kVerify10:
        return BlockRange{Field(cdb, 2, 4), Field(cdb, 7, 2), cdb[1]};
    case op::kRead12:
    case op::kWrite12:
    case op::kWriteVerify12:
        return BlockRange{Field(cdb, 2, 4), Field(cdb, 6, 4), cdb[1]};
    case op::kRead16:
    case op::kWrite16:
    case op::kWriteVerify16:
    case op::kSynchronizeCache16:
        return BlockRange{Field(cdb, 2, 8), Field(cdb, 10, 4), cdb[1]};
    default:
        return std::nullopt;
    }
}

} // namespace

BlockDevice::BlockDevice(std::unique_ptr<DiskImage> image, std::unique_ptr<IVendorPort> vendor,
                         DiskIdentity identity)
    : m_image(std::move(image)), m_vendor(std::move(vendor)), m_identity(std::move(identity)),
      m_blockCount(m_image->BlockCount()) {}

ScsiTaskResult BlockDevice::Execute(const ScsiTask& task) {
    if (task.cdb.empty()) {
        return IllegalRequest(scsi::kInvalidCommandOperationCode);
    }
    Cdb cdb{};
    std::copy_n(task.cdb.begin(), std::min(task.cdb.size(), cdb.size()), cdb.begin());
    KnowNexus(task.nexus);
    ObservePlug();
    switch (cdb[0]) {
    case op::kInquiry:
        return Inquiry(cdb, task);
    case op::kReportLuns:
        return ReportLuns(cdb, task);
    case op::kRequestSense:
        return RequestSense(cdb, task);
    case op::kVendor:
        return Vendor(cdb, task);
    default:
        return Dispatch(cdb, task);
    }
}

ScsiTaskResult BlockDevice::Dispatch(const Cdb& cdb, const ScsiTask& task) {
    const std::uint8_t code = cdb[0];
    const bool known = code == op::kTestUnitReady || code == op::kModeSense6 ||
                       code == op::kModeSense10 || code == op::kStartStopUnit ||
                       code == op::kPreventAllow || code == op::kReadCapacity10 ||
                       code == op::kReadFormatCapacities ||
                       code == op::kServiceActionIn16 || DecodeRange(cdb).has_value();
    if (!known) {
        return IllegalRequest(scsi::kInvalidCommandOperationCode);
    }
    if (const auto attention = TakeUnitAttention(task.nexus)) {
        return CheckCondition(SenseKey::UnitAttention, *attention);
    }
    switch (code) {
    case op::kTestUnitReady:
        return MediumPresent() ? ScsiTaskResult{} : NotReady();
    case op::kModeSense6:
    case op::kModeSense10:
        return ModeSense(cdb, task);
    case op::kStartStopUnit:
        return StartStopUnit(cdb);
    case op::kPreventAllow:
        return PreventAllow(cdb, task);
    case op::kReadFormatCapacities:
        return ReadFormatCapacities(cdb, task);
    default:
        break;
    }
    if (!MediumPresent()) {
        return NotReady();
    }
    switch (code) {
    case op::kReadCapacity10:
        return ReadCapacity10(cdb, task);
    case op::kServiceActionIn16:
        return ReadCapacity16(cdb, task);
    case op::kSynchronizeCache10:
    case op::kSynchronizeCache16:
        return SynchronizeCache(*DecodeRange(cdb));
    case op::kVerify10:
        return Verify(*DecodeRange(cdb));
    case op::kRead6:
    case op::kRead10:
    case op::kRead12:
    case op::kRead16:
        return Read(*DecodeRange(cdb), task);
    default:
        return Write(*DecodeRange(cdb), task);
    }
}

ScsiTaskResult BlockDevice::Inquiry(const Cdb& cdb, const ScsiTask& task) const {
    const bool evpd = (cdb[1] & 0x01) != 0;
    const bool cmdDt = (cdb[1] & 0x02) != 0; // obsolete: refused
    const std::uint8_t page = cdb[2];
    const std::uint64_t allocation = Field(cdb, 3, 2);
    if (cmdDt || (!evpd && page != 0)) {
        return IllegalRequest(scsi::kInvalidFieldInCdb);
    }
    if (!evpd) {
        return DataIn(StandardInquiry(m_identity), allocation, task);
    }
    auto data = VpdPage(page, m_identity);
    if (!data) {
        return IllegalRequest(scsi::kInvalidFieldInCdb);
    }
    return DataIn(std::move(*data), allocation, task);
}

ScsiTaskResult BlockDevice::RequestSense(const Cdb& cdb, const ScsiTask& task) {
    if ((cdb[1] & 0x01) != 0) { // descriptor format: only fixed format is kept
        return IllegalRequest(scsi::kInvalidFieldInCdb);
    }
    std::vector<std::uint8_t> sense;
    if (const auto attention = TakeUnitAttention(task.nexus)) {
        sense = scsi::FixedSense(SenseKey::UnitAttention, *attention);
    } else if (!MediumPresent()) {
        sense = scsi::FixedSense(SenseKey::NotReady, scsi::kMediumNotPresent);
    } else {
        sense = scsi::FixedSense(SenseKey::NoSense, scsi::kNoAdditionalSense);
    }
    return DataIn(std::move(sense), cdb[4], task);
}

ScsiTaskResult BlockDevice::ReportLuns(const Cdb& cdb, const ScsiTask& task) const {
    const std::uint8_t select = cdb[2];
    if (select > 2) {
        return IllegalRequest(scsi::kInvalidFieldInCdb);
    }
    // Select 1 asks for well-known logical units only, of which there are none.
    std::vector<std::uint8_t> data(select == 1 ? 8 : 16, 0);
    scsi::PutBe(data, 0, 4, data.size() - 8); // LUN 0 is all zero bytes
    return DataIn(std::move(data), Field(cdb, 6, 4), task);
}

ScsiTaskResult BlockDevice::ReadCapacity10(const Cdb& cdb, const ScsiTask& task) const {
    const bool pmi = (cdb[8] & 0x01) != 0;
    if (!pmi && Field(cdb, 2, 4) != 0) {
        return IllegalRequest(scsi::kInvalidFieldInCdb);
    }
    std::vector<std::uint8_t> data(8, 0);
    scsi::PutBe(data, 0, 4, std::min<std::uint64_t>(m_blockCount - 1, 0xFFFFFFFFu));
    scsi::PutBe(data, 4, 4, kDiskBlockSize);
    return DataIn(std::move(data), data.size(), task);
}

ScsiTaskResult BlockDevice::ReadCapacity16(const Cdb& cdb, const ScsiTask& task) const {
    if ((cdb[1] & 0x1F) != kReadCapacity16Action) {
        return IllegalRequest(scsi::kInvalidFieldInCdb);
    }
    // No protection, one logical block per physical block, no thin provisioning.
    std::vector<std::uint8_t> data(32, 0);
    scsi::PutBe(data, 0, 8, m_blockCount - 1);
    scsi::PutBe(data, 8, 4, kDiskBlockSize);
    return DataIn(std::move(data), Field(cdb, 10, 4), task);
}

ScsiTaskResult BlockDevice::ReadFormatCapacities(const Cdb& cdb, const ScsiTask& task) {
    // USB hosts (Windows' above all) ask this of a flash drive: one current capacity
    // descriptor, "formatted" with a medium in, "no medium" (and the largest) without.
    constexpr std::uint8_t kFormattedMedia = 0x02;
    constexpr std::uint8_t kNoMedia = 0x03;
    std::vector<std::uint8_t> data(12, 0);
    data[3] = 8; // capacity list length: one descriptor
    scsi::PutBe(data, 4, 4, std::min<std::uint64_t>(m_blockCount, 0xFFFFFFFFu));
    data[8] = MediumPresent() ? kFormattedMedia : kNoMedia;
    scsi::PutBe(data, 9, 3, kDiskBlockSize);
    return DataIn(std::move(data), Field(cdb, 7, 2), task);
}

ScsiTaskResult BlockDevice::ModeSense(const Cdb& cdb, const ScsiTask& task) const {
    const bool ten = cdb[0] == op::kModeSense10;
    ModeSenseRequest request;
    request.tenByte = ten;
    request.disableBlockDescriptors = (cdb[1] & 0x08) != 0;
    request.longLba = ten && (cdb[1] & 0x10) != 0;
    request.pageControl = cdb[2] >> 6;
    request.page = cdb[2] & 0x3F;
    request.subpage = cdb[3];
    ModeSenseReply reply = vdrive::ModeSense(request, m_blockCount);
    if (reply.refused) {
        return IllegalRequest(*reply.refused);
    }
    return DataIn(std::move(reply.data), ten ? Field(cdb, 7, 2) : cdb[4], task);
}

std::optional<ScsiTaskResult> BlockDevice::CheckRange(const Range& range, bool limitLength) const {
    if (range.lba >= m_blockCount || range.blocks > m_blockCount - range.lba) {
        return IllegalRequest(scsi::kLbaOutOfRange);
    }
    if (limitLength && range.blocks > kMaxTransferBlocks) {
        return IllegalRequest(scsi::kInvalidFieldInCdb);
    }
    return std::nullopt;
}

ScsiTaskResult BlockDevice::Read(const Range& range, const ScsiTask& task) {
    if ((range.flags >> 5) != 0) { // RDPROTECT: the medium has no protection information
        return IllegalRequest(scsi::kInvalidFieldInCdb);
    }
    if (auto fault = CheckRange(range, true)) {
        return std::move(*fault);
    }
    ScsiTaskResult result;
    result.commandLength = static_cast<std::uint32_t>(range.blocks * kDiskBlockSize);
    if (task.readsData) {
        result.dataIn.resize(std::min(result.commandLength, task.expectedLength));
        if (!m_image->Read(range.lba * kDiskBlockSize, result.dataIn)) {
            return CheckCondition(SenseKey::MediumError, scsi::kUnrecoveredReadError);
        }
    }
    return result;
}

ScsiTaskResult BlockDevice::Write(const Range& range, const ScsiTask& task) {
    if ((range.flags >> 5) != 0) { // WRPROTECT
        return IllegalRequest(scsi::kInvalidFieldInCdb);
    }
    if (auto fault = CheckRange(range, true)) {
        return std::move(*fault);
    }
    const auto length = static_cast<std::uint32_t>(range.blocks * kDiskBlockSize);
    const std::size_t sent = task.writesData ? task.dataOut.size() : 0;
    // Less data than the CDB names (the initiator expected to send less): the whole blocks
    // that came are written, never part of one, and the session reports the overflow.
    const std::size_t written =
        std::min<std::size_t>(sent, length) / kDiskBlockSize * kDiskBlockSize;
    if (!m_image->Write(range.lba * kDiskBlockSize, task.dataOut.first(written)) ||
        ((range.flags & kFua) != 0 && !m_image->Flush())) {
        return CheckCondition(SenseKey::MediumError, scsi::kWriteError);
    }
    ScsiTaskResult result;
    result.commandLength = length;
    return result;
}

ScsiTaskResult BlockDevice::SynchronizeCache(const Range& range) {
    // A length of 0 means "to the last block".
    if (auto fault = CheckRange(range, false)) {
        return std::move(*fault);
    }
    if (!m_image->Flush()) {
        return CheckCondition(SenseKey::MediumError, scsi::kWriteError);
    }
    return {};
}

ScsiTaskResult BlockDevice::Verify(const Range& range) {
    // Flash keeps what it is given: a medium verification always agrees. Comparing with
    // sent bytes (BYTCHK) is not done.
    if ((range.flags & 0x06) != 0) {
        return IllegalRequest(scsi::kInvalidFieldInCdb);
    }
    if (auto fault = CheckRange(range, false)) {
        return std::move(*fault);
    }
    return {};
}

ScsiTaskResult BlockDevice::StartStopUnit(const Cdb& cdb) {
    const std::uint8_t powerCondition = cdb[4] >> 4;
    const bool loadEject = (cdb[4] & 0x02) != 0;
    const bool start = (cdb[4] & 0x01) != 0;
    if (powerCondition != 0 || !loadEject) {
        return {}; // power states and spinning mean nothing to flash; START is ignored
    }
    {
        std::lock_guard lock(m_stateMutex);
        if (!m_preventing.empty()) {
            return IllegalRequest(scsi::kMediumRemovalPrevented);
        }
        m_loaded = start;
    }
    if (!start && !m_image->Flush()) {
        return CheckCondition(SenseKey::MediumError, scsi::kWriteError);
    }
    return {};
}

ScsiTaskResult BlockDevice::PreventAllow(const Cdb& cdb, const ScsiTask& task) {
    const std::uint8_t prevent = cdb[4] & 0x03;
    if (prevent > 1) { // the medium changer forms
        return IllegalRequest(scsi::kInvalidFieldInCdb);
    }
    std::lock_guard lock(m_stateMutex);
    if (prevent == 1) {
        m_preventing.insert(task.nexus);
    } else {
        m_preventing.erase(task.nexus);
    }
    return {};
}

ScsiTaskResult BlockDevice::Vendor(const Cdb& cdb, const ScsiTask& task) {
    if ((task.readsData && task.writesData) || task.expectedLength > kMaxVendorTransfer) {
        return IllegalRequest(scsi::kInvalidFieldInCdb);
    }
    const ScsiDirection direction = task.readsData ? ScsiDirection::Read : ScsiDirection::Write;
    std::vector<std::uint8_t> data(task.expectedLength, 0);
    if (task.writesData) {
        std::copy_n(task.dataOut.begin(), std::min(task.dataOut.size(), data.size()), data.begin());
    }
    ScsiTaskResult result;
    switch (m_vendor->Execute(cdb, direction, data)) {
    case VendorResult::NotPresent:
        return NotReady();
    case VendorResult::Silent:
        result.answered = false;
        return result;
    case VendorResult::CheckCondition:
        result = CheckCondition(SenseKey::VendorSpecific, scsi::kVendorCommandRefused);
        break;
    case VendorResult::Good:
        if (task.readsData) {
            result.dataIn = std::move(data);
        }
        break;
    }
    result.commandLength = task.expectedLength;
    return result;
}

void BlockDevice::NexusLost(std::uint64_t nexus) {
    std::lock_guard lock(m_stateMutex);
    m_preventing.erase(nexus);
    m_attentionsSeen.erase(nexus);
}

void BlockDevice::Reset() {
    std::lock_guard lock(m_stateMutex);
    m_preventing.clear();
    RaiseUnitAttention(scsi::kPowerOnOrReset);
}

bool BlockDevice::MediumPresent() {
    std::lock_guard lock(m_stateMutex);
    return m_plugged && m_loaded;
}

void BlockDevice::ObservePlug() {
    const bool plugged = m_vendor->Present();
    std::lock_guard lock(m_stateMutex);
    if (plugged && !m_plugged) {
        RaiseUnitAttention(scsi::kMediumMayHaveChanged);
    }
    m_plugged = plugged;
}

void BlockDevice::KnowNexus(std::uint64_t nexus) {
    std::lock_guard lock(m_stateMutex);
    m_attentionsSeen.try_emplace(nexus, m_attentions);
}

void BlockDevice::RaiseUnitAttention(scsi::SenseCode code) {
    m_unitAttention = code;
    ++m_attentions;
}

std::optional<scsi::SenseCode> BlockDevice::TakeUnitAttention(std::uint64_t nexus) {
    std::lock_guard lock(m_stateMutex);
    if (!m_plugged) {
        return std::nullopt; // NOT READY says more while the plug is out
    }
    std::uint64_t& seen = m_attentionsSeen[nexus];
    if (seen == m_attentions) {
        return std::nullopt;
    }
    seen = m_attentions;
    return m_unitAttention;
}

} // namespace vdrive
