// One iSCSI connection on arbitrary bytes from the initiator: the PDU reader, login and
// key negotiation, and the full feature phase over the real SCSI disk of a drive volume.
// With the first input byte odd, a valid login (4096-byte segments each way) comes first,
// so that the rest reaches the full feature phase; then nothing the target sends may be
// a torn PDU or carry a data segment longer than the initiator declared.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "virtual_drive/disk/disk_image.h"
#include "virtual_drive/disk/volume_disk.h"
#include "virtual_drive/iscsi/connection.h"
#include "virtual_drive/iscsi/text_keys.h"
#include "virtual_drive/volume_set.h"

using namespace vdrive::iscsi;

namespace {

constexpr std::uint32_t kDeclaredSegment = 4096;

Pdu CannedLogin() {
    Pdu login;
    login.header[0] = 0x40 | static_cast<std::uint8_t>(Opcode::LoginRequest);
    login.header[1] = 0x80 | 0 << 2 | 3; // security straight to full feature
    login.SetWord(field::kWord24, 1);
    for (const auto& [key, value] :
         TextKeys{{"InitiatorName", "iqn.2026-12.fuzz:i"},
                  {"TargetName", TargetNameFor('E')},
                  {"MaxRecvDataSegmentLength", std::to_string(kDeclaredSegment)}}) {
        AppendTextKey(login.data, key, value);
    }
    return login;
}

// Reads the target's bytes back; false when one is torn or too long.
bool WellFormed(const std::vector<std::uint8_t>& out, std::uint32_t limit) {
    std::size_t at = 0;
    const ByteSource source = MemorySource(out, at);
    while (at < out.size()) {
        Pdu pdu;
        if (ReadPdu(source, limit, pdu) != ReadResult::Ok) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    vdrive::VolumeSet volumes;
    volumes.AddDrive('E', {});
    TargetList targets;
    targets.push_back(
        {TargetNameFor('E'),
         vdrive::MakeVolumeDisk(*volumes.Find('E'), volumes.ModelMutex(),
                                vdrive::MakeMemoryImage(std::vector<std::uint8_t>(64 * 1024)))});
    Connection connection(targets, "127.0.0.1:3260", true, 1);
    const bool loggedIn = (data[0] & 1) != 0;
    std::vector<std::uint8_t> out;
    if (loggedIn && !connection.Handle(CannedLogin(), out)) {
        std::abort(); // the canned login must succeed
    }
    out.clear();
    std::size_t at = 1;
    const ByteSource source = MemorySource({data, size}, at);
    Pdu pdu;
    while (ReadPdu(source, connection.MaxDataLength(), pdu) == ReadResult::Ok) {
        const bool open = connection.Handle(pdu, out);
        if (!WellFormed(out, loggedIn ? kDeclaredSegment : 1u << 24)) {
            std::abort();
        }
        out.clear();
        if (!open) {
            break;
        }
    }
    return 0;
}
