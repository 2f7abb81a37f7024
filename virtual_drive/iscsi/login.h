// The login phase of one connection: stages (security, operational, full feature), the
// keys of each request, and the login response with its status. AuthMethod None is the
// only method: the target has no authentication.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "virtual_drive/iscsi/negotiation.h"
#include "virtual_drive/iscsi/pdu.h"

namespace vdrive::iscsi {

// What this target declares it accepts in one data segment once it may say so.
inline constexpr std::uint32_t kTargetRecvDataSegment = 262144;
// Login texts are never longer than this, in one PDU and in all continued ones.
inline constexpr std::uint32_t kLoginDataLimit = 8192;
inline constexpr std::uint16_t kPortalGroupTag = 1;
// Commands the target accepts ahead: MaxCmdSN = ExpCmdSN + kCommandWindow - 1.
inline constexpr std::uint32_t kCommandWindow = 32;

enum class SessionKind { Discovery, Normal };

// Login response status (class << 8 | detail).
enum class LoginStatus : std::uint16_t {
    Success = 0x0000,
    InitiatorError = 0x0200,
    AuthenticationFailed = 0x0201,
    TargetNotFound = 0x0203,
    UnsupportedVersion = 0x0205,
    MissingParameter = 0x0207,
    SessionTypeNotSupported = 0x0209,
    SessionDoesNotExist = 0x020A,
    InvalidDuringLogin = 0x020B,
    OutOfResources = 0x0302,
};

// A short English name of a login status, for the log.
const char* LoginStatusText(LoginStatus status);

class Login {
  public:
    using TargetExists = std::function<bool(const std::string& name)>;
    // Asked once the leading request has passed every check, with the initiator's session
    // id (ISID): false refuses the session (out of resources).
    using Admit = std::function<bool(const LoginIdentity& identity, std::uint64_t isid)>;
    Login(TargetExists targetExists, Admit admit, std::uint16_t tsih);
    // `sessionAllowed` false: the target is at its session limit and refuses this one.
    Login(TargetExists targetExists, bool sessionAllowed, std::uint16_t tsih);

    enum class Step { Continue, Complete, Failed };
    // Answers one login request into `out`. Failed: the connection ends after `out`.
    Step Handle(const Pdu& request, std::vector<std::uint8_t>& out);

    const SessionParameters& Parameters() const { return m_parameters; }
    const LoginIdentity& Identity() const { return m_identity; }
    SessionKind Kind() const;
    std::uint32_t ExpCmdSn() const { return m_expCmdSn; }
    std::uint32_t StatSn() const { return m_statSn; } // the next to send
    // Why the login was refused; Success while it was not.
    LoginStatus Refusal() const { return m_refusal; }

  private:
    LoginStatus CheckLeadingRequest(const Pdu& request) const;
    Step Fail(const Pdu& request, LoginStatus status, std::vector<std::uint8_t>& out);
    void Respond(const Pdu& request, std::uint8_t flags, LoginStatus status, const TextKeys& keys,
                 std::vector<std::uint8_t>& out);

    TargetExists m_targetExists;
    Admit m_admit;
    std::uint16_t m_tsih;
    bool m_started = false;
    bool m_leadingDone = false;
    LoginStatus m_refusal = LoginStatus::Success;
    bool m_declared = false;
    int m_stage = 0; // 0 security, 1 operational
    std::uint32_t m_expCmdSn = 0;
    std::uint32_t m_statSn = 0;
    std::vector<std::uint8_t> m_pendingText; // continued request texts
    SessionParameters m_parameters;
    LoginIdentity m_identity;
};

} // namespace vdrive::iscsi
