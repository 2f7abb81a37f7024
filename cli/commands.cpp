#include "cli/commands.h"

#include <nlohmann/json.hpp>
#include <ostream>

#include "app/utf_convert.h"
#include "cli/drive_report.h"
#include "cli/drive_text.h"
#include "cli/interrupt.h"
#include "cli/interrupt_gate.h"
#include "cli/silence_watch.h"
#include "cli/transport_choice.h"
#include "cli/wire_trace.h"
#include "device/recording_transport.h"
#include "fingerprint/fingerprint_operations.h"
#include "i18n/message_table.h"

namespace {

// Result messages of install and erase, and what each means for the exit code.
struct ResultMessage {
    int number;
    int exitCode;
    // The drive reported it. The others (time-outs, a failed probe) are what a wait cut
    // short by Ctrl-C also gives.
    bool reportedByDrive;
    // A status read follows the result.
    bool probeFollows;
};
constexpr ResultMessage kResultMessages[] = {
    {24, exit_code::kSuccess, true, true},      // erased
    {35, exit_code::kSuccess, true, true},      // installed
    {23, exit_code::kDriveFailed, true, true},  // erase failed
    {25, exit_code::kDriveFailed, false, true}, // erase timed out
    {32, exit_code::kDriveFailed, false, true}, // install timed out
    {33, exit_code::kDriveFailed, true, true},  // authorizing finger refused
    {36, exit_code::kDriveFailed, true, true},  // new finger failed
    {31, exit_code::kNoDrive, false, false},    // the drive did not pass the probe
};

// The entry of the text shown in a result box (in the current language); none when the
// text is no result message.
const ResultMessage* FindResult(const std::u16string& resultText) {
    for (const ResultMessage& message : kResultMessages) {
        const char16_t* text = GetText(message.number);
        if (text != nullptr && resultText == text)
            return &message;
    }
    return nullptr;
}

// Invalid UTF-8 never aborts the output; drive bytes are replaced before they get here.
std::string Dump(const nlohmann::json& object) {
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string Utf8Text(int number) {
    const char16_t* text = GetText(number);
    return text != nullptr ? ToUtf8(text) : std::string{};
}

class CommandRun {
  public:
    explicit CommandRun(const CommandContext& context)
        : m_context(context), m_gate(context.transport, InterruptFlag()),
          m_watch(m_gate, [this](const std::string& reason) { ReportSilence(reason); }),
          m_recording(m_watch), m_window(context.streams, context.inPlace),
          m_operations(m_window, m_recording, context.clock) {
        m_window.SetStatusLineSource([this] { return m_operations.ComposeStatusLine(); });
        if (context.options.trace) {
            m_recording.SetObserver(WireTrace(context.streams.err));
        }
    }

    int Run() {
        const Command command = m_context.options.command;
        if (!FindDrive()) {
            return ReportNoDrive();
        }
        switch (command) {
        case Command::Scan:
            return ReportDrive();
        case Command::Status:
            if (!m_operations.ProbeFingerprintDrive())
                return ReportStopped();
            return ReportDrive();
        case Command::Model:
            return RunModel();
        case Command::Install:
        case Command::Erase:
            return RunEnrolmentOrErase(command);
        case Command::Languages:
            PrintLanguages(Out());
            break;
        }
        return exit_code::kSuccess;
    }

  private:
    std::ostream& Out() { return m_context.streams.out; }
    std::ostream& Err() { return m_context.streams.err; }

    bool FindDrive() {
        m_mask = m_recording.PresentDriveMask();
        if (m_context.onlyLetter != 0) {
            const std::uint32_t letterBit = 1u << (m_context.onlyLetter - 'A');
            if ((m_mask & letterBit) == 0) {
                ExplainAbsentLetter(m_context.onlyLetter);
            }
            m_mask &= letterBit;
        }
        return m_operations.FindFingerprintDrive(m_mask) != 0;
    }

    // The letter asked for is not among those the search may try: the transport's open says
    // why (no such disk, or a disk off USB that --all-disks would allow) and sends nothing.
    void ExplainAbsentLetter(char letter) {
        const IScsiTransport::Handle handle = m_recording.OpenDrive(letter);
        if (handle != IScsiTransport::kInvalidHandle) {
            m_recording.CloseDrive(handle);
        }
    }

    std::string DriveName() const {
        return ::DriveName(m_context.options, m_operations.m_device.m_driveLetter);
    }

    nlohmann::json DriveJson() {
        const char letter = m_operations.m_device.m_driveLetter;
        nlohmann::json object;
        object["drive"] = letter != 0 ? nlohmann::json(DriveName()) : nlohmann::json(nullptr);
        const std::optional<std::string> identity = LastIdentity(m_recording.Records(), letter);
        object["identity"] =
            identity ? nlohmann::json(ReplaceDriveBytes(*identity)) : nlohmann::json(nullptr);
        object["installed"] = m_operations.m_installedCount;
        object["free"] = m_operations.m_freeCount;
        object["status"] = ToUtf8(m_operations.ComposeStatusLine());
        return object;
    }

    void AddCandidates(nlohmann::json& object) {
        nlohmann::json list = nlohmann::json::array();
        for (const CandidateReport& candidate : DescribeCandidates(
                 m_recording.Records(), m_mask, m_operations.m_device.m_driveLetter)) {
            list.push_back({{"drive", ::DriveName(m_context.options, candidate.letter)},
                            {"answers", candidate.answers},
                            {"verdict", candidate.verdict}});
        }
        object["candidates"] = list;
    }

    void PrintCandidates() {
        for (const CandidateReport& candidate : DescribeCandidates(
                 m_recording.Records(), m_mask, m_operations.m_device.m_driveLetter)) {
            Out() << ::DriveName(m_context.options, candidate.letter) << "  " << candidate.verdict
                  << '\n';
            for (const std::string& answer : candidate.answers) {
                Out() << "    " << answer << '\n';
            }
        }
    }

    int ReportDrive() {
        const bool all = m_context.options.all;
        if (m_context.options.json) {
            nlohmann::json object = DriveJson();
            if (all)
                AddCandidates(object);
            Out() << Dump(object) << '\n';
            return exit_code::kSuccess;
        }
        if (all)
            PrintCandidates();
        const std::optional<std::string> identity =
            LastIdentity(m_recording.Records(), m_operations.m_device.m_driveLetter);
        Out() << "Drive:    " << DriveName() << '\n'
              << "Identity: " << EscapeDriveBytes(identity.value_or("")) << '\n'
              << ToUtf8(m_operations.ComposeStatusLine()) << '\n';
        return exit_code::kSuccess;
    }

    int ReportNoDrive() {
        std::string reason = "no fingerprint drive found";
        // The transport's last diagnostic says why, for instance an unreachable virtual
        // drive or a device node without the rights to send vendor commands.
        if (!m_recording.LastError().empty()) {
            reason += " (" + m_recording.LastError() + ")";
        }
        if (m_context.options.json) {
            nlohmann::json object = DriveJson();
            object["error"] = reason;
            if (m_context.options.all)
                AddCandidates(object);
            Out() << Dump(object) << '\n';
        } else if (m_context.options.all) {
            PrintCandidates();
        }
        Err() << "tessalok: " << reason << '\n';
        return exit_code::kNoDrive;
    }

    // " (the transport's last error)", or nothing when it has none.
    static std::string InParentheses(const std::string& reason) {
        return reason.empty() ? std::string{} : " (" + reason + ")";
    }
    std::string Reason() const { return InParentheses(m_recording.LastError()); }

    int ReportStopped() {
        Err() << "tessalok: the fingerprint drive stopped answering" << Reason() << '\n';
        return exit_code::kNoDrive;
    }

    // The operations wait on as the window does; the terminal says why at once.
    void ReportSilence(const std::string& reason) {
        if (InterruptRequested())
            return;
        m_window.FinishLine();
        Err() << "tessalok: the fingerprint drive stopped answering" << InParentheses(reason)
              << "; still waiting, as the window does (Ctrl-C stops)\n"
              << std::flush;
    }

    // The window's buttons: Install needs a free slot of a valid status reply, Erase All
    // an installed fingerprint.
    int ReportBlocked(Command command, CommandBlock block) {
        const char* what = command == Command::Install ? "install" : "erase";
        Err() << "tessalok: " << what << " refused: ";
        switch (block) {
        case CommandBlock::NoDrive:
            Err() << "no fingerprint drive\n";
            return exit_code::kNoDrive;
        case CommandBlock::NoSlotEntry:
            Err() << "the drive's status reply held no valid slot entry\n";
            break;
        case CommandBlock::DriveFull:
            Err() << "the drive is full (" << m_operations.m_installedCount
                  << " fingerprints installed, no free slot)\n";
            break;
        case CommandBlock::NothingInstalled:
            Err() << "no fingerprint is installed, nothing to erase\n";
            break;
        case CommandBlock::None:
            break;
        }
        return exit_code::kDriveFailed;
    }

    int RunModel() {
        m_operations.ShowModel();
        const std::optional<std::u16string>& model = m_window.ModelText();
        if (m_operations.m_device.m_driveLetter == 0 || !model)
            return ReportStopped();
        if (m_context.options.json) {
            nlohmann::json object = DriveJson();
            object["model"] = ToUtf8(*model);
            Out() << Dump(object) << '\n';
        } else {
            Out() << ToUtf8(*model) << '\n';
        }
        return exit_code::kSuccess;
    }

    int RunEnrolmentOrErase(Command command) {
        const CommandBlock block =
            command == Command::Install ? m_operations.InstallBlock() : m_operations.EraseBlock();
        if (block != CommandBlock::None)
            return ReportBlocked(command, block);
        m_window.SetShowProgress(true);
        m_window.SetAssumeYes(m_context.options.yes);
        SetInterruptRequested(false);
        InstallInterruptHandler();
        m_watch.Arm();
        if (command == Command::Install) {
            m_operations.InstallNewFingerprint();
        } else {
            m_operations.EraseAllFingerprints();
        }
        m_window.FinishLine();
        const std::optional<std::u16string>& resultText = m_window.ResultText();
        const ResultMessage* result = resultText ? FindResult(*resultText) : nullptr;
        // A result decided before Ctrl-C, or reported by the drive, stands. A time-out
        // that Ctrl-C brought about (the cut waits count as cycles without a report) is
        // no time-out.
        const bool resultStands = resultText && (!m_window.ResultFollowedInterrupt() ||
                                                 (result != nullptr && result->reportedByDrive));
        if (resultStands) {
            if (result != nullptr && result->probeFollows && !m_window.RefreshedAfterResult() &&
                !InterruptRequested()) {
                Err() << "tessalok: the status read after the result failed" << Reason()
                      << "; the counts were not refreshed\n";
            }
            return ExitCodeForResult(*resultText);
        }
        if (InterruptRequested()) {
            Err() << "tessalok: interrupted; stopped waiting for the drive (the drive was not "
                     "told to stop)\n";
            return exit_code::kInterrupted;
        }
        Err() << "tessalok: not confirmed; nothing was erased\n";
        return exit_code::kDriveFailed;
    }

    const CommandContext& m_context;
    InterruptGate m_gate;
    SilenceWatch m_watch;
    RecordingTransport m_recording;
    TerminalWindow m_window;
    CFingerprintOperations m_operations;
    std::uint32_t m_mask = 0;
};

} // namespace

int ExitCodeForResult(const std::u16string& resultText) {
    const ResultMessage* result = FindResult(resultText);
    return result != nullptr ? result->exitCode : exit_code::kDriveFailed;
}

void PrintLanguages(std::ostream& out) {
    for (int index = 0; index < kLanguageCount; ++index) {
        out << (index < 10 ? " " : "") << index << "  " << Utf8Text(kLanguageNameBase + index)
            << '\n';
    }
}

int RunCommand(const CommandContext& context) {
    return CommandRun(context).Run();
}
