#include "tests/fuzz/seeds/seed_corpus.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/start_settings.h"
#include "device/memory_transport.h"
#include "fingerprint/fingerprint_operations.h"
#include "tests/fingerprint/recording_window.h"

void SeedCorpus::Add(const std::string& target, const std::string& name, Bytes bytes) {
    Expect(m_targets[target].emplace(name, std::move(bytes)).second,
           target + ": seed " + name + " named twice");
}

void SeedCorpus::Add(const std::string& target, const std::string& name, std::string_view text) {
    Add(target, name, Bytes(text.begin(), text.end()));
}

void Expect(bool condition, const std::string& what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_seed_writer: %s\n", what.c_str());
        std::exit(1);
    }
}

void AppendWord16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void AppendWord32(Bytes& out, std::uint32_t value) {
    AppendWord16(out, static_cast<std::uint16_t>(value >> 16));
    AppendWord16(out, static_cast<std::uint16_t>(value));
}

vdrive::DriveOptions SeedDriveOptions() {
    vdrive::DriveOptions options;
    options.tags = {"SECU", "INQU", "FWUP"};
    options.fixedSeeds = {0x2A5C, 0x0813, 0x7FFF, 0x0001};
    return options;
}

Recording RecordOperation(const std::vector<std::pair<char, IScsiTarget*>>& volumes,
                          Operation operation) {
    MemoryTransport memory;
    for (const auto& [letter, target] : volumes) {
        memory.Attach(letter, *target);
    }
    RecordingTransport wire(memory);
    RecordingWindow window;
    NoWait clock;
    g_busy = 0;
    CFingerprintOperations ops(window, wire, clock);
    window.Attach(ops);
    Recording recording;
    recording.mask = memory.PresentDriveMask();
    ops.FindFingerprintDrive(recording.mask);
    recording.found = ops.m_device.m_driveLetter;
    // As the fuzz targets do: whatever the search found, the operation talks to E.
    ops.m_device.m_driveLetter = 'E';
    ops.m_device.m_tagCount = 1;
    std::copy(vendor::kSecureTag.begin(), vendor::kSecureTag.end(), ops.m_device.m_tagList.begin());
    switch (operation) {
    case Operation::Install:
        ops.InstallNewFingerprint();
        break;
    case Operation::Erase:
        ops.EraseAllFingerprints();
        break;
    case Operation::Model:
        ops.ShowModel();
        break;
    case Operation::Status:
        ops.ViewStatus();
        break;
    case Operation::SearchOnly:
        break;
    }
    Expect(memory.OpenHandleCount() == 0 && g_busy == 0, "an operation left the drive open");
    recording.records = wire.Records();
    const std::vector<std::string> boxes = window.Lines("box ");
    recording.resultBox = boxes.empty() ? "" : boxes.back().substr(4);
    return recording;
}

std::vector<CommandRecord> RecordOperation(IScsiTarget& drive, Operation operation) {
    return RecordOperation({{'E', &drive}}, operation).records;
}

void MoveSecureTag(std::vector<CommandRecord>& records, const vdrive::DriveOptions& options) {
    const auto tag = std::find(options.tags.begin(), options.tags.end(), vendor::kSecureTag);
    Expect(tag != options.tags.end(), "a drive without the SECU tag");
    for (CommandRecord& record : records) {
        if (std::equal(vendor::kSecureTag.begin(), vendor::kSecureTag.end(),
                       record.cdb.begin() + 12)) {
            record.cdb[1] = static_cast<std::uint8_t>(tag - options.tags.begin());
        }
    }
}
