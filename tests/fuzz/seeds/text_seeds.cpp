// The texts from outside: string files (i18n_parse_string_file_fuzz: a 4-byte entry
// number, then the file), the settings file (settings_ini_fuzz), the state file
// (vdrive_state_parse_fuzz), control texts (vdrive_control_fuzz: one a line), the drive
// bytes and window texts the command line shows (cli_shown_text_fuzz) and sense data
// (device_sense_data_fuzz). Each is made by the code that makes it for real.
#include <cstring>

#include "app/ini_settings_store.h"
#include "app/utf_convert.h"
#include "i18n/built_in_strings.h"
#include "i18n/message_table.h"
#include "tests/fuzz/seeds/seed_corpus.h"
#include "virtual_drive/control.h"
#include "virtual_drive/disk/sense.h"
#include "virtual_drive/state_file.h"
#include "virtual_drive/volume_set.h"

namespace {

Bytes StringFileInput(std::int32_t entry, const StringFileData& file) {
    Bytes seed(sizeof entry);
    std::memcpy(seed.data(), &entry, sizeof entry);
    const std::uint8_t* bytes = FileBytes(file);
    seed.insert(seed.end(), bytes, bytes + file.lengthBytes);
    return seed;
}

void AddStringFileSeeds(SeedCorpus& corpus) {
    for (int language = 0; language < kLanguageCount; ++language) {
        // A different entry of each file, so that the seeds reach the first, the last and
        // the ones in between.
        const int entry = language * 3 % kMessageCount;
        corpus.Add("i18n_parse_string_file_fuzz",
                   "language-" + std::to_string(language) + "-entry-" + std::to_string(entry),
                   StringFileInput(entry, kStringFiles[language]));
    }
    corpus.Add("i18n_parse_string_file_fuzz", "english-last-entry",
               StringFileInput(kMessageCount - 1, kStringFiles[0]));
    corpus.Add("i18n_parse_string_file_fuzz", "english-past-the-last-entry",
               StringFileInput(kMessageCount, kStringFiles[0]));
    corpus.Add("i18n_parse_string_file_fuzz", "language-names-entry-12",
               StringFileInput(12, kLanguageNameFile));
}

void AddSettingsSeeds(SeedCorpus& corpus) {
    const std::string target = "settings_ini_fuzz";
    // What the program writes into a missing file, and into the files it finds.
    corpus.Add(target, "written-fresh", SetIniValue("", "Advance", "Language", "3"));
    corpus.Add(target, "written-over-crlf-file",
               SetIniValue("; settings\r\n[Window]\r\nLeft=10\r\n\r\n[advance]\r\n"
                           "Language = 12\r\nOther=1\r\n",
                           "Advance", "Language", "0"));
    corpus.Add(
        target, "written-into-other-sections",
        SetIniValue("[Window]\nTop=4\n[Colours]\nBack=FFFFFF\n", "Advance", "Language", "11"));
    corpus.Add(target, "value-with-sign-and-blanks", "[Advance]\nLanguage=  -7  \n");
    corpus.Add(target, "utf8-bom-and-no-final-newline", "\xEF\xBB\xBF[Advance]\nLanguage=5");
}

void AddStateSeeds(SeedCorpus& corpus) {
    vdrive::SlotTable slots{};
    corpus.Add("vdrive_state_parse_fuzz", "empty", vdrive::FormatState(slots));
    slots[0] = "alice-thumb";
    slots[3] = "bob-index";
    corpus.Add("vdrive_state_parse_fuzz", "two-slots", vdrive::FormatState(slots));
    for (std::size_t slot = 0; slot < slots.size(); ++slot) {
        slots[slot] = std::string(slot == 9 ? vdrive::kMaxIdentityLength : slot + 1,
                                  static_cast<char>('!' + slot * 9));
    }
    corpus.Add("vdrive_state_parse_fuzz", "full-odd-identities", vdrive::FormatState(slots));
    std::string error;
    for (const auto& [name, text] : corpus.Targets().at("vdrive_state_parse_fuzz")) {
        Expect(vdrive::ParseState(
                   std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), error)
                   .has_value(),
               "state seed " + name + " does not parse: " + error);
    }
}

void AddControlSeeds(SeedCorpus& corpus) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> scripts = {
        {"queries", {"help", "version", "volumes", "slots", "E: state", "F: slots"}},
        {"user-script",
         {"finger alice-thumb", "finger bob-index 3", "touch 2", "nothing 4", "ignored", "refuse",
          "fail", "raw 53 78 66 78", "raw 33 0d 0a 53 length=5", "state", "reset"}},
        {"slots-and-faults",
         {"set-slot 0 alice-thumb", "F: set-slot 9 z", "clear-slot 0", "break-entry 1 s1_",
          "mend-entries", "fail-next 2", "silence-next", "truncate-next 1 20", "unplug", "plug",
          "clear-slots", "slots"}},
        {"errors",
         {"", "nosuch", "Z: slots", "D: slots", "D: touch", "E:", "touch x", "set-slot 10 a",
          "raw 100", "finger", "shutdown"}},
    };
    for (const auto& [name, lines] : scripts) {
        vdrive::VolumeSet volumes;
        volumes.AddDrive('E', {});
        volumes.AddDrive('F', {});
        volumes.AddStick('D', {});
        std::string text;
        for (const std::string& line : lines) {
            const vdrive::ControlResult result = vdrive::RunControl(volumes, line);
            Expect(name == "errors" || result.reply.rfind("error", 0) != 0,
                   "control text \"" + line + "\": " + result.reply);
            text += line + "\n";
        }
        corpus.Add("vdrive_control_fuzz", name, text);
    }
}

std::string Utf16Bytes(std::u16string_view text) {
    std::string bytes;
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

void AddShownTextSeeds(SeedCorpus& corpus) {
    const std::string target = "cli_shown_text_fuzz";
    const vdrive::DriveOptions drive;
    corpus.Add(target, "drive-identity", drive.identity);
    corpus.Add(target, "drive-model-text", drive.modelText);
    corpus.Add(target, "vendor-name", drive.vendorName);
    corpus.Add(target, "identity-with-control-bytes", std::string("JM\x1B[2J\x07\x00\x9B\xFF", 10));
    corpus.Add(target, "vdrive-address-ipv4", "127.0.0.1:48150");
    corpus.Add(target, "vdrive-address-ipv6", "[::1]:48150");
    corpus.Add(target, "vdrive-address-name", "localhost:1");
    // Window texts as the terminal window shows them (UTF-16LE).
    for (const int language : {0, 1, 5, 7, 10, 12}) {
        corpus.Add(target, "window-text-language-" + std::to_string(language),
                   Utf16Bytes(std::u16string(u"\u0085") +
                              ParseStringFile(FileBytes(kStringFiles[language]),
                                              kStringFiles[language].lengthBytes, 35)));
    }
}

void AddSenseSeeds(SeedCorpus& corpus) {
    using namespace vdrive::scsi;
    const std::vector<std::pair<std::string, std::pair<SenseKey, SenseCode>>> fixed = {
        {"not-ready-medium-not-present", {SenseKey::NotReady, kMediumNotPresent}},
        {"illegal-request-invalid-field", {SenseKey::IllegalRequest, kInvalidFieldInCdb}},
        {"removal-prevented", {SenseKey::IllegalRequest, kMediumRemovalPrevented}},
        {"unit-attention-reset", {SenseKey::UnitAttention, kPowerOnOrReset}},
        {"vendor-command-refused", {SenseKey::AbortedCommand, kVendorCommandRefused}},
    };
    for (const auto& [name, sense] : fixed) {
        corpus.Add("device_sense_data_fuzz", "fixed-" + name,
                   FixedSense(sense.first, sense.second));
    }
    // Descriptor format, as the kernel's own SCSI layer and newer devices write it:
    // current (72) with an information descriptor, deferred (73) without.
    corpus.Add("device_sense_data_fuzz", "descriptor-current-with-information",
               Bytes{0x72, 0x03, 0x11, 0x00, 0, 0, 0, 12, 0x00, 0x0A,
                     0x80, 0,    0,    0,    0, 0, 0, 0,  0x12, 0x34});
    corpus.Add("device_sense_data_fuzz", "descriptor-deferred",
               Bytes{0x73, 0x06, 0x29, 0x00, 0, 0, 0, 0});
    corpus.Add("device_sense_data_fuzz", "fixed-deferred-short",
               Bytes{0x71, 0, 0x04, 0, 0, 0, 0, 6, 0, 0, 0, 0, 0x44, 0x00});
}

} // namespace

void AddTextSeeds(SeedCorpus& corpus) {
    AddStringFileSeeds(corpus);
    AddSettingsSeeds(corpus);
    AddStateSeeds(corpus);
    AddControlSeeds(corpus);
    AddShownTextSeeds(corpus);
    AddSenseSeeds(corpus);
}
