#include "cli/commands.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

#include "app/start_settings.h"
#include "app/utf_convert.h"
#include "cli/interrupt.h"
#include "device/memory_transport.h"
#include "fingerprint/fingerprint_operations.h"
#include "i18n/message_table.h"
#include "virtual_drive/drive_model.h"

namespace {

class NoWaitClock final : public IClock {
  public:
    void Sleep(std::uint32_t) override {}
};

// Passes commands to the drive and, as command number `after` (from 1) arrives, acts:
// presses Ctrl-C unless told otherwise.
class InterruptingTarget final : public IScsiTarget {
  public:
    InterruptingTarget(
        IScsiTarget& inner, std::size_t after,
        std::function<void()> action = [] { SetInterruptRequested(true); })
        : m_inner(inner), m_after(after), m_action(std::move(action)) {}
    std::uint8_t ExecuteCommand(const Cdb& cdb, ScsiDirection direction,
                                std::span<std::uint8_t> data) override {
        if (++m_count == m_after)
            m_action();
        return m_inner.ExecuteCommand(cdb, direction, data);
    }
    std::size_t Count() const { return m_count; }

  private:
    IScsiTarget& m_inner;
    std::size_t m_after;
    std::function<void()> m_action;
    std::size_t m_count = 0;
};

// A stick at C (another vendor), the fingerprint drive at E.
struct Rig {
    Rig() {
        g_language = 0;
        g_busy = 0;
        SetInterruptRequested(false);
        // Letters name the drives as on the virtual drive (not as Linux device paths).
        options.vdriveHost = "in-memory";
        memory.Attach('C', stick);
        memory.Attach('E', drive);
    }
    int Run(Command command, std::string input = {}) {
        options.command = command;
        out.str({});
        err.str({});
        in.str(std::move(input));
        in.clear();
        const CommandContext context{options, memory, clock, {out, err, in}, false, onlyLetter};
        return RunCommand(context);
    }
    vdrive::FingerprintDriveModel drive;
    vdrive::UsbStickModel stick;
    MemoryTransport memory;
    NoWaitClock clock;
    CliOptions options;
    char onlyLetter = 0;
    std::ostringstream out;
    std::ostringstream err;
    std::istringstream in;
};

std::string English(int number) {
    return ToUtf8(GetText(number));
}

TEST(Commands, StatusAndScanReportTheFoundDrive) {
    Rig rig;
    rig.drive.SetSlot(0, "alice");
    rig.drive.SetSlot(1, "bob");
    EXPECT_EQ(rig.Run(Command::Status), exit_code::kSuccess);
    EXPECT_EQ(rig.out.str(), "Drive:    E:\nIdentity: JMTMESV1\n"
                             "Currently installed:2, Could install more:8\n");

    rig.options.json = true;
    rig.options.all = true;
    EXPECT_EQ(rig.Run(Command::Scan), exit_code::kSuccess);
    const nlohmann::json object = nlohmann::json::parse(rig.out.str());
    EXPECT_EQ(object["drive"], "E:");
    EXPECT_EQ(object["identity"], "JMTMESV1");
    EXPECT_EQ(object["installed"], 2);
    EXPECT_EQ(object["free"], 8);
    ASSERT_EQ(object["candidates"].size(), 2u);
    EXPECT_EQ(object["candidates"][0]["drive"], "C:");
    EXPECT_EQ(object["candidates"][0]["verdict"],
              "skipped: vendor name or command tags do not match");
    EXPECT_EQ(object["candidates"][1]["verdict"], "fingerprint drive");
}

TEST(Commands, ScanAllSaysWhyEachCandidateWasPassedOver) {
    Rig rig;
    vdrive::DriveOptions stranger;
    stranger.identity = "OTHERID1";
    vdrive::FingerprintDriveModel strangeDrive(stranger);
    vdrive::FingerprintDriveModel silentDrive;
    rig.memory.Detach('E');
    rig.memory.Attach('D', strangeDrive);
    rig.memory.Attach('E', silentDrive);
    rig.memory.Attach('F', rig.drive);
    rig.memory.Attach('G', rig.drive);
    // Commands in order: C identify (0); D identify, identity (1, 2); E identify, two
    // identity reads (3..5), then its status request fails: seed and write, three
    // attempts each (6..11).
    rig.memory.FailCommandNumber(0);
    for (std::size_t number = 6; number <= 11; ++number)
        rig.memory.FailCommandNumber(number);
    rig.options.all = true;

    EXPECT_EQ(rig.Run(Command::Scan), exit_code::kSuccess);
    const std::string out = rig.out.str();
    for (const char* line :
         {"C:  did not answer the identification\n",
          "D:  skipped: the identity is not a fingerprint drive's\n"
          "    INQU identify: tags [INQU FWUP SECU DIAG], vendor \"Kestrova\"\n"
          "    SECU read identity: identity \"OTHERID1\"\n",
          "E:  skipped: the slot status could not be read\n", "F:  fingerprint drive\n",
          "G:  not tried: the search had already found its drive\n", "Drive:    F:\n"}) {
        EXPECT_NE(out.find(line), std::string::npos) << line << "\nin:\n" << out;
    }
}

TEST(Commands, NoDriveIsExitThree) {
    Rig rig;
    rig.memory.Detach('E');
    EXPECT_EQ(rig.Run(Command::Status), exit_code::kNoDrive);
    EXPECT_EQ(rig.err.str(), "tessalok: no fingerprint drive found\n");

    rig.memory.Attach('E', rig.drive);
    rig.onlyLetter = 'C'; // --drive C: only the stick is tried
    rig.options.json = true;
    EXPECT_EQ(rig.Run(Command::Scan), exit_code::kNoDrive);
    const nlohmann::json object = nlohmann::json::parse(rig.out.str());
    EXPECT_TRUE(object["drive"].is_null());
    EXPECT_EQ(object["error"], "no fingerprint drive found");
}

// The system's disks as the Linux search sees them: E is a disk off USB, outside the
// search; only an open of E says so.
class UsbOnlyTransport final : public IScsiTransport {
  public:
    explicit UsbOnlyTransport(IScsiTransport& inner) : m_inner(inner) {}
    Handle OpenDrive(char letter) override {
        ++opens;
        m_error = std::string("drive ") + letter + ": /dev/sdc is not attached through USB";
        return kInvalidHandle;
    }
    bool SendScsiCommand(Handle handle, const Cdb& cdb, std::uint8_t* data, std::uint32_t length,
                         ScsiDirection direction) override {
        return m_inner.SendScsiCommand(handle, cdb, data, length, direction);
    }
    void CloseDrive(Handle handle) override { m_inner.CloseDrive(handle); }
    std::uint32_t PresentDriveMask() override {
        return m_inner.PresentDriveMask() & ~(1u << ('E' - 'A'));
    }
    std::string LastError() const override { return m_error; }
    int opens = 0;

  private:
    IScsiTransport& m_inner;
    std::string m_error;
};

TEST(Commands, ALetterOutsideTheSearchSaysWhy) {
    Rig rig;
    UsbOnlyTransport transport(rig.memory);
    rig.options.command = Command::Status;
    const CommandContext context{rig.options, transport, rig.clock, {rig.out, rig.err, rig.in},
                                 false,       'E'};
    EXPECT_EQ(RunCommand(context), exit_code::kNoDrive);
    EXPECT_EQ(rig.err.str(), "tessalok: no fingerprint drive found "
                             "(drive E: /dev/sdc is not attached through USB)\n");
    EXPECT_EQ(transport.opens, 1);
    EXPECT_EQ(rig.memory.CommandCount(), 0u); // nothing was sent to find that out
}

TEST(Commands, ModelPrintsTheModelText) {
    Rig rig;
    EXPECT_EQ(rig.Run(Command::Model), exit_code::kSuccess);
    EXPECT_EQ(rig.out.str(), "KV-FP2000 Rev 2.00.7\n");
}

TEST(Commands, InstallOutcomesAndTheirExitCodes) {
    const struct {
        const char* name;
        bool slotInUse;
        std::function<void(vdrive::ScriptedUser&)> script;
        int result;
        int exitCode;
    } cases[] = {
        {"enrolled", false, [](vdrive::ScriptedUser& u) { u.Present("bob", 3); }, 35, 0},
        {"authorized, enrolled", true,
         [](vdrive::ScriptedUser& u) {
             u.Present("alice");
             u.Present("bob", 3);
         },
         35, 0},
        {"refused", true, [](vdrive::ScriptedUser& u) { u.Refuse(); }, 33, 1},
        {"new finger failed", false, [](vdrive::ScriptedUser& u) { u.Fail(); }, 36, 1},
        {"time-out", false, [](vdrive::ScriptedUser&) {}, 32, 1},
    };
    for (const auto& entry : cases) {
        Rig rig;
        if (entry.slotInUse)
            rig.drive.SetSlot(0, "alice");
        entry.script(rig.drive.User());
        EXPECT_EQ(rig.Run(Command::Install), entry.exitCode) << entry.name;
        EXPECT_NE(rig.out.str().find(English(entry.result) + "\n"), std::string::npos)
            << entry.name << ": " << rig.out.str();
        EXPECT_EQ(g_busy, 0) << entry.name;
    }
}

TEST(Commands, EraseAsksFirstAndMapsItsResult) {
    Rig rig;
    rig.drive.SetSlot(0, "alice");
    const std::size_t before = rig.memory.CommandCount();
    EXPECT_EQ(rig.Run(Command::Erase, "n\n"), exit_code::kDriveFailed);
    EXPECT_NE(rig.err.str().find(English(20) + ": " + English(21) + " [y/N]"), std::string::npos);
    EXPECT_TRUE(rig.drive.Slot(0));
    // Only the search's commands: nothing was sent for the erase.
    const std::size_t searchOnly = rig.memory.CommandCount() - before;

    rig.drive.User().Present("alice");
    EXPECT_EQ(rig.Run(Command::Erase, "y\n"), exit_code::kSuccess);
    EXPECT_GT(rig.memory.CommandCount() - before, 2 * searchOnly);
    EXPECT_FALSE(rig.drive.Slot(0));
    EXPECT_NE(rig.out.str().find(English(24)), std::string::npos);
    EXPECT_NE(rig.out.str().find(English(10)), std::string::npos); // fresh counts after it

    rig.drive.SetSlot(0, "alice");
    rig.options.yes = true;
    EXPECT_EQ(rig.Run(Command::Erase), exit_code::kDriveFailed); // nobody touches: time-out
    EXPECT_NE(rig.out.str().find(English(25)), std::string::npos);
    EXPECT_EQ(rig.err.str(), "");
}

TEST(Commands, CtrlCEndsTheWaitLikeClosingTheWindow) {
    Rig rig;
    // Reports that decide nothing keep the enrol phase going until it is stopped.
    rig.drive.User().Ignored(1000);
    InterruptingTarget interrupting(rig.drive, 60);
    rig.memory.Detach('E');
    rig.memory.Attach('E', interrupting);
    EXPECT_EQ(rig.Run(Command::Install), exit_code::kInterrupted);
    EXPECT_NE(rig.err.str().find("interrupted"), std::string::npos);
    EXPECT_EQ(rig.out.str().find(English(35)), std::string::npos);
    EXPECT_EQ(rig.out.str().find(English(32)), std::string::npos);
    EXPECT_EQ(g_busy, 0);
    SetInterruptRequested(false);
}

TEST(Commands, InstallAndEraseFollowTheWindowsButtonRules) {
    const struct {
        const char* name;
        Command command;
        std::function<void(vdrive::FingerprintDriveModel&)> setUp;
        const char* reason;
    } cases[] = {
        {"install on a full drive", Command::Install,
         [](vdrive::FingerprintDriveModel& drive) {
             for (std::size_t slot = 0; slot < vdrive::kSlotCount; ++slot)
                 drive.SetSlot(slot, "finger" + std::to_string(slot));
         },
         "install refused: the drive is full (10 fingerprints installed, no free slot)\n"},
        // Both counts 0: no authorization phase would run, and a drive that waits for an
        // authorized finger would have its 'S' taken as the new finger enrolled.
        {"install without a valid slot entry", Command::Install,
         [](vdrive::FingerprintDriveModel& drive) {
             drive.SetSlot(0, "alice");
             for (std::size_t slot = 0; slot < vdrive::kSlotCount; ++slot)
                 drive.BreakSlotEntry(slot, {'X', 'X', 'X'});
         },
         "install refused: the drive's status reply held no valid slot entry\n"},
        {"erase on an empty drive", Command::Erase, [](vdrive::FingerprintDriveModel&) {},
         "erase refused: no fingerprint is installed, nothing to erase\n"},
    };
    for (const auto& entry : cases) {
        Rig rig;
        entry.setUp(rig.drive);
        const std::size_t before = rig.memory.CommandCount();
        rig.Run(Command::Scan);
        const std::size_t search = rig.memory.CommandCount() - before;

        EXPECT_EQ(rig.Run(entry.command, "y\n"), exit_code::kDriveFailed) << entry.name;
        EXPECT_EQ(rig.err.str(), std::string("tessalok: ") + entry.reason) << entry.name;
        EXPECT_EQ(rig.memory.CommandCount() - before, 2 * search) << entry.name << ": sent more";
        EXPECT_EQ(rig.drive.State(), vdrive::DriveState::Idle) << entry.name;
    }
}

TEST(Commands, DriveBytesNeverReachTheOutputRaw) {
    // Identity bytes 6 and 7 are never checked: here ESC c (a terminal reset) and a byte
    // that is no UTF-8.
    vdrive::DriveOptions odd;
    odd.identity = "JMTMES\x1b\xc3";
    vdrive::FingerprintDriveModel oddDrive(odd);
    Rig rig;
    rig.memory.Detach('E');
    rig.memory.Attach('E', oddDrive);

    EXPECT_EQ(rig.Run(Command::Status), exit_code::kSuccess);
    EXPECT_NE(rig.out.str().find("Identity: JMTMES\\x1b\\xc3\n"), std::string::npos)
        << rig.out.str();

    rig.options.json = true;
    for (const bool all : {false, true}) {
        rig.options.all = all;
        for (const Command command : {Command::Status, Command::Scan, Command::Model}) {
            if (all && command != Command::Scan)
                continue;
            ASSERT_EQ(rig.Run(command), exit_code::kSuccess);
            const nlohmann::json object = nlohmann::json::parse(rig.out.str());
            EXPECT_EQ(object["identity"], "JMTMES\uFFFD\uFFFD");
        }
    }

    // The window's announcement of the drive, shown while an install runs.
    rig.options = {};
    rig.options.vdriveHost = "in-memory";
    oddDrive.User().Present("bob", 3);
    EXPECT_EQ(rig.Run(Command::Install), exit_code::kSuccess);
    EXPECT_NE(rig.out.str().find("Found [JMTMES\\x1b\u00c3] Tessalok Disk"), std::string::npos)
        << rig.out.str();
    EXPECT_EQ(rig.out.str().find('\x1b'), std::string::npos);
}

TEST(Commands, AResultAlreadyDecidedWinsOverALaterCtrlC) {
    // An erase that succeeds, run once to count the drive's commands: the last six are
    // the final status read (identity twice, seed, request, seed, reply), the four before
    // them the deciding poll.
    std::size_t total = 0;
    {
        Rig rig;
        rig.drive.SetSlot(0, "alice");
        rig.drive.User().Present("alice");
        InterruptingTarget counting(rig.drive, 0, [] {});
        rig.memory.Detach('E');
        rig.memory.Attach('E', counting);
        rig.options.yes = true;
        ASSERT_EQ(rig.Run(Command::Erase), exit_code::kSuccess);
        total = counting.Count();
    }
    for (const std::size_t at : {total - 6, total - 5, total}) {
        Rig rig;
        rig.drive.SetSlot(0, "alice");
        rig.drive.User().Present("alice");
        InterruptingTarget interrupting(rig.drive, at);
        rig.memory.Detach('E');
        rig.memory.Attach('E', interrupting);
        rig.options.yes = true;
        EXPECT_EQ(rig.Run(Command::Erase), exit_code::kSuccess) << at << " of " << total;
        EXPECT_NE(rig.out.str().find(English(24)), std::string::npos) << at;
        EXPECT_EQ(rig.err.str(), "") << at;
        EXPECT_EQ(g_busy, 0);
    }
    SetInterruptRequested(false);
}

TEST(Commands, ATimeOutThatCtrlCBroughtAboutIsAnInterruption) {
    Rig rig;
    rig.drive.SetSlot(0, "alice");
    // Ctrl-C lands in the last cycle of the erase's idle budget: the cut poll would spend
    // the budget and show the time-out.
    InterruptingTarget counting(rig.drive, 0, [] {});
    rig.memory.Detach('E');
    rig.memory.Attach('E', counting);
    rig.options.yes = true;
    ASSERT_EQ(rig.Run(Command::Erase), exit_code::kDriveFailed);
    const std::size_t total = counting.Count();

    Rig again;
    again.drive.SetSlot(0, "alice");
    // Within the last poll before the time-out (the final status read takes six commands).
    InterruptingTarget interrupting(again.drive, total - 6 - 2);
    again.memory.Detach('E');
    again.memory.Attach('E', interrupting);
    again.options.yes = true;
    EXPECT_EQ(again.Run(Command::Erase), exit_code::kInterrupted);
    EXPECT_NE(again.err.str().find("interrupted"), std::string::npos);
    // The cut cycle still ends the erase with its time-out message, as the window shows it.
    EXPECT_NE(again.out.str().find(English(25)), std::string::npos);
    SetInterruptRequested(false);
}

TEST(Commands, SaysOnceThatTheDriveStoppedAnsweringAndThatTheLastStatusReadFailed) {
    {
        // A candidate that cannot be opened during the search is no news.
        Rig rig;
        vdrive::UsbStickModel locked;
        rig.memory.Attach('D', locked);
        rig.memory.RefuseOpen('D', true);
        rig.drive.User().Present("bob", 3);
        EXPECT_EQ(rig.Run(Command::Install), exit_code::kSuccess);
        EXPECT_EQ(rig.err.str(), "");
    }
    Rig rig;
    rig.drive.SetSlot(0, "alice");
    // The drive is pulled while the install waits for the authorized finger.
    InterruptingTarget unplugging(rig.drive, 40, [&rig] { rig.drive.Unplug(); });
    rig.memory.Detach('E');
    rig.memory.Attach('E', unplugging);
    EXPECT_EQ(rig.Run(Command::Install), exit_code::kDriveFailed);
    EXPECT_NE(rig.out.str().find(English(32)), std::string::npos);
    const std::string err = rig.err.str();
    const std::string stopped = "tessalok: the fingerprint drive stopped answering";
    ASSERT_NE(err.find(stopped), std::string::npos) << err;
    EXPECT_EQ(err.find(stopped, err.find(stopped) + 1), std::string::npos) << "twice:\n" << err;
    EXPECT_NE(err.find("tessalok: the status read after the result failed"), std::string::npos)
        << err;
}

TEST(ExitCodeForResult, ComparesInTheCurrentLanguage) {
    g_language = 3;
    EXPECT_EQ(ExitCodeForResult(GetText(35)), exit_code::kSuccess);
    EXPECT_EQ(ExitCodeForResult(GetText(24)), exit_code::kSuccess);
    EXPECT_EQ(ExitCodeForResult(GetText(33)), exit_code::kDriveFailed);
    EXPECT_EQ(ExitCodeForResult(GetText(31)), exit_code::kNoDrive);
    EXPECT_EQ(ExitCodeForResult(u"something else"), exit_code::kDriveFailed);
    g_language = 0;
    EXPECT_EQ(ExitCodeForResult(GetText(25)), exit_code::kDriveFailed);
}

} // namespace
