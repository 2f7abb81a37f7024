#include "virtual_drive/iscsi/login.h"

#include <algorithm>

namespace vdrive::iscsi {

namespace {

constexpr std::uint8_t kTransit = 0x80;
constexpr std::uint8_t kContinue = 0x40;
constexpr int kOperationalStage = 1;
constexpr int kFullFeatureStage = 3;
constexpr std::size_t kIsid = 8;
constexpr std::size_t kTsih = 14;
constexpr std::size_t kVersionMin = 3;

bool Answered(const TextKeys& answer, const std::string& key, const std::string& value) {
    return std::any_of(answer.begin(), answer.end(),
                       [&](const auto& pair) { return pair.first == key && pair.second == value; });
}

// Who logs in to what: said once, in the leading request, and never changed after it.
bool NamesIdentity(const TextKeys& offered) {
    return std::any_of(offered.begin(), offered.end(), [](const auto& pair) {
        return pair.first == "InitiatorName" || pair.first == "TargetName" ||
               pair.first == "SessionType";
    });
}

} // namespace

const char* LoginStatusText(LoginStatus status) {
    switch (status) {
    case LoginStatus::Success:
        return "success";
    case LoginStatus::InitiatorError:
        return "initiator error";
    case LoginStatus::AuthenticationFailed:
        return "authentication failed";
    case LoginStatus::TargetNotFound:
        return "target not found";
    case LoginStatus::UnsupportedVersion:
        return "unsupported version";
    case LoginStatus::MissingParameter:
        return "missing parameter";
    case LoginStatus::SessionTypeNotSupported:
        return "session type not supported";
    case LoginStatus::SessionDoesNotExist:
        return "session does not exist";
    case LoginStatus::InvalidDuringLogin:
        return "invalid during login";
    case LoginStatus::OutOfResources:
        return "out of resources";
    }
    return "refused";
}

Login::Login(TargetExists targetExists, Admit admit, std::uint16_t tsih)
    : m_targetExists(std::move(targetExists)), m_admit(std::move(admit)), m_tsih(tsih) {}

Login::Login(TargetExists targetExists, bool sessionAllowed, std::uint16_t tsih)
    : Login(std::move(targetExists),
            [sessionAllowed](const LoginIdentity&, std::uint64_t) { return sessionAllowed; },
            tsih) {}

SessionKind Login::Kind() const {
    return m_identity.sessionType == "Discovery" ? SessionKind::Discovery : SessionKind::Normal;
}

LoginStatus Login::CheckLeadingRequest(const Pdu& request) const {
    if (request.header[kVersionMin] > 0) {
        return LoginStatus::UnsupportedVersion;
    }
    // Connections are never added to a session nor sessions reinstated by handle.
    if (request.header[kTsih] != 0 || request.header[kTsih + 1] != 0) {
        return LoginStatus::SessionDoesNotExist;
    }
    if (m_identity.initiatorName.empty()) {
        return LoginStatus::MissingParameter;
    }
    if (!m_identity.sessionType.empty() && m_identity.sessionType != "Normal" &&
        m_identity.sessionType != "Discovery") {
        return LoginStatus::SessionTypeNotSupported;
    }
    if (Kind() == SessionKind::Normal) {
        if (m_identity.targetName.empty()) {
            return LoginStatus::MissingParameter;
        }
        if (!m_targetExists(m_identity.targetName)) {
            return LoginStatus::TargetNotFound;
        }
    }
    return LoginStatus::Success;
}

Login::Step Login::Handle(const Pdu& request, std::vector<std::uint8_t>& out) {
    if (!m_started) {
        m_started = true;
        m_expCmdSn = request.Word(field::kWord24);
        m_statSn = request.Word(field::kWord28);
    }
    if (request.Op() != Opcode::LoginRequest) {
        return Fail(request, LoginStatus::InvalidDuringLogin, out);
    }
    const std::uint8_t flags = request.Flags();
    const bool transit = (flags & kTransit) != 0;
    const bool more = (flags & kContinue) != 0;
    const int current = (flags >> 2) & 3;
    const int next = flags & 3;
    const bool stageValid = current == m_stage || (m_stage == 0 && current == kOperationalStage);
    const bool transitValid = !transit || (next > current && next != 2);
    if ((transit && more) || !stageValid || !transitValid) {
        return Fail(request, LoginStatus::InitiatorError, out);
    }
    m_stage = current;
    if (m_pendingText.size() + request.data.size() > kLoginDataLimit) {
        return Fail(request, LoginStatus::OutOfResources, out);
    }
    m_pendingText.insert(m_pendingText.end(), request.data.begin(), request.data.end());
    const auto stageFlags = static_cast<std::uint8_t>(current << 2);
    if (more) { // a continued text is acknowledged empty and answered once complete
        Respond(request, stageFlags, LoginStatus::Success, {}, out);
        return Step::Continue;
    }
    const std::optional<TextKeys> offered = ParseTextKeys(m_pendingText);
    m_pendingText.clear();
    if (!offered) {
        return Fail(request, LoginStatus::InitiatorError, out);
    }
    const bool leading = !m_leadingDone;
    if (!leading && NamesIdentity(*offered)) {
        return Fail(request, LoginStatus::InitiatorError, out);
    }
    TextKeys answer;
    NegotiateKeys(*offered, m_parameters, m_identity, answer);
    if (leading) {
        if (const LoginStatus status = CheckLeadingRequest(request);
            status != LoginStatus::Success) {
            return Fail(request, status, out);
        }
    }
    if (Answered(answer, "AuthMethod", "Reject")) {
        return Fail(request, LoginStatus::AuthenticationFailed, out);
    }
    if (leading) {
        std::uint64_t isid = 0;
        for (std::size_t i = 0; i < 6; ++i) {
            isid = isid << 8 | request.header[kIsid + i];
        }
        if (!m_admit(m_identity, isid)) {
            return Fail(request, LoginStatus::OutOfResources, out);
        }
        m_leadingDone = true;
        if (Kind() == SessionKind::Normal) {
            answer.emplace_back("TargetPortalGroupTag", std::to_string(kPortalGroupTag));
        }
    }
    if (current == kOperationalStage && !m_declared) {
        m_declared = true;
        // A key is answered once: an offer we rejected leaves both sides at the default.
        if (!Answered(answer, "MaxRecvDataSegmentLength", "Reject")) {
            m_parameters.targetRecvDataSegment = kTargetRecvDataSegment;
            DeclareTargetKeys(m_parameters, answer);
        }
    }
    std::uint8_t responseFlags = stageFlags;
    if (transit) {
        responseFlags |= static_cast<std::uint8_t>(kTransit | next);
        m_stage = next;
    }
    Respond(request, responseFlags, LoginStatus::Success, answer, out);
    return transit && next == kFullFeatureStage ? Step::Complete : Step::Continue;
}

Login::Step Login::Fail(const Pdu& request, LoginStatus status, std::vector<std::uint8_t>& out) {
    m_refusal = status;
    Respond(request, 0, status, {}, out);
    return Step::Failed;
}

void Login::Respond(const Pdu& request, std::uint8_t flags, LoginStatus status,
                    const TextKeys& keys, std::vector<std::uint8_t>& out) {
    Pdu response(Opcode::LoginResponse);
    response.header[field::kFlags] = flags;
    std::copy_n(request.header.begin() + kIsid, 6, response.header.begin() + kIsid);
    if ((flags & kTransit) != 0 && (flags & 3) == kFullFeatureStage) {
        response.header[kTsih] = static_cast<std::uint8_t>(m_tsih >> 8);
        response.header[kTsih + 1] = static_cast<std::uint8_t>(m_tsih);
    }
    response.SetWord(field::kTaskTag, request.TaskTag());
    response.SetWord(field::kWord24, m_statSn++);
    response.SetWord(field::kWord28, m_expCmdSn);
    response.SetWord(field::kWord32, m_expCmdSn + kCommandWindow - 1);
    response.header[field::kWord36] = static_cast<std::uint8_t>(static_cast<unsigned>(status) >> 8);
    response.header[field::kWord36 + 1] = static_cast<std::uint8_t>(status);
    for (const auto& [key, value] : keys) {
        AppendTextKey(response.data, key, value);
    }
    AppendPdu(response, out);
}

} // namespace vdrive::iscsi
