// The seed corpus of the fuzz targets: valid inputs made by the real code (the drive
// model, the operations, the iSCSI connection, the state and settings writers), framed
// the way each target reads its input. fuzz_seed_writer writes them under
// tests/fuzz/corpus/<target>/; each maker adds the seeds of one or more targets.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "device/clock.h"
#include "device/recording_transport.h"
#include "virtual_drive/drive_model.h"

using Bytes = std::vector<std::uint8_t>;

// The operations' waits take no time here.
class NoWait final : public IClock {
  public:
    void Sleep(std::uint32_t) override {}
};

class SeedCorpus {
  public:
    // Seed `name` (a file name) of `target`; a name given twice is a fault of the maker.
    void Add(const std::string& target, const std::string& name, Bytes bytes);
    void Add(const std::string& target, const std::string& name, std::string_view text);
    const std::map<std::string, std::map<std::string, Bytes>>& Targets() const { return m_targets; }

  private:
    std::map<std::string, std::map<std::string, Bytes>> m_targets;
};

// Stops the writer with `what` when a seed does not come out as it should.
void Expect(bool condition, const std::string& what);

void AppendWord16(Bytes& out, std::uint16_t value); // big-endian
void AppendWord32(Bytes& out, std::uint32_t value); // big-endian

// A drive with "SECU" as its first command tag: the tag list the fuzz targets give the
// operations after the search.
vdrive::DriveOptions SeedDriveOptions();

// One operation of the window, run through the in-memory transport after the drive
// search: what crossed the wire, in order. As the fuzz targets do, the operation talks to
// E with "SECU" as the first tag, whatever the search found.
enum class Operation { Install, Erase, Model, Status, SearchOnly };
struct Recording {
    std::vector<CommandRecord> records;
    std::uint32_t mask = 0; // the letters present
    char found = 0;         // the letter the search settled on
    std::string resultBox;  // the text of the operation's last message box, if any
};
Recording RecordOperation(const std::vector<std::pair<char, IScsiTarget*>>& volumes,
                          Operation operation);
// The same with one drive, at E.
std::vector<CommandRecord> RecordOperation(IScsiTarget& drive, Operation operation);

// Names the "SECU" position of a drive of `options` in every "SECU" command of `records`.
void MoveSecureTag(std::vector<CommandRecord>& records, const vdrive::DriveOptions& options);

void AddFingerprintReplySeeds(SeedCorpus& corpus); // fingerprint_replies_fuzz
void AddDriveCommandSeeds(SeedCorpus& corpus);     // vdrive_model_fuzz, cli_drive_trace_fuzz,
                                                   // device_reply_fuzz
void AddScsiSeeds(SeedCorpus& corpus);             // scsi_disk_fuzz, iscsi_connection_fuzz
void AddTextSeeds(SeedCorpus& corpus);             // strings, settings, state, control,
                                                   // shown text, sense data

// The SCSI commands an initiator sends a volume, the drive's vendor commands among them.
struct ScsiCommand {
    std::string name;
    Bytes cdb;
    bool reads = false;
    bool writes = false;
    std::uint32_t expected = 0; // transfer length
    Bytes dataOut;
};
std::vector<ScsiCommand> VolumeCommands();
