#include "virtual_drive/drive_model.h"

#include <algorithm>
#include <cstdio>
#include <random>

#include "device/scrambler.h"

namespace vdrive {

namespace {

constexpr std::uint8_t kReportTouch = 'a';
constexpr std::uint8_t kReportAccepted = 'S';
constexpr std::uint8_t kReportFailed = 'f';
constexpr std::uint8_t kReportFailedOther = 'g';
constexpr std::uint8_t kReportErased = 's';
constexpr std::uint8_t kReportIgnored = 'w';

bool SameRequest(std::span<const std::uint8_t> frame, const vendor::Request& request) {
    return frame[8] == request.b1 && frame[9] == request.b2 && frame[10] == request.b3;
}

// A seed for a frame the client did not ask a seed for: never one it was given.
std::uint16_t StaleSeed(std::uint16_t seed) {
    return static_cast<std::uint16_t>((seed * 40503u + 0x3C6Eu) | 0x0001u);
}

std::string Hex(std::span<const std::uint8_t> bytes) {
    std::string text;
    char buffer[4];
    for (const std::uint8_t b : bytes) {
        std::snprintf(buffer, sizeof buffer, "%02X", b);
        if (!text.empty()) {
            text += ' ';
        }
        text += buffer;
    }
    return text;
}

void PutPadded(std::span<std::uint8_t> target, const std::string& text, std::uint8_t pad) {
    for (std::size_t i = 0; i < target.size(); ++i) {
        target[i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : pad;
    }
}

} // namespace

// --- ScriptedUser -----------------------------------------------------------------------

bool ScriptedUser::Push(UserEvent event, unsigned times) {
    if (times > kMaxEvents - m_events.size()) {
        return false;
    }
    for (unsigned i = 0; i < times; ++i) {
        m_events.push_back(event);
    }
    return true;
}

bool ScriptedUser::Present(const std::string& identity, unsigned times) {
    return Push({UserEvent::Kind::Finger, identity, {}, std::nullopt}, times);
}

bool ScriptedUser::Nothing(unsigned polls) {
    return Push({UserEvent::Kind::Nothing, {}, {}, std::nullopt}, polls);
}

bool ScriptedUser::Touch(unsigned times) {
    return Push({UserEvent::Kind::Touch, {}, {}, std::nullopt}, times);
}

bool ScriptedUser::Refuse() {
    return Push({UserEvent::Kind::Refuse, {}, {}, std::nullopt});
}

bool ScriptedUser::Fail() {
    return Push({UserEvent::Kind::Fail, {}, {}, std::nullopt});
}

bool ScriptedUser::Ignored(unsigned times) {
    return Push({UserEvent::Kind::Ignored, {}, {}, std::nullopt}, times);
}

bool ScriptedUser::Raw(Report bytes, std::optional<std::uint16_t> lengthField) {
    return Push({UserEvent::Kind::Raw, {}, std::move(bytes), lengthField});
}

std::optional<UserEvent> ScriptedUser::Take() {
    if (m_events.empty()) {
        return std::nullopt;
    }
    UserEvent event = std::move(m_events.front());
    m_events.pop_front();
    return event;
}

const char* DriveStateName(DriveState state) {
    switch (state) {
    case DriveState::Idle:
        return "idle";
    case DriveState::Authorizing:
        return "authorizing";
    case DriveState::Enrolling:
        return "enrolling";
    case DriveState::Erasing:
        return "erasing";
    case DriveState::ErasePending:
        return "erase-pending";
    }
    return "?";
}

// --- FingerprintDriveModel: commands ------------------------------------------------------

FingerprintDriveModel::FingerprintDriveModel(DriveOptions options)
    : m_options(std::move(options)), m_random(std::random_device{}()) {}

std::uint8_t FingerprintDriveModel::ExecuteCommand(const Cdb& cdb, ScsiDirection direction,
                                                   std::span<std::uint8_t> data) {
    const CommandOutcome outcome = Execute(cdb, direction, data);
    return outcome.silent ? kScsiStatusCheckCondition : outcome.status;
}

CommandOutcome FingerprintDriveModel::Execute(const Cdb& cdb, ScsiDirection direction,
                                              std::span<std::uint8_t> data) {
    CommandOutcome outcome;
    m_log.clear();
    if (!m_plugged) {
        outcome.status = kScsiStatusCheckCondition;
        Log("unplugged");
    } else if (m_silenceNext > 0) {
        --m_silenceNext;
        outcome.silent = true;
        Log("silent (fault)");
    } else if (m_failNext > 0) {
        --m_failNext;
        outcome.status = kScsiStatusCheckCondition;
        Log("CHECK CONDITION (fault)");
    } else if (cdb[0] != vendor::kOperationCode) {
        outcome.status = kScsiStatusCheckCondition;
        Log("not a vendor command");
    } else if (std::equal(vendor::kIdentifyTag.begin(), vendor::kIdentifyTag.end(),
                          cdb.begin() + 12)) {
        outcome.status = Identify(direction, data);
    } else if (std::equal(vendor::kSecureTag.begin(), vendor::kSecureTag.end(), cdb.begin() + 12)) {
        outcome.status = Secure(cdb, direction, data);
    } else {
        outcome.status = kScsiStatusCheckCondition;
        Log("unknown family tag");
    }
    if (m_logging) {
        outcome.decoded = m_log + (outcome.status == kScsiStatusGood ? "" : " -> failed");
    }
    return outcome;
}

std::uint8_t FingerprintDriveModel::Identify(ScsiDirection direction,
                                             std::span<std::uint8_t> data) {
    if (direction != ScsiDirection::Read) {
        Log("INQU without a read");
        return kScsiStatusCheckCondition;
    }
    FillIdentification(data, m_options.tags, m_options.vendorName);
    Log("INQU identification");
    return kScsiStatusGood;
}

std::uint8_t FingerprintDriveModel::Secure(const Cdb& cdb, ScsiDirection direction,
                                           std::span<std::uint8_t> data) {
    const auto position =
        std::find(m_options.tags.begin(), m_options.tags.end(), std::string(vendor::kSecureTag));
    if (position == m_options.tags.end() ||
        cdb[1] != static_cast<std::uint8_t>(position - m_options.tags.begin())) {
        Log("SECU with wrong tag position " + std::to_string(cdb[1]));
        return kScsiStatusCheckCondition;
    }
    const std::uint8_t sub = cdb[2];
    const bool read = direction == ScsiDirection::Read;
    const bool lengthMatches = cdb[11] == data.size();
    if (sub == vendor::kSubReadIdentity && read && data.size() == vendor::kIdentityLength &&
        lengthMatches) {
        return ReadIdentity(data);
    }
    if (sub == vendor::kSubReadSeed && read && data.size() == vendor::kSeedLength && cdb[11] == 0) {
        return ReadSeed(data);
    }
    if (sub == vendor::kSubWriteBlock && !read && lengthMatches) {
        return WriteFrame(cdb[3], data);
    }
    if (sub == vendor::kSubReadBlock && read && lengthMatches) {
        return ReadFrame(data);
    }
    Log("SECU malformed sub-command " + std::to_string(sub));
    return kScsiStatusCheckCondition;
}

std::uint8_t FingerprintDriveModel::ReadIdentity(std::span<std::uint8_t> data) {
    PutPadded(data, m_options.identity, 0);
    Log("SECU identity");
    return kScsiStatusGood;
}

std::uint8_t FingerprintDriveModel::ReadSeed(std::span<std::uint8_t> data) {
    m_seed = NextSeed();
    m_seedFresh = true;
    m_seedDoor = m_door;
    m_seedsGiven.Add(m_seed);
    data[0] = static_cast<std::uint8_t>(m_seed >> 8);
    data[1] = static_cast<std::uint8_t>(m_seed & 0xFF);
    char text[32];
    std::snprintf(text, sizeof text, "SECU seed %04X", m_seed);
    Log(text);
    return kScsiStatusGood;
}

std::uint8_t FingerprintDriveModel::WriteFrame(std::uint8_t code, std::span<std::uint8_t> data) {
    if (data.size() < vendor::kRequestFrameLength) {
        return BadFrame("request frame of " + std::to_string(data.size()) + " bytes");
    }
    const std::uint16_t seed = TakeFrameSeed();
    std::array<std::uint8_t, vendor::kRequestFrameLength> frame{};
    ScrambleBlock(seed, data.data(), vendor::kRequestFrameLength, frame.data());
    if (!std::equal(vendor::kFrameSignature.begin(), vendor::kFrameSignature.end(),
                    frame.begin())) {
        return BadFrame("request frame without signature (seed paired wrong?)");
    }
    const bool expectsReply = code == vendor::kWriteExpectsReply;
    const bool startsWork = code == vendor::kWriteStartsWork;
    char text[64];
    std::snprintf(text, sizeof text, "SECU write request %02X %02X %02X '%c' code %02X seed %04X",
                  frame[8], frame[9], frame[10],
                  frame[10] >= 0x20 && frame[10] < 0x7F ? frame[10] : '.', code, seed);
    Log(text);
    m_requestByte3 = frame[10];
    m_pendingReply.reset();
    if (SameRequest(frame, vendor::kStatusRequest) && expectsReply) {
        m_pendingReply = HandleStatus();
    } else if (SameRequest(frame, vendor::kModelRequest) && expectsReply) {
        m_pendingReply = HandleModel();
    } else if (SameRequest(frame, vendor::kProgressPoll) && expectsReply) {
        m_pendingReply = HandlePoll();
    } else if (SameRequest(frame, vendor::kInstallStart) && startsWork) {
        HandleInstallStart();
    } else if (SameRequest(frame, vendor::kEraseStart) && startsWork) {
        HandleEraseStart();
    } else {
        return BadFrame("unknown request or write code");
    }
    return kScsiStatusGood;
}

std::uint8_t FingerprintDriveModel::ReadFrame(std::span<std::uint8_t> data) {
    if (!m_pendingReply) {
        return BadFrame("reply read without a request");
    }
    const std::uint16_t seed = TakeFrameSeed();
    std::vector<std::uint8_t> plain(data.size(), 0);
    const std::vector<std::uint8_t>& frame = m_pendingReply->frame;
    std::copy_n(frame.begin(), std::min(frame.size(), plain.size()), plain.begin());
    ScrambleBlock(seed, plain.data(), static_cast<std::int32_t>(plain.size()), data.data());
    if (m_truncateNext > 0) {
        --m_truncateNext;
        std::fill(data.begin() + static_cast<std::ptrdiff_t>(std::min(m_truncateKeep, data.size())),
                  data.end(), std::uint8_t{0});
    }
    char text[64];
    std::snprintf(text, sizeof text, "SECU read reply %zu bytes seed %04X", data.size(), seed);
    Log(text);
    return kScsiStatusGood;
}

// The one error path of every malformed frame.
std::uint8_t FingerprintDriveModel::BadFrame(std::string reason) {
    ++m_badFrames;
    if (!m_seedDoor.empty() && m_seedDoor != m_door) {
        reason += " (the last seed went out through " + m_seedDoor + ", this frame came through " +
                  m_door + ": both are using the drive at once)";
    }
    m_lastBadFrame = std::move(reason);
    m_pendingReply.reset();
    Log("bad frame: " + m_lastBadFrame);
    return kScsiStatusCheckCondition;
}

// --- Requests ----------------------------------------------------------------------------

FingerprintDriveModel::Reply FingerprintDriveModel::HandleStatus() {
    std::array<std::uint8_t, 32> payload{};
    for (std::size_t d = 0; d < kSlotCount; ++d) {
        std::array<std::uint8_t, 3> entry{static_cast<std::uint8_t>(m_slots[d] ? 'S' : 'F'),
                                          static_cast<std::uint8_t>('0' + d), ' '};
        if (m_brokenEntries[d]) {
            entry = *m_brokenEntries[d];
        }
        std::copy(entry.begin(), entry.end(), payload.begin() + static_cast<std::ptrdiff_t>(3 * d));
    }
    Log(" status " + std::string(payload.begin(), payload.begin() + 30));
    return MakeReply(payload, static_cast<std::uint16_t>(payload.size() + 1));
}

FingerprintDriveModel::Reply FingerprintDriveModel::HandleModel() {
    std::array<std::uint8_t, 21> payload{};
    PutPadded(std::span(payload).first(vendor::kModelTextLength), m_options.modelText, ' ');
    Log(" model");
    return MakeReply(payload, static_cast<std::uint16_t>(payload.size() + 1));
}

void FingerprintDriveModel::HandleInstallStart() {
    m_state = InstalledCount() > 0 ? DriveState::Authorizing : DriveState::Enrolling;
    m_touches = 0;
    m_waitingPolls = 0;
    Log(std::string(" install start -> ") + DriveStateName(m_state));
}

void FingerprintDriveModel::HandleEraseStart() {
    m_state = DriveState::Erasing;
    m_waitingPolls = 0;
    Log(" erase start");
}

FingerprintDriveModel::Reply FingerprintDriveModel::HandlePoll() {
    Report report;
    std::optional<std::uint16_t> lengthField;
    const DriveState before = m_state;
    if (m_state == DriveState::ErasePending) {
        report = OnErasePending();
    } else if (m_state != DriveState::Idle) {
        const std::optional<UserEvent> event = NextUserEvent();
        if (event && event->kind == UserEvent::Kind::Raw) {
            report = event->raw;
            lengthField = event->rawLength;
        } else if (event && event->kind == UserEvent::Kind::Ignored) {
            report = {kReportIgnored};
        } else if (event && event->kind != UserEvent::Kind::Nothing) {
            if (m_state == DriveState::Authorizing) {
                report = OnAuthorizing(*event);
            } else if (m_state == DriveState::Enrolling) {
                report = OnEnrolling(*event);
            } else {
                report = OnErasing(*event);
            }
        }
    }
    if (!report.empty()) {
        m_reportsGiven.Add(report);
    }
    Log(std::string(" poll ") + DriveStateName(before) + " report [" + Hex(report) + "]");
    return MakeReply(report, lengthField.value_or(static_cast<std::uint16_t>(report.size() + 1)));
}

// --- Poll state handlers -----------------------------------------------------------------

Report FingerprintDriveModel::OnAuthorizing(const UserEvent& event) {
    switch (event.kind) {
    case UserEvent::Kind::Finger:
        if (IsInstalled(event.finger)) {
            m_state = DriveState::Enrolling;
            m_touches = 0;
            m_waitingPolls = 0;
            return {kReportAccepted};
        }
        m_state = DriveState::Idle;
        return {kReportFailed};
    case UserEvent::Kind::Touch:
        return {kReportTouch};
    case UserEvent::Kind::Refuse:
        m_state = DriveState::Idle;
        return {kReportAccepted, ' ', kReportFailed, ' '};
    case UserEvent::Kind::Fail:
        m_state = DriveState::Idle;
        return {kReportFailedOther};
    default:
        return {};
    }
}

Report FingerprintDriveModel::OnEnrolling(const UserEvent& event) {
    switch (event.kind) {
    case UserEvent::Kind::Finger: {
        if (++m_touches < std::max(1u, m_options.touchesToEnrol)) {
            return {kReportTouch};
        }
        const auto freeSlot = std::find_if(m_slots.begin(), m_slots.end(),
                                           [](const auto& slot) { return !slot.has_value(); });
        m_state = DriveState::Idle;
        if (freeSlot == m_slots.end()) {
            return {kReportFailedOther}; // no room left
        }
        *freeSlot = event.finger;
        NotifySlotsChanged();
        if (m_options.enrolReport == EnrolReport::SlotLine) {
            return {static_cast<std::uint8_t>('0' + (freeSlot - m_slots.begin())), 0x0D, 0x0A,
                    kReportAccepted};
        }
        return {kReportAccepted};
    }
    case UserEvent::Kind::Touch:
        return {kReportTouch};
    case UserEvent::Kind::Refuse:
        m_state = DriveState::Idle;
        return {kReportFailed};
    case UserEvent::Kind::Fail:
        m_state = DriveState::Idle;
        return {kReportFailedOther};
    default:
        return {};
    }
}

Report FingerprintDriveModel::OnErasing(const UserEvent& event) {
    switch (event.kind) {
    case UserEvent::Kind::Finger:
        // An unknown finger is only a touch; the drive keeps waiting for an installed one.
        if (InstalledCount() == 0 || IsInstalled(event.finger)) {
            m_state = DriveState::ErasePending;
            return {kReportAccepted};
        }
        return {kReportTouch};
    case UserEvent::Kind::Touch:
        return {kReportTouch};
    case UserEvent::Kind::Refuse:
    case UserEvent::Kind::Fail:
        m_state = DriveState::Idle;
        return {kReportFailed};
    default:
        return {};
    }
}

Report FingerprintDriveModel::OnErasePending() {
    m_state = DriveState::Idle;
    ClearSlots();
    return {kReportErased};
}

std::optional<UserEvent> FingerprintDriveModel::NextUserEvent() {
    if (std::optional<UserEvent> event = m_user.Take()) {
        return event;
    }
    if (m_options.autoStepPolls == 0) {
        return std::nullopt;
    }
    return AutomaticEvent();
}

// Every autoStepPolls-th waiting poll a finger: an installed one to authorize or erase,
// a new one (the same for all its touches) to enrol.
UserEvent FingerprintDriveModel::AutomaticEvent() {
    if (++m_waitingPolls % m_options.autoStepPolls != 0) {
        return {};
    }
    std::string finger;
    if (m_state == DriveState::Enrolling) {
        do {
            finger = "auto-finger-" + std::to_string(m_autoFingers + 1);
        } while (IsInstalled(finger) && ++m_autoFingers < 1000);
    } else {
        for (const auto& slot : m_slots) {
            if (slot) {
                finger = *slot;
                break;
            }
        }
        if (finger.empty()) {
            finger = "auto-finger-0";
        }
    }
    return {UserEvent::Kind::Finger, finger, {}, std::nullopt};
}

// --- Seeds and replies -------------------------------------------------------------------

std::uint16_t FingerprintDriveModel::NextSeed() {
    if (!m_options.fixedSeeds.empty()) {
        const std::uint16_t seed = m_options.fixedSeeds[m_fixedSeedIndex];
        m_fixedSeedIndex = (m_fixedSeedIndex + 1) % m_options.fixedSeeds.size();
        return seed;
    }
    std::uint16_t seed = 0;
    while ((seed & 0x7FFF) == 0) { // a zero key stream would hide a pairing fault
        m_random = m_random * 1664525u + 1013904223u;
        seed = static_cast<std::uint16_t>(m_random >> 16);
    }
    return seed;
}

// The seed of the frame crossing the wire now. A seed serves one frame; a frame that
// comes without a fresh seed is keyed with one the client never saw.
std::uint16_t FingerprintDriveModel::TakeFrameSeed() {
    if (!m_seedFresh) {
        m_seed = StaleSeed(m_seed);
    }
    m_seedFresh = false;
    return m_seed;
}

FingerprintDriveModel::Reply FingerprintDriveModel::MakeReply(std::span<const std::uint8_t> payload,
                                                              std::uint16_t lengthField) const {
    Reply reply;
    reply.frame.assign(vendor::kFrameHeaderLength + payload.size(), 0);
    std::copy(vendor::kFrameSignature.begin(), vendor::kFrameSignature.end(), reply.frame.begin());
    reply.frame[8] = static_cast<std::uint8_t>(lengthField >> 8);
    reply.frame[9] = static_cast<std::uint8_t>(lengthField & 0xFF);
    reply.frame[10] = m_requestByte3;
    std::copy(payload.begin(), payload.end(),
              reply.frame.begin() + static_cast<std::ptrdiff_t>(vendor::kFrameHeaderLength));
    return reply;
}

// --- Slots, faults -----------------------------------------------------------------------

void FingerprintDriveModel::SetSlot(std::size_t slot, std::string identity) {
    m_slots.at(slot) = std::move(identity);
    NotifySlotsChanged();
}

void FingerprintDriveModel::ClearSlot(std::size_t slot) {
    m_slots.at(slot).reset();
    NotifySlotsChanged();
}

void FingerprintDriveModel::ClearSlots() {
    m_slots.fill(std::nullopt);
    NotifySlotsChanged();
}

void FingerprintDriveModel::SetSlots(
    const std::array<std::optional<std::string>, kSlotCount>& slots) {
    m_slots = slots;
    NotifySlotsChanged();
}

std::size_t FingerprintDriveModel::InstalledCount() const {
    return static_cast<std::size_t>(
        std::count_if(m_slots.begin(), m_slots.end(), [](const auto& s) { return s.has_value(); }));
}

bool FingerprintDriveModel::IsInstalled(const std::string& identity) const {
    return std::any_of(m_slots.begin(), m_slots.end(),
                       [&](const auto& s) { return s && *s == identity; });
}

void FingerprintDriveModel::NotifySlotsChanged() {
    if (m_slotsChanged) {
        m_slotsChanged();
    }
}

void FingerprintDriveModel::TruncateNextReplies(unsigned count, std::size_t keptBytes) {
    m_truncateNext = count;
    m_truncateKeep = keptBytes;
}

void FingerprintDriveModel::BreakSlotEntry(std::size_t slot, std::array<std::uint8_t, 3> entry) {
    m_brokenEntries.at(slot) = entry;
}

void FingerprintDriveModel::ClearBrokenEntries() {
    m_brokenEntries.fill(std::nullopt);
}

void FingerprintDriveModel::Unplug() {
    m_plugged = false;
    m_state = DriveState::Idle;
    m_seedFresh = false;
    m_pendingReply.reset();
}

void FingerprintDriveModel::Reset() {
    m_state = DriveState::Idle;
    m_seedFresh = false;
    m_pendingReply.reset();
    m_failNext = 0;
    m_silenceNext = 0;
    m_truncateNext = 0;
    m_plugged = true;
    m_user.Clear();
    ClearBrokenEntries();
    m_seedsGiven.Clear();
    m_reportsGiven.Clear();
}

void FingerprintDriveModel::Log(std::string text) {
    if (m_logging) {
        m_log += text;
    }
}

// --- Identification and the USB stick ------------------------------------------------------

void FillIdentification(std::span<std::uint8_t> data, const std::vector<std::string>& tags,
                        const std::string& vendorName) {
    std::fill(data.begin(), data.end(), std::uint8_t{0});
    const std::size_t count = std::min<std::size_t>(tags.size(), vendor::kMaxIdentifyTags);
    std::vector<std::uint8_t> reply(vendor::kIdentifyReplyLength, 0);
    reply[vendor::kTagCountOffset] = static_cast<std::uint8_t>(count);
    for (std::size_t i = 0; i < count; ++i) {
        PutPadded(std::span(reply).subspan(vendor::kTagsOffset + 4 * i, 4), tags[i], ' ');
    }
    PutPadded(std::span(reply).subspan(vendor::kTagsOffset + 4 * count, 8), vendorName, ' ');
    std::copy_n(reply.begin(), std::min(reply.size(), data.size()), data.begin());
}

std::uint8_t UsbStickModel::ExecuteCommand(const Cdb& cdb, ScsiDirection direction,
                                           std::span<std::uint8_t> data) {
    const bool identify =
        std::equal(vendor::kIdentifyTag.begin(), vendor::kIdentifyTag.end(), cdb.begin() + 12);
    if (m_options.refuseVendorCommands || cdb[0] != vendor::kOperationCode || !identify ||
        direction != ScsiDirection::Read) {
        return kScsiStatusCheckCondition;
    }
    FillIdentification(data, m_options.tags, m_options.vendorName);
    return kScsiStatusGood;
}

} // namespace vdrive
