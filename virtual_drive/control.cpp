#include "virtual_drive/control.h"

#include <charconv>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "virtual_drive/state_file.h"

namespace vdrive {

namespace {

using Words = std::vector<std::string_view>;

Words Split(std::string_view text) {
    Words words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() &&
               (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) {
            ++i;
        }
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\r' &&
               text[i] != '\n') {
            ++i;
        }
        if (i > start) {
            words.push_back(text.substr(start, i - start));
        }
    }
    return words;
}

std::optional<unsigned> Number(std::string_view word, unsigned limit, int base = 10) {
    unsigned value = 0;
    const auto [end, code] = std::from_chars(word.data(), word.data() + word.size(), value, base);
    if (code != std::errc{} || end != word.data() + word.size() || value > limit) {
        return std::nullopt;
    }
    return value;
}

// An optional count argument at `index` (default 1).
std::optional<unsigned> Count(const Words& words, std::size_t index) {
    return words.size() > index ? Number(words[index], 10000) : std::optional<unsigned>(1);
}

std::string SlotsLine(const Volume& volume) {
    std::string line(1, volume.letter);
    line += ":";
    for (std::size_t d = 0; d < kSlotCount; ++d) {
        const std::optional<std::string>& slot = volume.drive->Slot(d);
        line += slot ? " S" + std::to_string(d) + "=" + *slot : " F" + std::to_string(d);
    }
    return line;
}

constexpr const char* kUsageError = "error: wrong arguments (try \"help\")";

struct Context {
    Volume& volume;
    FingerprintDriveModel& drive;
    const Words& args; // the words after the command
};

using Handler = std::function<std::string(Context&)>;

std::string Ok() {
    return "ok";
}

// The answer to a text that adds user events: ok, or why nothing was added.
std::string Queued(bool added, const FingerprintDriveModel& drive) {
    if (added) {
        return Ok();
    }
    return "error: the user script is full (" + std::to_string(drive.User().Pending()) + " of " +
           std::to_string(ScriptedUser::kMaxEvents) +
           " events queued); nothing added (\"reset\" empties it)";
}

// What a command does; false: nothing was done (a full user script).
using CountedAction = std::function<bool(FingerprintDriveModel&, unsigned)>;
using PlainAction = std::function<bool(FingerprintDriveModel&)>;

// A command with an optional count (default 1).
Handler CountedHandler(CountedAction apply) {
    return [apply](Context& c) {
        const auto count = Count(c.args, 0);
        if (!count || c.args.size() > 1) {
            return std::string(kUsageError);
        }
        return Queued(apply(c.drive, *count), c.drive);
    };
}

// A command without arguments.
Handler PlainHandler(PlainAction apply) {
    return [apply](Context& c) {
        if (!c.args.empty()) {
            return std::string(kUsageError);
        }
        return Queued(apply(c.drive), c.drive);
    };
}

// Commands that add user events may find the script full; the others always act.
Handler Counted(bool (*add)(FingerprintDriveModel&, unsigned)) {
    return CountedHandler(add);
}
Handler Counted(void (*apply)(FingerprintDriveModel&, unsigned)) {
    return CountedHandler([apply](FingerprintDriveModel& d, unsigned n) {
        apply(d, n);
        return true;
    });
}
Handler Plain(bool (*add)(FingerprintDriveModel&)) {
    return PlainHandler(add);
}
Handler Plain(void (*apply)(FingerprintDriveModel&)) {
    return PlainHandler([apply](FingerprintDriveModel& d) {
        apply(d);
        return true;
    });
}

// Each handler checks its own arguments and answers one line.
const std::map<std::string_view, Handler>& Handlers() {
    static const std::map<std::string_view, Handler> handlers{
        {"touch", Counted([](FingerprintDriveModel& d, unsigned n) { return d.User().Touch(n); })},
        {"nothing",
         Counted([](FingerprintDriveModel& d, unsigned n) { return d.User().Nothing(n); })},
        {"ignored",
         Counted([](FingerprintDriveModel& d, unsigned n) { return d.User().Ignored(n); })},
        {"fail-next", Counted([](FingerprintDriveModel& d, unsigned n) { d.FailNextCommands(n); })},
        {"silence-next",
         Counted([](FingerprintDriveModel& d, unsigned n) { d.SilenceNextCommands(n); })},
        {"refuse", Plain([](FingerprintDriveModel& d) { return d.User().Refuse(); })},
        {"fail", Plain([](FingerprintDriveModel& d) { return d.User().Fail(); })},
        {"clear-slots", Plain([](FingerprintDriveModel& d) { d.ClearSlots(); })},
        {"mend-entries", Plain([](FingerprintDriveModel& d) { d.ClearBrokenEntries(); })},
        {"unplug", Plain([](FingerprintDriveModel& d) { d.Unplug(); })},
        {"plug", Plain([](FingerprintDriveModel& d) { d.Plug(); })},
        {"reset", Plain([](FingerprintDriveModel& d) { d.Reset(); })},
        {"finger",
         [](Context& c) {
             const auto times = Count(c.args, 1);
             if (c.args.empty() || !IsValidIdentity(c.args[0]) || !times || c.args.size() > 2) {
                 return std::string(kUsageError);
             }
             return Queued(c.drive.User().Present(std::string(c.args[0]), *times), c.drive);
         }},
        {"raw",
         [](Context& c) {
             Report bytes;
             std::optional<std::uint16_t> length;
             for (const std::string_view word : c.args) {
                 if (word.substr(0, 7) == "length=") {
                     const auto value = Number(word.substr(7), 0xFFFF);
                     if (!value) {
                         return std::string(kUsageError);
                     }
                     length = static_cast<std::uint16_t>(*value);
                 } else if (const auto byte = Number(word, 0xFF, 16); byte && word.size() <= 2) {
                     bytes.push_back(static_cast<std::uint8_t>(*byte));
                 } else {
                     return std::string(kUsageError);
                 }
             }
             if (bytes.size() > 64) {
                 return std::string(kUsageError);
             }
             return Queued(c.drive.User().Raw(std::move(bytes), length), c.drive);
         }},
        {"slots", [](Context& c) { return SlotsLine(c.volume); }},
        {"set-slot",
         [](Context& c) {
             const auto slot =
                 c.args.size() == 2 ? Number(c.args[0], kSlotCount - 1) : std::optional<unsigned>();
             if (!slot || !IsValidIdentity(c.args[1])) {
                 return std::string(kUsageError);
             }
             c.drive.SetSlot(*slot, std::string(c.args[1]));
             return Ok();
         }},
        {"clear-slot",
         [](Context& c) {
             const auto slot =
                 c.args.size() == 1 ? Number(c.args[0], kSlotCount - 1) : std::optional<unsigned>();
             if (!slot) {
                 return std::string(kUsageError);
             }
             c.drive.ClearSlot(*slot);
             return Ok();
         }},
        {"truncate-next",
         [](Context& c) {
             const auto count =
                 c.args.size() == 2 ? Number(c.args[0], 10000) : std::optional<unsigned>();
             const auto kept =
                 c.args.size() == 2 ? Number(c.args[1], 512) : std::optional<unsigned>();
             if (!count || !kept) {
                 return std::string(kUsageError);
             }
             c.drive.TruncateNextReplies(*count, *kept);
             return Ok();
         }},
        {"break-entry",
         [](Context& c) {
             const auto slot =
                 c.args.size() == 2 ? Number(c.args[0], kSlotCount - 1) : std::optional<unsigned>();
             if (!slot || c.args[1].size() != 3) {
                 return std::string(kUsageError);
             }
             std::array<std::uint8_t, 3> entry{};
             for (std::size_t i = 0; i < 3; ++i) {
                 entry[i] = c.args[1][i] == '_' ? ' ' : static_cast<std::uint8_t>(c.args[1][i]);
             }
             c.drive.BreakSlotEntry(*slot, entry);
             return Ok();
         }},
        {"state",
         [](Context& c) {
             return std::string(1, c.volume.letter) + ": " + DriveStateName(c.drive.State()) +
                    (c.drive.Plugged() ? "" : ", unplugged") + ", " +
                    std::to_string(c.drive.User().Pending()) + " events queued" +
                    (c.volume.lastSaveError.empty()
                         ? ""
                         : ", slot table not saved (" + c.volume.lastSaveError + ")");
         }},
    };
    return handlers;
}

std::string VolumesLine(const VolumeSet& volumes) {
    std::string line;
    for (const Volume& volume : volumes.Volumes()) {
        if (!line.empty()) {
            line += ", ";
        }
        line += std::string(1, volume.letter) + ": " + (volume.drive ? "drive" : "stick");
        if (!volume.Present()) {
            line += " (unplugged)";
        }
    }
    return line.empty() ? "no volumes" : line;
}

// "counts" or "counts reset", of one volume or (letter 0) of all.
std::string CountsReply(CommandLog& commands, char letter, const Words& words) {
    if (words.size() == 1) {
        return commands.Counts(letter);
    }
    if (words.size() == 2 && words[1] == "reset") {
        commands.ResetCounts(letter);
        return "ok";
    }
    return kUsageError;
}

} // namespace

ControlResult RunControl(VolumeSet& volumes, std::string_view text) {
    Words words = Split(text);
    if (words.empty()) {
        return {"error: empty control text"};
    }
    if (words[0] == "help") {
        return {ControlHelp()};
    }
    if (words[0] == "version") {
        return {"tessalok-vdrive protocol 1"};
    }
    if (words[0] == "volumes") {
        return {VolumesLine(volumes)};
    }
    if (words[0] == "shutdown") {
        return {"ok", true};
    }
    Volume* volume = nullptr;
    bool volumeNamed = false;
    if (words[0].size() == 2 && words[0][1] == ':') {
        volumeNamed = true;
        volume = volumes.Find(words[0][0]);
        if (volume == nullptr) {
            return {"error: no volume " + std::string(words[0])};
        }
        words.erase(words.begin());
    }
    if (!words.empty() && words[0] == "counts") {
        return {CountsReply(volumes.Commands(), volumeNamed ? volume->letter : 0, words)};
    }
    if (!volumeNamed) {
        volume = volumes.FirstDrive();
    }
    if (volume == nullptr || !volume->drive) {
        return {"error: not a fingerprint drive"};
    }
    if (words.empty()) {
        return {"error: no command after the volume"};
    }
    const auto handler = Handlers().find(words[0]);
    if (handler == Handlers().end()) {
        return {"error: unknown command \"" + std::string(words[0]) + "\" (try \"help\")"};
    }
    const Words args(words.begin() + 1, words.end());
    Context context{*volume, *volume->drive, args};
    const std::size_t failedSaves = volume->failedSaves;
    std::string reply = handler->second(context);
    if (volume->failedSaves != failedSaves) {
        reply = "error: the slot table changed but was not saved (" + volume->lastSaveError + ")";
    }
    return {std::move(reply)};
}

const char* ControlHelp() {
    return "control texts (optionally led by a volume, as \"F: touch\"):\n"
           "  finger ID [N]          present finger ID at the next N waiting polls\n"
           "                         (the script holds 10000 events in all)\n"
           "  touch [N]              N touches the drive notes without deciding ('a')\n"
           "  nothing [N]            N waiting polls without a finger\n"
           "  ignored [N]            N reports no operation acts on ('w')\n"
           "  refuse                 the drive rejects the finger\n"
           "  fail                   the drive's enrolment or erase fails\n"
           "  raw HEX... [length=L]  one report of these bytes (length field L)\n"
           "  slots                  the slot table: \"E: S0=alice F1 ...\"\n"
           "  set-slot D ID          install finger ID in slot D\n"
           "  clear-slot D | clear-slots\n"
           "  fail-next N            CHECK CONDITION for the next N commands\n"
           "  silence-next N         no answer at all to the next N commands\n"
           "  truncate-next N BYTES  the next N reply frames carry only BYTES bytes\n"
           "  break-entry D ABC      slot entry D of status replies reads ABC ('_' = blank)\n"
           "  mend-entries           status replies show the real entries again\n"
           "  unplug | plug          pull the plug / put it back\n"
           "  reset                  idle, no faults, empty script\n"
           "  state                  \"E: idle, 0 events queued\" (and a failed save)\n"
           "  counts [reset]         SCSI commands received through any door since the last\n"
           "                         reset, per operation code: \"0x00=2 0xFC=4\" (\"none\");\n"
           "                         of one volume when led by it (\"E: counts\")\n"
           "  volumes | version | help | shutdown";
}

} // namespace vdrive
