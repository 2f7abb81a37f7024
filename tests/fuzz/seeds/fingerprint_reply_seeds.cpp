// fingerprint_replies_fuzz: byte 0 picks the operation (bits 4-5) and the language (the
// rest, modulo the language count); then come the bytes of every read, in order. The
// seeds are the reads of the drive model through each outcome of the search, the status,
// install, erase and model operations. A seed ends where the drive stops answering, as
// the fuzz target's drive does once its input is used up.
#include <functional>

#include "app/start_settings.h"
#include "app/utf_convert.h"
#include "fingerprint/message_numbers.h"
#include "fingerprint/text_format.h"
#include "tests/fuzz/seeds/seed_corpus.h"

namespace {

using vdrive::FingerprintDriveModel;
using Setup = std::function<void(FingerprintDriveModel&)>;

constexpr std::uint8_t OperationBits(Operation operation) {
    switch (operation) {
    case Operation::Install:
        return 0x00;
    case Operation::Erase:
        return 0x10;
    case Operation::Model:
        return 0x20;
    default:
        return 0x30;
    }
}

// The bytes the reads brought, up to the first read that failed.
Bytes ReadBytes(const std::vector<CommandRecord>& records) {
    Bytes bytes;
    for (const CommandRecord& record : records) {
        if (record.direction != ScsiDirection::Read) {
            continue;
        }
        if (!record.succeeded) {
            break;
        }
        bytes.insert(bytes.end(), record.data.begin(), record.data.end());
    }
    return bytes;
}

// The message box each operation ends with (message_number), or none.
using namespace message_number;
constexpr int kNoBox = -1;

struct Script {
    std::string name;
    Operation operation;
    int result; // the box it must end with
    Setup setup;
    int language = 0;
    vdrive::DriveOptions options = SeedDriveOptions();
};

void InstallSlots(FingerprintDriveModel& drive, std::size_t count) {
    for (std::size_t slot = 0; slot < count; ++slot) {
        drive.SetSlot(slot, "finger-" + std::to_string(slot));
    }
}

Setup WithSlots(std::size_t count, Setup then = {}) {
    return [count, then](FingerprintDriveModel& drive) {
        InstallSlots(drive, count);
        if (then) {
            then(drive);
        }
    };
}

// Poll reports as the drive sends them, one per waiting poll.
Setup Reports(std::size_t slots, std::vector<vdrive::Report> reports) {
    return WithSlots(slots, [reports](FingerprintDriveModel& drive) {
        for (const vdrive::Report& report : reports) {
            drive.User().Raw(report);
        }
    });
}

std::vector<Script> Scripts() {
    vdrive::DriveOptions slotLine = SeedDriveOptions();
    slotLine.enrolReport = vdrive::EnrolReport::SlotLine;
    vdrive::DriveOptions oddModel = SeedDriveOptions();
    oddModel.modelText = std::string("KV\x01\x7F\xFF-FP\x1B[2J Rev 9\xC3\xA9", 20);
    vdrive::DriveOptions otherVendor = SeedDriveOptions();
    otherVendor.vendorName = "Kestrel ";
    vdrive::DriveOptions otherIdentity = SeedDriveOptions();
    otherIdentity.identity = "JMTMXSV1";
    vdrive::DriveOptions noSecu = SeedDriveOptions();
    noSecu.tags = {"INQU", "FWUP"};
    vdrive::DriveOptions manyTags = SeedDriveOptions();
    manyTags.tags = std::vector<std::string>(40, "DIAG");
    manyTags.tags.push_back("SECU");

    const auto broken = [](std::size_t slots, std::size_t slot, std::array<std::uint8_t, 3> entry) {
        return WithSlots(slots, [slot, entry](FingerprintDriveModel& drive) {
            drive.BreakSlotEntry(slot, entry);
        });
    };
    return {
        // The search and the slot status.
        {"status-empty", Operation::Status, kNoBox, WithSlots(0)},
        {"status-two-installed", Operation::Status, kNoBox,
         [](FingerprintDriveModel& drive) {
             drive.SetSlot(0, "alice-thumb");
             drive.SetSlot(3, "bob-index");
         }},
        {"status-full", Operation::Status, kNoBox, WithSlots(10)},
        {"status-lower-case-entry", Operation::Status, kNoBox, broken(3, 1, {'s', '1', ' '})},
        {"status-wrong-digit", Operation::Status, kNoBox, broken(2, 0, {'S', '7', ' '})},
        {"status-missing-space", Operation::Status, kNoBox, broken(2, 1, {'S', '1', 'x'})},
        {"status-chinese", Operation::Status, kNoBox, WithSlots(4), 1},
        {"status-arabic", Operation::Status, kNoBox, WithSlots(9), 10},
        {"status-thai", Operation::Status, kNoBox, WithSlots(1), 12},
        {"search-other-vendor", Operation::Status, kNoBox, WithSlots(1), 0, otherVendor},
        {"search-other-identity", Operation::Status, kNoBox, WithSlots(1), 0, otherIdentity},
        {"search-no-secure-tag", Operation::Status, kNoBox, WithSlots(1), 0, noSecu},
        {"search-secure-tag-far-down", Operation::Status, kNoBox, WithSlots(1), 0, manyTags},
        // The model text.
        {"model", Operation::Model, kNoBox, WithSlots(0)},
        {"model-unprintable-bytes", Operation::Model, kNoBox, WithSlots(0), 0, oddModel},
        {"model-russian", Operation::Model, kNoBox, WithSlots(2), 7},
        // Install: enrolment, authorization and each report rule.
        {"install-empty-drive-enrols", Operation::Install, kInstalled,
         WithSlots(0, [](FingerprintDriveModel& d) { d.User().Present("new-finger", 3); })},
        {"install-authorized-then-enrols", Operation::Install, kInstalled,
         WithSlots(2,
                   [](FingerprintDriveModel& d) {
                       d.User().Present("finger-1");
                       d.User().Present("new-finger", 3);
                   })},
        {"install-enrol-slot-line", Operation::Install, kInstalled,
         WithSlots(3,
                   [](FingerprintDriveModel& d) {
                       d.User().Present("finger-0");
                       d.User().Present("new-finger", 3);
                   }),
         0, slotLine},
        {"install-authorization-refused", Operation::Install, kAuthorizationRefused,
         WithSlots(1, [](FingerprintDriveModel& d) { d.User().Refuse(); })},
        {"install-authorization-fails", Operation::Install, kAuthorizationRefused,
         WithSlots(1, [](FingerprintDriveModel& d) { d.User().Fail(); })},
        {"install-unknown-finger-refused", Operation::Install, kAuthorizationRefused,
         WithSlots(1, [](FingerprintDriveModel& d) { d.User().Present("stranger"); })},
        {"install-enrol-fails", Operation::Install, kEnrolFailed,
         WithSlots(0,
                   [](FingerprintDriveModel& d) {
                       d.User().Touch(2);
                       d.User().Fail();
                   })},
        {"install-enrol-refused", Operation::Install, kEnrolFailed,
         WithSlots(0, [](FingerprintDriveModel& d) { d.User().Refuse(); })},
        {"install-known-finger-enrolled-again", Operation::Install, kInstalled,
         WithSlots(1, [](FingerprintDriveModel& d) { d.User().Present("finger-0", 4); })},
        {"install-drive-full", Operation::Install, kEnrolFailed,
         WithSlots(10,
                   [](FingerprintDriveModel& d) {
                       d.User().Present("finger-9");
                       d.User().Present("new-finger", 3);
                   })},
        {"install-no-finger-times-out", Operation::Install, kInstallTimedOut, WithSlots(0)},
        {"install-touches-then-times-out", Operation::Install, kInstallTimedOut,
         WithSlots(0, [](FingerprintDriveModel& d) { d.User().Touch(3); })},
        {"install-ignored-reports-until-the-end", Operation::Install, kInstallTimedOut,
         WithSlots(1, [](FingerprintDriveModel& d) { d.User().Ignored(70); })},
        {"install-report-s-third-f", Operation::Install, kAuthorizationRefused,
         Reports(1, {{'S', 'x', 'f', 'x'}})},
        {"install-report-s-fourth", Operation::Install, kInstalled,
         Reports(1, {{'x', 'x', 'x', 'S'}, {'S', 0, 0, 0}})},
        {"install-report-zero-authorizes", Operation::Install, kInstalled,
         Reports(1, {{'0', 'x', 'x', 'x'}, {'S', 0, 0, 0}})},
        {"install-report-slot-line-without-s", Operation::Install, kEnrolFailed,
         Reports(0, {{'3', 0x0D, 0x0A, 'x'}, {'g', 0, 0, 0}})},
        {"install-report-zero-does-not-enrol", Operation::Install, kEnrolFailed,
         Reports(0, {{'0', 'x', 'x', 'x'}, {'g', 0, 0, 0}})},
        {"install-report-long", Operation::Install, kInstalled,
         WithSlots(0,
                   [](FingerprintDriveModel& d) {
                       d.User().Raw(vdrive::Report(40, 'a'), 0x0400);
                       d.User().Raw({'S'}, 0);
                       d.User().Raw({'S'});
                   })},
        {"install-korean", Operation::Install, kInstalled,
         WithSlots(0, [](FingerprintDriveModel& d) { d.User().Present("new-finger", 3); }), 6},
        // Erase.
        {"erase-authorized", Operation::Erase, kErased,
         WithSlots(3, [](FingerprintDriveModel& d) { d.User().Present("finger-2"); })},
        {"erase-touches-then-erases", Operation::Erase, kErased,
         WithSlots(2,
                   [](FingerprintDriveModel& d) {
                       d.User().Touch(3);
                       d.User().Present("finger-0");
                   })},
        {"erase-refused", Operation::Erase, kEraseFailed,
         WithSlots(1, [](FingerprintDriveModel& d) { d.User().Refuse(); })},
        {"erase-fails", Operation::Erase, kEraseFailed,
         WithSlots(1, [](FingerprintDriveModel& d) { d.User().Fail(); })},
        {"erase-other-reports", Operation::Erase, kEraseFailed,
         Reports(1, {{'x'}, {'F'}, {'A'}, {'f'}})},
        {"erase-no-finger-times-out", Operation::Erase, kEraseTimedOut, WithSlots(4)},
        {"erase-steady-touches", Operation::Erase, kEraseTimedOut,
         WithSlots(1, [](FingerprintDriveModel& d) { d.User().Touch(70); })},
        {"erase-empty-drive", Operation::Erase, kEraseTimedOut, WithSlots(0)},
        {"erase-vietnamese", Operation::Erase, kErased,
         WithSlots(1, [](FingerprintDriveModel& d) { d.User().Present("finger-0"); }), 11},
    };
}

} // namespace

void AddFingerprintReplySeeds(SeedCorpus& corpus) {
    for (const Script& script : Scripts()) {
        FingerprintDriveModel drive(script.options);
        script.setup(drive);
        g_language = script.language;
        Bytes seed{static_cast<std::uint8_t>(OperationBits(script.operation) | script.language)};
        const Recording recording = RecordOperation({{'E', &drive}}, script.operation);
        Expect(recording.resultBox ==
                   (script.result == kNoBox ? "" : ToUtf8(MessageText(script.result))),
               script.name + " ends with \"" + recording.resultBox + "\"");
        const Bytes reads = ReadBytes(recording.records);
        seed.insert(seed.end(), reads.begin(), reads.end());
        corpus.Add("fingerprint_replies_fuzz", script.name, seed);
    }
    g_language = 0;
    // The drive falls silent part way: after the search, and in the middle of an install.
    FingerprintDriveModel drive(SeedDriveOptions());
    InstallSlots(drive, 1);
    drive.User().Present("finger-0");
    drive.User().Present("new-finger", 3);
    const Bytes reads = ReadBytes(RecordOperation(drive, Operation::Install));
    for (const std::size_t kept : {std::size_t{512 + 8}, reads.size() / 2, reads.size() - 1}) {
        Bytes seed{OperationBits(Operation::Install)};
        seed.insert(seed.end(), reads.begin(), reads.begin() + static_cast<std::ptrdiff_t>(kept));
        corpus.Add("fingerprint_replies_fuzz",
                   "install-drive-falls-silent-after-" + std::to_string(kept) + "-bytes", seed);
    }
}
