// The drive's commands as three fuzz targets read them:
// - vdrive_model_fuzz: records of CDB (16 bytes), direction (1 = read), length (one byte)
//   and that many data bytes, against a model with seeds 1234, 0000, 7FFF, the automatic
//   user every second poll and slot 0 in use;
// - cli_drive_trace_fuzz: what the search and the operations sent and received, as the
//   wire trace and the candidate list read it;
// - device_reply_fuzz: a status byte per command, the bytes of each read, and the
//   target's own choices (frame offsets, the request, the reply length) in between.
#include <algorithm>

#include "device/finger_disk.h"
#include "device/memory_transport.h"
#include "tests/fuzz/seeds/seed_corpus.h"

namespace {

using vdrive::FingerprintDriveModel;

// The model of vdrive_model_fuzz, with "SECU" first as the operations then expect; the
// records are moved to its third place, where the fuzz target's model keeps it.
vdrive::DriveOptions ModelFuzzOptions() {
    vdrive::DriveOptions options;
    options.tags = SeedDriveOptions().tags;
    options.fixedSeeds = {0x1234, 0x0000, 0x7FFF};
    options.autoStepPolls = 2;
    return options;
}

Bytes ModelRecords(const std::vector<CommandRecord>& records) {
    Bytes out;
    for (const CommandRecord& record : records) {
        out.insert(out.end(), record.cdb.begin(), record.cdb.end());
        out.push_back(record.direction == ScsiDirection::Read ? 1 : 0);
        const std::size_t length = std::min<std::size_t>(record.length, 0xFF);
        out.push_back(static_cast<std::uint8_t>(length));
        if (record.direction == ScsiDirection::Write) {
            out.insert(out.end(), record.data.begin(),
                       record.data.begin() + static_cast<std::ptrdiff_t>(length));
        } else {
            out.insert(out.end(), length, 0);
        }
    }
    return out;
}

const std::vector<std::pair<std::string, Operation>> kOperations = {{"status", Operation::Status},
                                                                    {"model", Operation::Model},
                                                                    {"install", Operation::Install},
                                                                    {"erase", Operation::Erase}};

void AddModelSeeds(SeedCorpus& corpus) {
    std::vector<CommandRecord> all;
    for (const auto& [name, operation] : kOperations) {
        FingerprintDriveModel drive(ModelFuzzOptions());
        drive.SetSlot(0, "owner");
        std::vector<CommandRecord> records = RecordOperation(drive, operation);
        MoveSecureTag(records, vdrive::DriveOptions{});
        corpus.Add("vdrive_model_fuzz", name, ModelRecords(records));
        all.insert(all.end(), records.begin(), records.end());
    }
    corpus.Add("vdrive_model_fuzz", "every-operation", ModelRecords(all));
}

// cli_drive_trace_fuzz: mask (4 bytes, big-endian), found letter (0 none), then records of
// a byte (letter index in bits 2-7, read in bit 1, succeeded in bit 0), the CDB, the
// length (2 bytes, big-endian) and the data the record holds (2 bytes of its size first).
Bytes TraceInput(std::uint32_t mask, char found, const std::vector<CommandRecord>& records) {
    Bytes out;
    AppendWord32(out, mask);
    out.push_back(static_cast<std::uint8_t>(found));
    for (const CommandRecord& record : records) {
        out.push_back(static_cast<std::uint8_t>((record.letter - 'A') << 2 |
                                                (record.direction == ScsiDirection::Read) << 1 |
                                                (record.succeeded ? 1 : 0)));
        out.insert(out.end(), record.cdb.begin(), record.cdb.end());
        AppendWord16(out, static_cast<std::uint16_t>(record.length));
        AppendWord16(out, static_cast<std::uint16_t>(record.data.size()));
        out.insert(out.end(), record.data.begin(), record.data.end());
    }
    return out;
}

void AddTraceSeeds(SeedCorpus& corpus) {
    const std::uint32_t driveOnly = 1u << ('E' - 'A');
    for (const auto& [name, operation] : kOperations) {
        FingerprintDriveModel drive(SeedDriveOptions());
        drive.SetSlot(0, "finger-0");
        drive.User().Present("finger-0");
        drive.User().Present("new-finger", 3);
        corpus.Add("cli_drive_trace_fuzz", name,
                   TraceInput(driveOnly, 'E', RecordOperation(drive, operation)));
    }
    // The candidate list of `scan --all`: a stick, a stick refusing vendor commands, a
    // drive of another identity, a silent drive and the drive, in search order.
    vdrive::UsbStickModel stick;
    vdrive::UsbStickModel refusing({.refuseVendorCommands = true});
    vdrive::DriveOptions otherOptions = SeedDriveOptions();
    otherOptions.identity = "OTHERID1";
    FingerprintDriveModel other(otherOptions);
    FingerprintDriveModel silent(SeedDriveOptions());
    silent.FailNextCommands(100);
    FingerprintDriveModel drive(SeedDriveOptions());
    const Recording scan = RecordOperation(
        {{'D', &stick}, {'F', &refusing}, {'G', &other}, {'H', &silent}, {'K', &drive}},
        Operation::SearchOnly);
    corpus.Add("cli_drive_trace_fuzz", "scan-all-candidates",
               TraceInput(scan.mask, scan.found, scan.records));
}

// device_reply_fuzz's drive: a status byte per command (7: CHECK CONDITION), then the
// bytes of a read that succeeded.
class StatusThenReads final : public IScsiTarget {
  public:
    StatusThenReads(IScsiTarget& inner, Bytes& out) : m_inner(inner), m_out(out) {}
    std::uint8_t ExecuteCommand(const Cdb& cdb, ScsiDirection direction,
                                std::span<std::uint8_t> data) override {
        const std::uint8_t status = m_inner.ExecuteCommand(cdb, direction, data);
        m_out.push_back(status == kScsiStatusGood ? 0x00 : 0x07);
        if (status == kScsiStatusGood && direction == ScsiDirection::Read) {
            m_out.insert(m_out.end(), data.begin(), data.end());
        }
        return status;
    }

  private:
    IScsiTarget& m_inner;
    Bytes& m_out;
};

struct Round {
    vendor::Request request;
    std::uint8_t code;
    std::uint16_t replyLength;
};

// The rounds of device_reply_fuzz, in its order; keep the two in step.
Bytes DeviceReplyInput(IScsiTarget& drive, const std::vector<Round>& rounds) {
    Bytes out;
    StatusThenReads target(drive, out);
    MemoryTransport transport;
    transport.Attach('E', target);
    NoWait clock;
    CFingerDisk disk(transport, clock);
    disk.m_driveLetter = 'E';
    const auto frameOffsets = [&out] {
        for (const std::uint16_t offset : {0x0000, 0x0005, 0x000B, 0x0200}) {
            AppendWord16(out, offset);
        }
    };
    for (const Round& round : rounds) {
        ReplyFrame reply;
        if (disk.Identify(reply)) {
            frameOffsets();
        }
        SecureIdentity identity{};
        disk.ReadSecureIdentity(identity);
        out.insert(out.end(), {round.request.b1, round.request.b2, round.request.b3, round.code});
        disk.SendRequestFrame(round.request, round.code);
        AppendWord16(out, round.replyLength);
        ReplyFrame frame;
        disk.ReceiveReplyFrame(round.replyLength, frame);
        frameOffsets();
    }
    return out;
}

void AddDeviceReplySeeds(SeedCorpus& corpus) {
    const std::uint8_t reply = vendor::kWriteExpectsReply;
    const std::vector<Round> queries = {
        {vendor::kStatusRequest, reply, vendor::kStatusReplyLength},
        {vendor::kModelRequest, reply, vendor::kModelReplyLength},
        {vendor::kProgressPoll, reply, vendor::kFrameHeaderLength + 2}};
    const std::vector<Round> install = {
        {vendor::kInstallStart, vendor::kWriteStartsWork, 0},
        {vendor::kProgressPoll, reply, vendor::kFrameHeaderLength + 2},
        {vendor::kProgressPoll, reply, vendor::kFrameHeaderLength + 2}};
    FingerprintDriveModel drive(SeedDriveOptions());
    drive.SetSlot(0, "finger-0");
    drive.SetSlot(5, "finger-5");
    corpus.Add("device_reply_fuzz", "status-model-poll", DeviceReplyInput(drive, queries));
    FingerprintDriveModel enrolling(SeedDriveOptions());
    enrolling.User().Touch();
    enrolling.User().Present("new-finger", 3);
    corpus.Add("device_reply_fuzz", "install-start-then-polls",
               DeviceReplyInput(enrolling, install));
    FingerprintDriveModel failing(SeedDriveOptions());
    failing.FailNextCommands(4);
    corpus.Add("device_reply_fuzz", "commands-fail-then-answer",
               DeviceReplyInput(failing, queries));
    vdrive::UsbStickModel stick;
    corpus.Add("device_reply_fuzz", "usb-stick", DeviceReplyInput(stick, queries));
}

} // namespace

void AddDriveCommandSeeds(SeedCorpus& corpus) {
    AddModelSeeds(corpus);
    AddTraceSeeds(corpus);
    AddDeviceReplySeeds(corpus);
}
