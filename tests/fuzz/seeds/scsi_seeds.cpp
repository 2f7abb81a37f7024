// The volume's SCSI commands as scsi_disk_fuzz reads them (records of CDB length, CDB,
// flags, expected length and data out), and whole iSCSI conversations as
// iscsi_connection_fuzz reads them (byte 0: odd for its canned login first; then the
// initiator's PDUs). The conversations are held with a real connection, so each PDU
// answers what the target sent: the StatSN it acknowledges, the R2T it fills.
#include <algorithm>
#include <cstring>

#include "tests/fuzz/seeds/seed_corpus.h"
#include "virtual_drive/disk/disk_image.h"
#include "virtual_drive/disk/volume_disk.h"
#include "virtual_drive/iscsi/connection.h"
#include "virtual_drive/iscsi/text_keys.h"
#include "virtual_drive/volume_set.h"

using namespace vdrive::iscsi;

namespace {

ScsiCommand ReadCommand(std::string name, Bytes cdb, std::uint32_t length) {
    return {std::move(name), std::move(cdb), true, false, length, {}};
}

ScsiCommand WriteCommand(std::string name, Bytes cdb, std::uint32_t length) {
    Bytes data(length);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 7 + 1);
    }
    return {std::move(name), std::move(cdb), false, true, length, std::move(data)};
}

ScsiCommand PlainCommand(std::string name, Bytes cdb) {
    return {std::move(name), std::move(cdb), false, false, 0, {}};
}

// The vendor commands of the status operation, as the drive of a volume takes them.
std::vector<ScsiCommand> VendorCommands() {
    vdrive::FingerprintDriveModel drive(SeedDriveOptions());
    drive.SetSlot(2, "finger-2");
    std::vector<CommandRecord> records = RecordOperation(drive, Operation::Status);
    MoveSecureTag(records, vdrive::DriveOptions{});
    std::vector<ScsiCommand> commands;
    for (const CommandRecord& record : records) {
        const Bytes cdb(record.cdb.begin(), record.cdb.end());
        if (record.direction == ScsiDirection::Read) {
            commands.push_back(ReadCommand("vendor-read", cdb, record.length));
        } else {
            commands.push_back({"vendor-write", cdb, false, true, record.length, record.data});
        }
    }
    return commands;
}

} // namespace

std::vector<ScsiCommand> VolumeCommands() {
    std::vector<ScsiCommand> commands = {
        PlainCommand("test-unit-ready", {0x00, 0, 0, 0, 0, 0}),
        ReadCommand("request-sense", {0x03, 0, 0, 0, 18, 0}, 18),
        ReadCommand("inquiry", {0x12, 0, 0, 0, 96, 0}, 96),
        ReadCommand("inquiry-vpd-pages", {0x12, 1, 0x00, 0, 64, 0}, 64),
        ReadCommand("inquiry-vpd-serial", {0x12, 1, 0x80, 0, 64, 0}, 64),
        ReadCommand("inquiry-vpd-identification", {0x12, 1, 0x83, 0, 64, 0}, 64),
        ReadCommand("read-capacity-10", {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8),
        ReadCommand("read-capacity-16", {0x9E, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0},
                    32),
        ReadCommand("mode-sense-6-all", {0x1A, 0, 0x3F, 0, 192, 0}, 192),
        ReadCommand("mode-sense-6-caching", {0x1A, 0x08, 0x08, 0, 32, 0}, 32),
        ReadCommand("mode-sense-10-all", {0x5A, 0, 0x3F, 0xFF, 0, 0, 0, 0, 192, 0}, 192),
        ReadCommand("report-luns", {0xA0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 0, 0}, 16),
        ReadCommand("read-6", {0x08, 0, 0, 1, 1, 0}, 512),
        ReadCommand("read-10", {0x28, 0, 0, 0, 0, 0, 0, 0, 2, 0}, 1024),
        ReadCommand("read-12", {0xA8, 0, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0}, 512),
        ReadCommand("read-16", {0x88, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0}, 512),
        WriteCommand("write-6", {0x0A, 0, 0, 5, 1, 0}, 512),
        WriteCommand("write-10", {0x2A, 0x08, 0, 0, 0, 6, 0, 0, 2, 0}, 1024),
        WriteCommand("write-12", {0xAA, 0, 0, 0, 0, 8, 0, 0, 0, 1, 0, 0}, 512),
        WriteCommand("write-16", {0x8A, 0, 0, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0, 1, 0, 0}, 512),
        WriteCommand("write-verify-10", {0x2E, 0, 0, 0, 0, 10, 0, 0, 1, 0}, 512),
        PlainCommand("synchronize-cache-10", {0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
        PlainCommand("synchronize-cache-16", {0x91, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
        PlainCommand("prevent-removal", {0x1E, 0, 0, 0, 1, 0}),
        PlainCommand("eject", {0x1B, 0, 0, 0, 0x02, 0}),
        PlainCommand("allow-removal", {0x1E, 0, 0, 0, 0, 0}),
        PlainCommand("load", {0x1B, 0, 0, 0, 0x03, 0}),
    };
    for (ScsiCommand& command : VendorCommands()) {
        commands.push_back(std::move(command));
    }
    return commands;
}

namespace {

// One record of scsi_disk_fuzz; `action` goes to flag bits 4-6 (1 unplug, 2 plug,
// 3 reset, 4 nexus lost, 5 failing drive).
void AppendDiskRecord(Bytes& out, const ScsiCommand& command, std::uint8_t action = 0,
                      std::uint8_t nexus = 0) {
    out.push_back(static_cast<std::uint8_t>(command.cdb.size()));
    out.insert(out.end(), command.cdb.begin(), command.cdb.end());
    out.push_back(static_cast<std::uint8_t>(action << 4 | (command.writes ? 0x08 : 0) |
                                            (command.reads ? 0x04 : 0) | nexus));
    Expect(command.expected <= 0xFFFF, command.name + ": too long for a record");
    AppendWord16(out, static_cast<std::uint16_t>(command.expected));
    Bytes data = command.dataOut;
    data.resize(command.expected); // a read takes as many bytes, unused
    out.insert(out.end(), data.begin(), data.end());
}

const ScsiCommand& Find(const std::vector<ScsiCommand>& commands, const std::string& name) {
    const auto found = std::find_if(commands.begin(), commands.end(),
                                    [&name](const ScsiCommand& c) { return c.name == name; });
    Expect(found != commands.end(), "no command " + name);
    return *found;
}

void AddDiskSeeds(SeedCorpus& corpus, const std::vector<ScsiCommand>& commands) {
    Bytes every;
    for (const ScsiCommand& command : commands) {
        AppendDiskRecord(every, command);
        if (command.name.rfind("vendor", 0) != 0) {
            Bytes one;
            AppendDiskRecord(one, command);
            corpus.Add("scsi_disk_fuzz", command.name, one);
        }
    }
    corpus.Add("scsi_disk_fuzz", "every-command", every);
    Bytes vendor;
    for (const ScsiCommand& command : commands) {
        if (command.name.rfind("vendor", 0) == 0) {
            AppendDiskRecord(vendor, command);
        }
    }
    corpus.Add("scsi_disk_fuzz", "vendor-status-operation", vendor);
    Bytes faults;
    AppendDiskRecord(faults, Find(commands, "prevent-removal"), 0, 1);
    AppendDiskRecord(faults, Find(commands, "eject"), 0, 2);
    AppendDiskRecord(faults, Find(commands, "test-unit-ready"), 4, 1);
    AppendDiskRecord(faults, Find(commands, "eject"), 0, 2);
    AppendDiskRecord(faults, Find(commands, "read-10"), 1);
    AppendDiskRecord(faults, Find(commands, "request-sense"));
    AppendDiskRecord(faults, Find(commands, "inquiry"), 2);
    AppendDiskRecord(faults, Find(commands, "read-capacity-10"), 3);
    AppendDiskRecord(faults, Find(commands, "test-unit-ready"), 5);
    AppendDiskRecord(faults, Find(commands, "request-sense"));
    corpus.Add("scsi_disk_fuzz", "prevent-eject-unplug-reset", faults);
}

// The initiator's side of one connection: every PDU it sends is kept as the seed.
class Initiator {
  public:
    explicit Initiator(Connection& connection) : m_connection(connection) {}

    const Bytes& Sent() const { return m_sent; }

    // The fuzz target's canned login, sent but not kept.
    void CannedLogin() {
        Pdu login = LoginPdu(0, 3,
                             {{"InitiatorName", "iqn.2026-12.fuzz:i"},
                              {"TargetName", TargetNameFor('E')},
                              {"MaxRecvDataSegmentLength", "4096"}});
        login.header[8] = 0;
        login.SetWord(field::kTaskTag, 0);
        Exchange(login, false);
        Expect(m_connection.LoggedIn(), "the canned login failed");
    }

    // One login request from stage `current` to `next`; checks the answer's status.
    void Login(int current, int next, const TextKeys& keys) {
        Exchange(LoginPdu(current, next, keys), true);
        Expect(!m_answers.empty() && m_answers.back().Op() == Opcode::LoginResponse &&
                   m_answers.back().header[36] == 0,
               "a login request was refused");
    }

    void Command(const ScsiCommand& command) {
        Pdu pdu = Request(Opcode::ScsiCommand,
                          static_cast<std::uint8_t>(0x80 | (command.reads ? 0x40 : 0) |
                                                    (command.writes ? 0x20 : 0)));
        pdu.SetWord(field::kWord20, command.expected);
        std::memcpy(pdu.header.data() + field::kCdb, command.cdb.data(),
                    std::min<std::size_t>(command.cdb.size(), 16));
        const std::uint32_t task = pdu.TaskTag();
        ++m_cmdSn;
        Exchange(pdu, true);
        // Fill every R2T, in two Data-Out PDUs where it asks for more than 512 bytes.
        for (std::size_t i = 0; i < m_answers.size(); ++i) {
            const Pdu r2t = m_answers[i];
            if (r2t.Op() != Opcode::ReadyToTransfer) {
                continue;
            }
            const std::uint32_t offset = r2t.Word(field::kWord40);
            const std::uint32_t length = r2t.Word(field::kWord44);
            const std::uint32_t first = length > 512 ? length / 2 : length;
            std::uint32_t dataSn = 0;
            for (const auto& [start, size] :
                 {std::pair{offset, first}, std::pair{offset + first, length - first}}) {
                if (size == 0) {
                    continue;
                }
                Pdu data = Request(Opcode::DataOut, start + size == offset + length ? 0x80 : 0);
                data.header[0] = static_cast<std::uint8_t>(Opcode::DataOut);
                data.SetWord(field::kTaskTag, task);
                data.SetWord(field::kWord20, r2t.Word(field::kWord20));
                data.SetWord(field::kWord24, 0);
                data.SetWord(field::kWord36, dataSn++);
                data.SetWord(field::kWord40, start);
                data.data.assign(command.dataOut.begin() + start,
                                 command.dataOut.begin() + start + size);
                Exchange(data, true, true);
            }
        }
        Expect(std::any_of(m_answers.begin(), m_answers.end(),
                           [](const Pdu& pdu) { return pdu.Op() == Opcode::ScsiResponse; }) ||
                   command.reads,
               command.name + ": no response");
    }

    void Text(const TextKeys& keys) {
        Pdu pdu = Request(Opcode::TextRequest, 0x80);
        pdu.SetWord(field::kWord20, kReservedTag);
        pdu.data = Keys(keys);
        ++m_cmdSn;
        Exchange(pdu, true);
        Expect(!m_answers.empty() && m_answers.back().Op() == Opcode::TextResponse,
               "no text response");
    }

    void Ping() {
        Pdu pdu = Request(Opcode::NopOut, 0x80);
        pdu.header[0] |= 0x40;
        pdu.SetWord(field::kWord20, kReservedTag);
        pdu.data = {'p', 'i', 'n', 'g'};
        Exchange(pdu, true);
    }

    // Task management `function` (1 abort task, 5 logical unit reset) for `task`.
    void Manage(std::uint8_t function, std::uint32_t task) {
        Pdu pdu = Request(Opcode::TaskManagement, static_cast<std::uint8_t>(0x80 | function));
        pdu.header[0] |= 0x40;
        pdu.SetWord(field::kWord20, task);
        pdu.SetWord(field::kWord32, m_cmdSn - 1);
        Exchange(pdu, true);
    }

    void Logout() {
        Pdu pdu = Request(Opcode::LogoutRequest, 0x80);
        pdu.header[0] |= 0x40;
        Exchange(pdu, true);
        Expect(!m_open, "the logout left the connection open");
    }

    std::uint32_t LastTask() const { return m_taskTag - 1; }

  private:
    static Bytes Keys(const TextKeys& keys) {
        Bytes text;
        for (const auto& [key, value] : keys) {
            AppendTextKey(text, key, value);
        }
        return text;
    }

    Pdu Request(Opcode opcode, std::uint8_t flags) {
        Pdu pdu;
        pdu.header[0] = static_cast<std::uint8_t>(opcode);
        pdu.header[1] = flags;
        pdu.SetWord(field::kTaskTag, m_taskTag++);
        pdu.SetWord(field::kWord24, m_cmdSn);
        pdu.SetWord(field::kWord28, m_expStatSn);
        return pdu;
    }

    Pdu LoginPdu(int current, int next, const TextKeys& keys) {
        const bool transit = next > current;
        Pdu pdu = Request(
            Opcode::LoginRequest,
            static_cast<std::uint8_t>((transit ? 0x80 : 0) | current << 2 | (transit ? next : 0)));
        pdu.header[0] |= 0x40;
        pdu.header[8] = 0x80; // ISID: a random number of the initiator's
        pdu.header[12] = 0x2A;
        pdu.SetWord(field::kTaskTag, 0x1000);
        pdu.data = Keys(keys);
        --m_taskTag;
        return pdu;
    }

    // Sends `pdu` (kept in the seed when `keep`) and reads back what the target sent.
    void Exchange(const Pdu& pdu, bool keep, bool mayBeSilent = false) {
        Expect(m_open, "a PDU after the connection ended");
        if (keep) {
            AppendPdu(pdu, m_sent);
        }
        Bytes out;
        m_open = m_connection.Handle(pdu, out);
        m_answers.clear();
        std::size_t at = 0;
        const ByteSource source = MemorySource(out, at);
        while (at < out.size()) {
            Pdu answer;
            Expect(ReadPdu(source, 1u << 24, answer) == ReadResult::Ok, "a torn answer");
            if (answer.Op() != Opcode::ReadyToTransfer && answer.Op() != Opcode::DataIn) {
                m_expStatSn = answer.Word(field::kWord24) + 1;
            }
            m_answers.push_back(std::move(answer));
        }
        Expect(mayBeSilent || !m_answers.empty(), "no answer");
    }

    Connection& m_connection;
    Bytes m_sent;
    std::vector<Pdu> m_answers;
    std::uint32_t m_taskTag = 1;
    std::uint32_t m_cmdSn = 1;
    std::uint32_t m_expStatSn = 0;
    bool m_open = true;
};

// The fuzz target's server: drive E behind a volume disk of 64 KiB.
struct Server {
    Server() {
        volumes.AddDrive('E', {});
        targets.push_back({TargetNameFor('E'),
                           vdrive::MakeVolumeDisk(
                               *volumes.Find('E'), volumes.ModelMutex(),
                               vdrive::MakeMemoryImage(std::vector<std::uint8_t>(64 * 1024)))});
    }
    vdrive::VolumeSet volumes;
    TargetList targets;
    Connection connection{targets, "127.0.0.1:3260", true, 1};
    Initiator initiator{connection};
};

const TextKeys kOperationalKeys = {{"HeaderDigest", "None"},
                                   {"DataDigest", "None"},
                                   {"MaxRecvDataSegmentLength", "8192"},
                                   {"MaxBurstLength", "262144"},
                                   {"FirstBurstLength", "65536"},
                                   {"InitialR2T", "Yes"},
                                   {"ImmediateData", "No"},
                                   {"MaxOutstandingR2T", "1"},
                                   {"DataPDUInOrder", "Yes"},
                                   {"DataSequenceInOrder", "Yes"},
                                   {"ErrorRecoveryLevel", "0"},
                                   {"MaxConnections", "1"},
                                   {"DefaultTime2Wait", "2"},
                                   {"DefaultTime2Retain", "0"},
                                   {"IFMarker", "No"},
                                   {"OFMarker", "No"}};

TextKeys Identity(const std::string& sessionType) {
    TextKeys keys = {{"InitiatorName", "iqn.2026-12.org.example:initiator"},
                     {"InitiatorAlias", "fuzz seed"},
                     {"SessionType", sessionType}};
    if (sessionType == "Normal") {
        keys.emplace_back("TargetName", TargetNameFor('E'));
    }
    return keys;
}

TextKeys Joined(TextKeys first, const TextKeys& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

Bytes Seed(std::uint8_t first, const Bytes& pdus) {
    Bytes seed{first};
    seed.insert(seed.end(), pdus.begin(), pdus.end());
    return seed;
}

void AddIscsiSeeds(SeedCorpus& corpus, const std::vector<ScsiCommand>& commands) {
    const std::string target = "iscsi_connection_fuzz";
    {
        Server server;
        server.initiator.Login(0, 3, Joined(Identity("Normal"), {{"AuthMethod", "None"}}));
        server.initiator.Logout();
        corpus.Add(target, "login-normal-then-logout", Seed(0, server.initiator.Sent()));
    }
    {
        Server server;
        server.initiator.Login(0, 1, Joined(Identity("Normal"), {{"AuthMethod", "None"}}));
        server.initiator.Login(1, 3, kOperationalKeys);
        server.initiator.Command(Find(commands, "inquiry"));
        server.initiator.Logout();
        corpus.Add(target, "login-security-then-operational", Seed(0, server.initiator.Sent()));
    }
    {
        Server server;
        server.initiator.Login(1, 3, Joined(Identity("Normal"), kOperationalKeys));
        server.initiator.Logout();
        corpus.Add(target, "login-operational-only", Seed(0, server.initiator.Sent()));
    }
    {
        Server server;
        server.initiator.Login(0, 1, Joined(Identity("Discovery"), {{"AuthMethod", "None"}}));
        server.initiator.Login(1, 3, {{"HeaderDigest", "None"}, {"DataDigest", "None"}});
        server.initiator.Text({{"SendTargets", "All"}});
        server.initiator.Logout();
        corpus.Add(target, "discovery-send-targets", Seed(0, server.initiator.Sent()));
    }
    {
        Server server;
        server.initiator.Login(0, 3, Joined(Identity("Normal"), kOperationalKeys));
        for (const std::string& name : {"test-unit-ready", "inquiry", "read-capacity-10", "read-10",
                                        "mode-sense-6-all", "report-luns"}) {
            server.initiator.Command(Find(commands, name));
        }
        for (const ScsiCommand& command : commands) {
            if (command.name.rfind("vendor", 0) == 0) {
                server.initiator.Command(command);
            }
        }
        server.initiator.Ping();
        server.initiator.Logout();
        corpus.Add(target, "login-then-commands-and-vendor", Seed(0, server.initiator.Sent()));
    }
    {
        Server server;
        server.initiator.Login(0, 3, Joined(Identity("Normal"), kOperationalKeys));
        server.initiator.Command(Find(commands, "write-10"));
        server.initiator.Command(Find(commands, "read-10"));
        server.initiator.Command(Find(commands, "synchronize-cache-10"));
        server.initiator.Logout();
        corpus.Add(target, "write-with-r2t", Seed(0, server.initiator.Sent()));
    }
    {
        Server server;
        server.initiator.CannedLogin();
        for (const ScsiCommand& command : commands) {
            server.initiator.Command(command);
        }
        server.initiator.Text({{"SendTargets", "All"}});
        server.initiator.Manage(1, server.initiator.LastTask());
        server.initiator.Manage(5, 0);
        server.initiator.Ping();
        server.initiator.Logout();
        corpus.Add(target, "after-login-every-command", Seed(1, server.initiator.Sent()));
    }
    {
        Server server;
        server.initiator.CannedLogin();
        server.initiator.Command(Find(commands, "write-16"));
        server.initiator.Command(Find(commands, "prevent-removal"));
        server.initiator.Command(Find(commands, "eject"));
        server.initiator.Logout();
        corpus.Add(target, "after-login-write-then-eject", Seed(1, server.initiator.Sent()));
    }
}

} // namespace

void AddScsiSeeds(SeedCorpus& corpus) {
    const std::vector<ScsiCommand> commands = VolumeCommands();
    AddDiskSeeds(corpus, commands);
    AddIscsiSeeds(corpus, commands);
}
