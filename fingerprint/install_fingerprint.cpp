#include <array>

#include "fingerprint/fingerprint_operations.h"
#include "fingerprint/message_numbers.h"
#include "fingerprint/poll_cycle.h"
#include "fingerprint/status_display.h"
#include "fingerprint/text_format.h"

namespace {

using Report = std::array<std::uint8_t, 4>;

enum class Decision { None, Refused, Accepted };

Decision JudgeAuthorization(const Report& b) {
    if (b[0] == 'f' || b[0] == 'g' || (b[0] == 'S' && b[2] == 'f')) {
        return Decision::Refused;
    }
    if (b[0] == 'S' || b[3] == 'S' || b[0] == '0') {
        return Decision::Accepted;
    }
    return Decision::None;
}

// 'a' (a touch) is handled by the caller before this.
Decision JudgeEnrolment(const Report& b) {
    if (b[0] == 'f' || b[0] == 'g') {
        return Decision::Refused;
    }
    const bool slotLine = b[0] >= '0' && b[0] <= '9' && b[1] == 0x0D && b[2] == 0x0A && b[3] == 'S';
    if (b[0] == 'S' || slotLine) {
        return Decision::Accepted;
    }
    return Decision::None;
}

} // namespace

void CFingerprintOperations::InstallNewFingerprint() {
    if (!ProbeFingerprintDrive()) {
        m_window.ShowResultBox(MessageText(message_number::kDiskProblem));
        return;
    }
    const poll_cycle::BusyWhilePolling busy;
    m_device.SendRequestFrame(vendor::kInstallStart, vendor::kWriteStartsWork);

    int result = message_number::kInstallTimedOut;
    bool authorized = m_installedCount == 0;
    Report report{};
    if (!authorized) {
        CurrentMessage authorizePrompt(message_number::kAuthorizePrompt);
        int idleBudget = poll_cycle::kIdleBudget;
        for (int cycle = 0; cycle < poll_cycle::kMaxCycles; ++cycle) {
            if (g_busy == 0) {
                return; // aborted: no result and no new probe
            }
            ShowStatus(m_window, FormatText(u"%d-%s(%d)", {cycle, authorizePrompt.Text(), 0}),
                       poll_cycle::BlinkColour(cycle, colours::kBlack), true, colours::kPurple);
            if (PollProgress(report.data(), report.size()) != 0) {
                idleBudget = poll_cycle::kIdleBudget;
                const Decision decision = JudgeAuthorization(report);
                if (decision == Decision::Refused) {
                    result = message_number::kAuthorizationRefused;
                    break;
                }
                if (decision == Decision::Accepted) {
                    authorized = true;
                    break;
                }
            }
            if (--idleBudget <= 0) {
                break;
            }
        }
    }

    if (authorized) {
        CurrentMessage enrolPrompt(message_number::kEnrolPrompt);
        int idleBudget = poll_cycle::kIdleBudget;
        int touches = 0;
        for (int cycle = 0;; ++cycle) {
            if (g_busy == 0) {
                return;
            }
            ShowStatus(m_window, FormatText(u" %d - %s (%d)", {cycle, enrolPrompt.Text(), touches}),
                       poll_cycle::BlinkColour(cycle, colours::kRed), true, colours::kBlue);
            if (PollProgress(report.data(), report.size()) != 0) {
                idleBudget = poll_cycle::kIdleBudget;
                const Decision decision =
                    report[0] == 'a' ? Decision::None : JudgeEnrolment(report);
                touches += report[0] == 'a' ? 1 : 0;
                if (decision == Decision::Refused) {
                    result = message_number::kEnrolFailed;
                    break;
                }
                if (decision == Decision::Accepted) {
                    result = message_number::kInstalled;
                    break;
                }
                cycle = 0; // a report without a decision starts the numbering again at 1
            }
            if (--idleBudget <= 0) {
                result = message_number::kInstallTimedOut;
                break;
            }
        }
    }

    ShowOperationResult(m_window, result, result == message_number::kInstalled);
    ProbeFingerprintDrive();
}
