#include "virtual_drive/iscsi/scsi_tasks.h"

#include <algorithm>

#include "virtual_drive/disk/sense.h"

namespace vdrive::iscsi {

namespace {

constexpr std::uint8_t kReadFlag = 0x40;
constexpr std::uint8_t kWriteFlag = 0x20;
constexpr std::uint8_t kFinalFlag = 0x80;
constexpr std::uint8_t kStatusFlag = 0x01;
constexpr std::uint8_t kUnderflowFlag = 0x02;
constexpr std::uint8_t kOverflowFlag = 0x04;
constexpr std::size_t kStatusByte = 3;
constexpr std::size_t kCdbBytes = 16;
constexpr std::size_t kMaxUnanswered = 1024;
constexpr std::uint8_t kTaskSetFull = 0x28;

constexpr scsi::SenseCode kLogicalUnitNotSupported{0x25, 0x00};

bool LunZero(const Pdu& pdu) {
    return std::all_of(pdu.header.begin() + field::kLun, pdu.header.begin() + field::kLun + 8,
                       [](std::uint8_t b) { return b == 0; });
}

struct Residual {
    std::uint8_t flag = 0;
    std::uint32_t count = 0;
};

// Overflow when the command moves more than the initiator expected, underflow when less
// went than it expected.
Residual ResidualOf(std::uint32_t expected, std::uint32_t commandLength,
                    std::uint32_t transferred) {
    if (commandLength > expected) {
        return {kOverflowFlag, commandLength - expected};
    }
    if (transferred < expected) {
        return {kUnderflowFlag, expected - transferred};
    }
    return {};
}

Pdu ReplyTo(const Pdu& command, Opcode opcode) {
    Pdu reply(opcode);
    std::copy_n(command.header.begin() + field::kLun, 8, reply.header.begin() + field::kLun);
    reply.SetWord(field::kTaskTag, command.TaskTag());
    return reply;
}

} // namespace

ScsiTasks::Outcome ScsiTasks::Command(const Pdu& command, std::vector<std::uint8_t>& out) {
    const bool reads = (command.Flags() & kReadFlag) != 0;
    const bool writes = (command.Flags() & kWriteFlag) != 0;
    const std::uint32_t expected = command.Word(field::kWord20);
    const auto immediate = static_cast<std::uint32_t>(command.data.size());
    if (immediate > 0 && (!writes || !m_parameters.immediateData || immediate > expected ||
                          immediate > m_parameters.firstBurstLength)) {
        return Outcome::Reject;
    }
    if (m_writes.count(command.TaskTag()) != 0) {
        return Outcome::ProtocolError; // a task tag still in use
    }
    if (!LunZero(command)) {
        Answer(command, scsi::IllegalRequest(kLogicalUnitNotSupported), out);
        return Outcome::Ok;
    }
    if ((reads && writes) || expected > kMaxTransferLength) {
        Answer(command, scsi::IllegalRequest(scsi::kInvalidFieldInCdb), out);
        return Outcome::Ok;
    }
    if (!writes || immediate == expected) {
        Execute(command, command.data, out);
        return Outcome::Ok;
    }
    if (m_pendingBytes + expected > kMaxPendingWriteBytes) {
        ScsiTaskResult full;
        full.status = kTaskSetFull;
        Answer(command, full, out);
        return Outcome::Ok;
    }
    m_pendingBytes += expected;
    PendingWrite& write = m_writes[command.TaskTag()];
    write.command.header = command.header;
    write.data = command.data;
    write.sequenceEnd =
        m_parameters.initialR2T ? immediate : std::min(m_parameters.firstBurstLength, expected);
    if (write.sequenceEnd <= immediate) {
        RequestData(write, out);
    }
    return Outcome::Ok;
}

void ScsiTasks::RequestData(PendingWrite& write, std::vector<std::uint8_t>& out) {
    const std::uint32_t expected = write.command.Word(field::kWord20);
    const auto offset = static_cast<std::uint32_t>(write.data.size());
    const std::uint32_t length = std::min(m_parameters.maxBurstLength, expected - offset);
    write.sequenceEnd = offset + length;
    write.transferTag = m_nextTransferTag++;
    if (m_nextTransferTag == kReservedTag) {
        m_nextTransferTag = 1;
    }
    write.nextDataSn = 0;
    Pdu r2t = ReplyTo(write.command, Opcode::ReadyToTransfer);
    r2t.SetWord(field::kWord20, write.transferTag);
    m_sequence.Stamp(r2t, false);
    r2t.SetWord(field::kWord36, write.nextR2tSn++);
    r2t.SetWord(field::kWord40, offset);
    r2t.SetWord(field::kWord44, length);
    AppendPdu(r2t, out);
}

ScsiTasks::Outcome ScsiTasks::DataOut(const Pdu& dataOut, std::vector<std::uint8_t>& out) {
    const auto found = m_writes.find(dataOut.TaskTag());
    if (found == m_writes.end()) {
        return Outcome::Ok; // the task was aborted or never existed
    }
    PendingWrite& write = found->second;
    const auto received = static_cast<std::uint32_t>(write.data.size());
    const auto length = static_cast<std::uint32_t>(dataOut.data.size());
    // Data must arrive in order, in sequence, within the burst it belongs to.
    if (dataOut.Word(field::kWord20) != write.transferTag ||
        dataOut.Word(field::kWord36) != write.nextDataSn ||
        dataOut.Word(field::kWord40) != received || length > write.sequenceEnd - received) {
        return Outcome::ProtocolError;
    }
    // The whole write's room at once: a buffer that doubled as it grew could hold twice
    // what the write announced.
    write.data.reserve(write.command.Word(field::kWord20));
    write.data.insert(write.data.end(), dataOut.data.begin(), dataOut.data.end());
    ++write.nextDataSn;
    const auto now = static_cast<std::uint32_t>(write.data.size());
    if (now == write.command.Word(field::kWord20)) {
        const PendingWrite done = std::move(write);
        Forget(found);
        Execute(done.command, done.data, out);
    } else if (now == write.sequenceEnd || dataOut.Final()) {
        RequestData(write, out);
    }
    return Outcome::Ok;
}

void ScsiTasks::Execute(const Pdu& command, std::span<const std::uint8_t> dataOut,
                        std::vector<std::uint8_t>& out) {
    ScsiTask task;
    task.cdb = std::span<const std::uint8_t>(command.header.data() + field::kCdb, kCdbBytes);
    task.expectedLength = command.Word(field::kWord20);
    task.readsData = (command.Flags() & kReadFlag) != 0;
    task.writesData = (command.Flags() & kWriteFlag) != 0;
    task.dataOut = dataOut;
    task.nexus = m_nexus;
    const ScsiTaskResult result = m_unit.Execute(task);
    if (!result.answered) {
        if (m_unanswered.size() >= kMaxUnanswered) {
            m_unanswered.erase(m_unanswered.begin());
        }
        m_unanswered.insert(command.TaskTag());
        return;
    }
    Answer(command, result, out);
}

void ScsiTasks::Answer(const Pdu& command, const ScsiTaskResult& result,
                       std::vector<std::uint8_t>& out) {
    const std::uint32_t expected = command.Word(field::kWord20);
    const bool reads = (command.Flags() & kReadFlag) != 0;
    const bool writes = (command.Flags() & kWriteFlag) != 0;
    const std::uint32_t available =
        reads ? std::min(expected, static_cast<std::uint32_t>(result.dataIn.size())) : 0;
    const std::uint32_t transferred = writes ? std::min(expected, result.commandLength) : available;
    const Residual residual = ResidualOf(expected, result.commandLength, transferred);
    // Status rides on the last Data-In unless sense data must go with it.
    const bool collapse = result.sense.empty() && available > 0;
    // No PDU longer than the initiator takes, no sequence longer than a burst.
    const std::uint32_t segment =
        std::min(m_parameters.initiatorRecvDataSegment, m_parameters.maxBurstLength);
    std::uint32_t dataSn = 0;
    std::uint32_t burst = 0;
    for (std::uint32_t offset = 0; offset < available; ++dataSn) {
        const std::uint32_t length = std::min(segment, available - offset);
        const bool last = offset + length == available;
        burst += length;
        Pdu dataIn = ReplyTo(command, Opcode::DataIn);
        dataIn.header[field::kFlags] = 0;
        if (last || burst + segment > m_parameters.maxBurstLength) {
            dataIn.header[field::kFlags] = kFinalFlag;
            burst = 0;
        }
        dataIn.SetWord(field::kWord20, kReservedTag);
        const bool withStatus = last && collapse;
        if (withStatus) {
            dataIn.header[field::kFlags] |= kStatusFlag | residual.flag;
            dataIn.header[kStatusByte] = result.status;
            dataIn.SetWord(field::kWord44, residual.count);
        }
        m_sequence.Stamp(dataIn, withStatus);
        dataIn.SetWord(field::kWord36, dataSn);
        dataIn.SetWord(field::kWord40, offset);
        AppendPdu(dataIn, std::span(result.dataIn).subspan(offset, length), out);
        offset += length;
        if (m_flush && burst == 0 && !last) {
            m_flush(out); // one burst at a time goes to the wire
        }
    }
    if (collapse) {
        return;
    }
    Pdu response = ReplyTo(command, Opcode::ScsiResponse);
    std::fill_n(response.header.begin() + field::kLun, 8, std::uint8_t{0});
    response.header[field::kFlags] = kFinalFlag | residual.flag;
    response.header[kStatusByte] = result.status;
    m_sequence.Stamp(response, true);
    response.SetWord(field::kWord36, dataSn);
    response.SetWord(field::kWord44, residual.count);
    if (!result.sense.empty()) {
        const auto senseLength = static_cast<std::uint16_t>(
            std::min<std::size_t>(result.sense.size(), segment > 2 ? segment - 2 : 0));
        response.data.push_back(static_cast<std::uint8_t>(senseLength >> 8));
        response.data.push_back(static_cast<std::uint8_t>(senseLength));
        response.data.insert(response.data.end(), result.sense.begin(),
                             result.sense.begin() + senseLength);
    }
    AppendPdu(response, out);
}

void ScsiTasks::Forget(std::map<std::uint32_t, PendingWrite>::iterator write) {
    m_pendingBytes -= write->second.command.Word(field::kWord20);
    m_writes.erase(write);
}

bool ScsiTasks::Abort(std::uint32_t taskTag) {
    const auto write = m_writes.find(taskTag);
    const bool wasWriting = write != m_writes.end();
    if (wasWriting) {
        Forget(write);
    }
    return m_unanswered.erase(taskTag) > 0 || wasWriting;
}

void ScsiTasks::AbortAll() {
    m_writes.clear();
    m_pendingBytes = 0;
    m_unanswered.clear();
}

void ScsiTasks::Reset() {
    AbortAll();
    m_unit.Reset();
}

} // namespace vdrive::iscsi
