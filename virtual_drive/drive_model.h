// The virtual fingerprint drive: an IScsiTarget that keeps the drive contract.
//
// FingerprintDriveModel answers the identification command ("INQU") and the four "SECU"
// sub-commands, hands out seeds and pairs them with the frames (the request frame written
// next is descrambled with the seed just given, the reply frame read next is scrambled with
// the seed given right before that read; a seed serves one frame only), keeps ten slots and
// runs enrolment and erase as a state machine that advances one step per progress poll.
//
// Use in-process:
//     FingerprintDriveModel drive;                 // default options
//     drive.SetSlot(0, "alice-thumb");             // one installed finger
//     drive.User().Present("alice-thumb");         // poll 1 after the start: authorizes
//     drive.User().Present("bob-index", 3);        // polls 2-4: three touches, enrolled
//     MemoryTransport transport; transport.Attach('E', drive);
//
// The user script is a queue of events; a progress poll takes one event only while the
// drive waits for a finger (authorizing, enrolling, erasing), so events queued before a
// start request wait for it. With an empty queue the automatic user (if enabled) acts,
// otherwise the poll brings no report.
//
// Not thread-safe: the server puts all its models behind one mutex.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "device/scsi_target.h"
#include "device/vendor_protocol.h"

namespace vdrive {

inline constexpr std::size_t kSlotCount = vendor::kSlotCount;

// Report bytes a poll can carry (payload of the poll reply, from frame offset 11).
using Report = std::vector<std::uint8_t>;

// What the user does at one poll while the drive waits for a finger.
struct UserEvent {
    enum class Kind {
        Nothing, // no finger: the poll brings no report
        Finger,  // a finger with `finger` identity; the drive judges it by its state
        Touch,   // a touch the drive notes without deciding: report 'a'
        Refuse,  // the drive rejects the finger: authorizing 'S',' ','f',' '; else 'f'
        Fail,    // the drive's work fails: authorizing and enrolling 'g'; erasing 'f'
        Ignored, // a report no operation acts on: 'w'
        Raw,     // `raw` as report bytes, length field `rawLength` or raw.size() + 1
    };
    Kind kind = Kind::Nothing;
    std::string finger;
    Report raw;
    std::optional<std::uint16_t> rawLength;
};

// The scripted user: a queue of events, one per waiting poll. The queue holds at most
// kMaxEvents events in all, so control texts cannot make it grow without bound; an adder
// that would go past it adds nothing and returns false.
class ScriptedUser {
  public:
    static constexpr std::size_t kMaxEvents = 10000;

    bool Push(UserEvent event, unsigned times = 1);
    // `times` polls with finger `identity` on the sensor.
    bool Present(const std::string& identity, unsigned times = 1);
    bool Nothing(unsigned polls = 1);
    bool Touch(unsigned times = 1);
    bool Refuse();
    bool Fail();
    bool Ignored(unsigned times = 1);
    bool Raw(Report bytes, std::optional<std::uint16_t> lengthField = std::nullopt);

    bool Empty() const { return m_events.empty(); }
    std::size_t Pending() const { return m_events.size(); }
    // Empties the queue and gives its memory back.
    void Clear() { std::deque<UserEvent>().swap(m_events); }
    std::optional<UserEvent> Take();

  private:
    std::deque<UserEvent> m_events;
};

// The last few items of a long stream and how many there were in all: what the tests look
// at, in memory that does not grow with the stream.
template <typename T> class RecentWindow {
  public:
    static constexpr std::size_t kKept = 16;

    void Add(T item) {
        if (m_items.size() == kKept) {
            m_items.pop_front();
        }
        m_items.push_back(std::move(item));
        ++m_total;
    }
    // The last kKept items at most, oldest first.
    std::vector<T> Items() const { return {m_items.begin(), m_items.end()}; }
    const T& Last() const { return m_items.back(); }
    std::size_t Total() const { return m_total; }
    void Clear() {
        m_items.clear();
        m_total = 0;
    }

  private:
    std::deque<T> m_items;
    std::size_t m_total = 0;
};

// How an enrolment success is reported.
enum class EnrolReport {
    Letter,   // 'S'
    SlotLine, // slot digit, 0x0D, 0x0A, 'S'
};

struct DriveOptions {
    // Command tags of the identification reply; "SECU" is not first, so its position
    // (CDB byte 1 of every "SECU" command) is really checked.
    std::vector<std::string> tags{"INQU", "FWUP", "SECU", "DIAG"};
    std::string vendorName{vendor::kVendorName};   // 8 bytes, padded with blanks
    std::string identity{"JMTMESV1"};              // 8 bytes, padded with zeros
    std::string modelText{"KV-FP2000 Rev 2.00.7"}; // 20 characters, padded with blanks
    // Empty: random seeds (never with all low 15 bits zero). Otherwise these seeds, in
    // order, over and over.
    std::vector<std::uint16_t> fixedSeeds;
    // Presentations of the new finger an enrolment takes: touches ('a') then success.
    unsigned touchesToEnrol = 3;
    EnrolReport enrolReport = EnrolReport::Letter;
    // Automatic user for demos: every `autoStepPolls`-th waiting poll presents a finger
    // (an installed one to authorize and erase, a new one to enrol). 0 = off.
    unsigned autoStepPolls = 0;
};

// The drive's state machine.
enum class DriveState {
    Idle,         // polls bring no report
    Authorizing,  // install start with slots in use: waits for an installed finger
    Enrolling,    // waits for the new finger
    Erasing,      // erase start: waits for an installed finger
    ErasePending, // authorized: the next poll erases all slots and reports 's'
};
const char* DriveStateName(DriveState state);

// What one command did, for the server (silence) and its log.
struct CommandOutcome {
    std::uint8_t status = kScsiStatusGood;
    bool silent = false; // not carried out; the server withholds its reply
    std::string decoded; // one line, only while logging is on
};

class FingerprintDriveModel final : public IScsiTarget {
  public:
    explicit FingerprintDriveModel(DriveOptions options = {});

    // IScsiTarget: Execute(...).status; a silent command fails with CHECK CONDITION.
    std::uint8_t ExecuteCommand(const Cdb& cdb, ScsiDirection direction,
                                std::span<std::uint8_t> data) override;
    CommandOutcome Execute(const Cdb& cdb, ScsiDirection direction, std::span<std::uint8_t> data);

    const DriveOptions& Options() const { return m_options; }

    // Slots: an installed slot holds the identity of its finger.
    void SetSlot(std::size_t slot, std::string identity);
    void ClearSlot(std::size_t slot);
    void ClearSlots();
    const std::optional<std::string>& Slot(std::size_t slot) const { return m_slots.at(slot); }
    const std::array<std::optional<std::string>, kSlotCount>& Slots() const { return m_slots; }
    void SetSlots(const std::array<std::optional<std::string>, kSlotCount>& slots);
    std::size_t InstalledCount() const;
    bool IsInstalled(const std::string& identity) const;
    // Called after every change of the slot table (enrolment, erase, Set/Clear).
    void SetSlotsChanged(std::function<void()> handler) { m_slotsChanged = std::move(handler); }

    ScriptedUser& User() { return m_user; }
    const ScriptedUser& User() const { return m_user; }
    DriveState State() const { return m_state; }

    // Faults. Each counts the commands that reach the model (identification included).
    // CHECK CONDITION for the next `count` commands; nothing else happens.
    void FailNextCommands(unsigned count) { m_failNext = count; }
    // The next `count` commands are not answered at all (silence past the time-out).
    void SilenceNextCommands(unsigned count) { m_silenceNext = count; }
    // The next `count` reply frames carry only their first `keptBytes` bytes; the rest of
    // the transfer is zero.
    void TruncateNextReplies(unsigned count, std::size_t keptBytes);
    // Slot entry `slot` of every status reply is sent as `entry` (3 bytes) until cleared.
    void BreakSlotEntry(std::size_t slot, std::array<std::uint8_t, 3> entry);
    void ClearBrokenEntries();
    // A pulled plug: every command fails, the running operation and the seed are lost.
    // The slot table survives. Plug() puts it back.
    void Unplug();
    void Plug() { m_plugged = true; }
    bool Plugged() const { return m_plugged; }
    // Back to idle: no operation, no seed, no pending reply, no faults, empty script, no
    // history of seeds and reports.
    void Reset();

    // Seeds handed out (for the tests' pairing checks).
    const RecentWindow<std::uint16_t>& SeedsGiven() const { return m_seedsGiven; }
    // Request frames refused (bad signature, unknown request, wrong write code,
    // reply read without a request); the last reason in words.
    std::size_t BadFrameCount() const { return m_badFrames; }
    const std::string& LastBadFrame() const { return m_lastBadFrame; }
    // Reports delivered by polls (empty reports not included).
    const RecentWindow<Report>& ReportsGiven() const { return m_reportsGiven; }

    void SetLogging(bool on) { m_logging = on; }
    // The door the next commands come through, named in the log when a frame meets a seed
    // another door took (both doors using the drive at once). The SCSI disk's doors
    // leave the default.
    static constexpr const char* kDiskDoor = "the SCSI disk (iSCSI or USB)";
    void SetDoor(std::string door) { m_door = std::move(door); }

  private:
    struct Reply {
        std::vector<std::uint8_t> frame; // plain reply frame, header included
    };

    std::uint8_t Identify(ScsiDirection direction, std::span<std::uint8_t> data);
    std::uint8_t Secure(const Cdb& cdb, ScsiDirection direction, std::span<std::uint8_t> data);
    std::uint8_t ReadIdentity(std::span<std::uint8_t> data);
    std::uint8_t ReadSeed(std::span<std::uint8_t> data);
    std::uint8_t WriteFrame(std::uint8_t code, std::span<std::uint8_t> data);
    std::uint8_t ReadFrame(std::span<std::uint8_t> data);
    std::uint8_t BadFrame(std::string reason);

    // Request handlers: each builds the reply frame of its request.
    Reply HandleStatus();
    Reply HandleModel();
    Reply HandlePoll();
    void HandleInstallStart();
    void HandleEraseStart();

    // State handlers of a poll: the report for the event `event` in that state.
    Report OnAuthorizing(const UserEvent& event);
    Report OnEnrolling(const UserEvent& event);
    Report OnErasing(const UserEvent& event);
    Report OnErasePending();
    std::optional<UserEvent> NextUserEvent();
    UserEvent AutomaticEvent();

    std::uint16_t NextSeed();
    std::uint16_t TakeFrameSeed();
    Reply MakeReply(std::span<const std::uint8_t> payload, std::uint16_t lengthField) const;
    void NotifySlotsChanged();
    void Log(std::string text);

    DriveOptions m_options;
    std::array<std::optional<std::string>, kSlotCount> m_slots{};
    std::array<std::optional<std::array<std::uint8_t, 3>>, kSlotCount> m_brokenEntries{};
    std::function<void()> m_slotsChanged;
    ScriptedUser m_user;

    DriveState m_state = DriveState::Idle;
    unsigned m_touches = 0;
    unsigned m_waitingPolls = 0; // for the automatic user
    unsigned m_autoFingers = 0;

    std::uint16_t m_seed = 0;
    bool m_seedFresh = false;
    std::size_t m_fixedSeedIndex = 0;
    std::uint32_t m_random = 0;
    std::optional<Reply> m_pendingReply;
    std::uint8_t m_requestByte3 = 0;

    unsigned m_failNext = 0;
    unsigned m_silenceNext = 0;
    unsigned m_truncateNext = 0;
    std::size_t m_truncateKeep = 0;
    bool m_plugged = true;

    RecentWindow<std::uint16_t> m_seedsGiven;
    RecentWindow<Report> m_reportsGiven;
    std::size_t m_badFrames = 0;
    std::string m_lastBadFrame;
    bool m_logging = false;
    std::string m_log;
    std::string m_door = kDiskDoor;
    std::string m_seedDoor; // the door the last seed went out through
};

// An ordinary USB stick at another letter: it answers identification with its own vendor
// name and tags, or refuses every vendor command.
struct StickOptions {
    std::string vendorName{"UsbFlash"};
    std::vector<std::string> tags{"INQU"};
    bool refuseVendorCommands = false;
};

class UsbStickModel final : public IScsiTarget {
  public:
    explicit UsbStickModel(StickOptions options = {}) : m_options(std::move(options)) {}
    std::uint8_t ExecuteCommand(const Cdb& cdb, ScsiDirection direction,
                                std::span<std::uint8_t> data) override;

  private:
    StickOptions m_options;
};

// Fills `data` with an identification reply: tag count, tags, vendor name (8 bytes).
void FillIdentification(std::span<std::uint8_t> data, const std::vector<std::string>& tags,
                        const std::string& vendorName);

} // namespace vdrive
