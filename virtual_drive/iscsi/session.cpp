#include "virtual_drive/iscsi/session.h"

#include <algorithm>

namespace vdrive::iscsi {

namespace {

constexpr std::uint8_t kFunctionMask = 0x7F;
constexpr std::size_t kResponseByte = 2;

enum class TaskFunction : std::uint8_t {
    AbortTask = 1,
    AbortTaskSet = 2,
    ClearAca = 3,
    ClearTaskSet = 4,
    LogicalUnitReset = 5,
    TargetWarmReset = 6,
    TargetColdReset = 7,
    TaskReassign = 8,
};

enum class TaskResponse : std::uint8_t {
    FunctionComplete = 0,
    TaskDoesNotExist = 1,
    LunDoesNotExist = 2,
    ReassignmentNotSupported = 4,
    FunctionNotSupported = 5,
    FunctionRejected = 255,
};

constexpr std::uint8_t kLogoutRemoveForRecovery = 2;
constexpr std::uint8_t kLogoutRecoveryNotSupported = 2;

bool LunZero(const Pdu& pdu) {
    return std::all_of(pdu.header.begin() + field::kLun, pdu.header.begin() + field::kLun + 8,
                       [](std::uint8_t b) { return b == 0; });
}

bool IsCommand(Opcode opcode) {
    switch (opcode) {
    case Opcode::NopOut:
    case Opcode::ScsiCommand:
    case Opcode::TaskManagement:
    case Opcode::TextRequest:
    case Opcode::LogoutRequest:
        return true;
    default:
        return false;
    }
}

} // namespace

Session::Session(const Login& login, const TargetList& targets, IScsiLogicalUnit* unit,
                 std::uint64_t nexus, std::string portal, Flush flush)
    : m_parameters(login.Parameters()), m_sequence(login.ExpCmdSn(), login.StatSn()),
      m_flush(std::move(flush)), m_text(targets, std::move(portal),
             login.Kind() == SessionKind::Normal ? login.Identity().targetName : std::string{}) {
    if (unit != nullptr) {
        m_tasks.emplace(*unit, nexus, m_parameters, m_sequence, m_flush);
    }
}

bool Session::Handle(const Pdu& pdu, std::vector<std::uint8_t>& out) {
    const Opcode opcode = pdu.Op();
    if (opcode == Opcode::DataOut) {
        if (!m_tasks) {
            Reject(pdu, RejectReason::ProtocolError, out);
            return true;
        }
        return m_tasks->DataOut(pdu, out) != ScsiTasks::Outcome::ProtocolError;
    }
    if (opcode == Opcode::LoginRequest) {
        Reject(pdu, RejectReason::ProtocolError, out);
        return false;
    }
    if (!IsCommand(opcode)) {
        Reject(pdu, RejectReason::CommandNotSupported, out);
        return true;
    }
    if (pdu.Immediate()) {
        return Dispatch(pdu, out);
    }
    const std::uint32_t cmdSn = pdu.Word(field::kWord24);
    if (m_sequence.Ahead(cmdSn)) {
        // Held until the commands before it arrive; past the bound on held data, dropped
        // as one outside the window would be.
        if (m_earlyBytes + pdu.data.size() <= kMaxHeldBytes &&
            m_early.emplace(cmdSn, pdu).second) {
            m_earlyBytes += pdu.data.size();
        }
        return true;
    }
    if (cmdSn != m_sequence.ExpCmdSn()) {
        return true; // outside the window: silently ignored
    }
    m_sequence.Advance();
    bool open = Dispatch(pdu, out);
    for (auto next = m_early.find(m_sequence.ExpCmdSn()); open && next != m_early.end();
         next = m_early.find(m_sequence.ExpCmdSn())) {
        const Pdu held = std::move(next->second);
        m_early.erase(next);
        m_earlyBytes -= held.data.size();
        m_sequence.Advance();
        if (m_flush) {
            m_flush(out); // each answer goes before the next command runs
        }
        open = Dispatch(held, out);
    }
    return open;
}

bool Session::Dispatch(const Pdu& pdu, std::vector<std::uint8_t>& out) {
    switch (pdu.Op()) {
    case Opcode::NopOut:
        NopOut(pdu, out);
        return true;
    case Opcode::ScsiCommand: {
        if (!m_tasks) {
            Reject(pdu, RejectReason::ProtocolError, out);
            return true;
        }
        const ScsiTasks::Outcome outcome = m_tasks->Command(pdu, out);
        if (outcome == ScsiTasks::Outcome::Reject) {
            Reject(pdu, RejectReason::InvalidPduField, out);
        }
        return outcome != ScsiTasks::Outcome::ProtocolError;
    }
    case Opcode::TaskManagement:
        return TaskManagement(pdu, out);
    case Opcode::TextRequest:
        if (!m_text.Handle(pdu, m_parameters.initiatorRecvDataSegment, m_sequence, out)) {
            Reject(pdu, RejectReason::ProtocolError, out);
        }
        return true;
    case Opcode::LogoutRequest:
        Logout(pdu, out);
        return (pdu.Flags() & kFunctionMask) == kLogoutRemoveForRecovery;
    default:
        Reject(pdu, RejectReason::CommandNotSupported, out);
        return true;
    }
}

bool Session::TaskManagement(const Pdu& request, std::vector<std::uint8_t>& out) {
    const auto function = static_cast<TaskFunction>(request.Flags() & kFunctionMask);
    TaskResponse answer = TaskResponse::FunctionComplete;
    bool open = true;
    switch (function) {
    case TaskFunction::AbortTask:
    case TaskFunction::AbortTaskSet:
    case TaskFunction::ClearTaskSet:
    case TaskFunction::LogicalUnitReset:
        if (!m_tasks) {
            answer = TaskResponse::FunctionNotSupported;
        } else if (!LunZero(request)) {
            answer = TaskResponse::LunDoesNotExist;
        } else if (function == TaskFunction::LogicalUnitReset) {
            m_tasks->Reset();
        } else if (function != TaskFunction::AbortTask) {
            m_tasks->AbortAll();
        } else if (!m_tasks->Abort(request.Word(field::kWord20)) &&
                   !AbortEarly(request.Word(field::kWord20))) {
            answer = TaskResponse::TaskDoesNotExist;
        }
        break;
    case TaskFunction::TargetWarmReset:
    case TaskFunction::TargetColdReset:
        if (m_tasks) {
            m_tasks->Reset();
        }
        m_early.clear();
        m_earlyBytes = 0;
        open = function == TaskFunction::TargetWarmReset; // a cold reset drops the connection
        break;
    case TaskFunction::ClearAca:
        answer = TaskResponse::FunctionNotSupported;
        break;
    case TaskFunction::TaskReassign:
        answer = TaskResponse::ReassignmentNotSupported; // no connection recovery
        break;
    default:
        answer = TaskResponse::FunctionRejected;
        break;
    }
    Pdu response(Opcode::TaskManagementResponse);
    response.header[kResponseByte] = static_cast<std::uint8_t>(answer);
    response.SetWord(field::kTaskTag, request.TaskTag());
    m_sequence.Stamp(response, true);
    AppendPdu(response, out);
    return open;
}

bool Session::AbortEarly(std::uint32_t taskTag) {
    const auto held = std::find_if(m_early.begin(), m_early.end(), [taskTag](const auto& entry) {
        return entry.second.TaskTag() == taskTag;
    });
    if (held == m_early.end()) {
        return false;
    }
    held->second.header[0] = static_cast<std::uint8_t>(Opcode::NopOut); // keeps its CmdSN
    held->second.SetWord(field::kTaskTag, kReservedTag);
    return true;
}

void Session::NopOut(const Pdu& request, std::vector<std::uint8_t>& out) {
    if (request.TaskTag() == kReservedTag) {
        return; // an answer to a ping of ours, or a bare update of ExpStatSN
    }
    Pdu response(Opcode::NopIn);
    std::copy_n(request.header.begin() + field::kLun, 8, response.header.begin() + field::kLun);
    response.SetWord(field::kTaskTag, request.TaskTag());
    response.SetWord(field::kWord20, kReservedTag);
    m_sequence.Stamp(response, true);
    const std::size_t echoed =
        std::min<std::size_t>(request.data.size(), m_parameters.initiatorRecvDataSegment);
    AppendPdu(response, std::span(request.data).first(echoed), out);
}

void Session::Logout(const Pdu& request, std::vector<std::uint8_t>& out) {
    Pdu response(Opcode::LogoutResponse);
    if ((request.Flags() & kFunctionMask) == kLogoutRemoveForRecovery) {
        response.header[kResponseByte] = kLogoutRecoveryNotSupported;
    }
    response.SetWord(field::kTaskTag, request.TaskTag());
    m_sequence.Stamp(response, true);
    AppendPdu(response, out);
}

void Session::Reject(const Pdu& rejected, RejectReason reason, std::vector<std::uint8_t>& out) {
    Pdu reject(Opcode::Reject);
    reject.header[kResponseByte] = static_cast<std::uint8_t>(reason);
    reject.SetWord(field::kTaskTag, kReservedTag);
    m_sequence.Stamp(reject, true);
    AppendPdu(reject, rejected.header, out);
}

} // namespace vdrive::iscsi
