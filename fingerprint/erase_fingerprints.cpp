#include <cstdint>

#include "fingerprint/fingerprint_operations.h"
#include "fingerprint/message_numbers.h"
#include "fingerprint/poll_cycle.h"
#include "fingerprint/status_display.h"
#include "fingerprint/text_format.h"

namespace {

// The drive needs a moment after the erase request before it answers polls.
constexpr std::uint32_t kStartWaitMs = 500;

} // namespace

void CFingerprintOperations::EraseAllFingerprints() {
    if (!m_window.AskYesNo(MessageText(message_number::kEraseConfirmQuestion),
                           MessageText(message_number::kEraseConfirmCaption))) {
        return;
    }
    ShowStatus(m_window, FormatText(u"%s", {GetText(message_number::kAuthorizePrompt)}),
               colours::kWhite, false, colours::kBlue);
    const poll_cycle::BusyWhilePolling busy;
    m_device.SendRequestFrame(vendor::kEraseStart, vendor::kWriteStartsWork);
    m_clock.Sleep(kStartWaitMs);

    int touches = 0;
    int result = message_number::kEraseTimedOut;
    CurrentMessage prompt(message_number::kAuthorizePrompt);
    int idleBudget = poll_cycle::kIdleBudget;
    for (int cycle = 0; cycle < poll_cycle::kMaxCycles; ++cycle) {
        if (g_busy == 0) {
            return; // aborted: no result and no new probe
        }
        ShowStatus(m_window, FormatText(u"%d-%s(%d)", {cycle, prompt.Text(), touches}),
                   poll_cycle::BlinkColour(cycle, colours::kBlack), true, colours::kPurple);
        std::uint8_t report = 0;
        const bool reported = PollProgress(&report, 1) != 0;
        m_window.PumpMessages();
        if (reported) {
            idleBudget = poll_cycle::kIdleBudget;
            if (report == 'a' || report == 'S') {
                ++touches;
            } else if (report == 'f') {
                result = message_number::kEraseFailed;
                break;
            } else if (report == 's') {
                result = message_number::kErased;
                break;
            }
        }
        if (--idleBudget <= 0) {
            break;
        }
    }

    ShowOperationResult(m_window, result, result == message_number::kErased);
    ProbeFingerprintDrive();
}
