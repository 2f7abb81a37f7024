// Initiator PDUs for the iSCSI tests, a logical unit that records what reaches it, and the
// reading back of what the target sent.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "virtual_drive/disk/logical_unit.h"
#include "virtual_drive/iscsi/pdu.h"
#include "virtual_drive/iscsi/text_keys.h"

namespace iscsi_test {

using vdrive::iscsi::Opcode;
using vdrive::iscsi::Pdu;
using vdrive::iscsi::field::kWord20;
using vdrive::iscsi::field::kWord24;
using vdrive::iscsi::field::kWord28;
using vdrive::iscsi::field::kWord32;
using vdrive::iscsi::field::kWord36;
using vdrive::iscsi::field::kWord40;
using vdrive::iscsi::field::kWord44;

inline Pdu Make(Opcode opcode, std::uint8_t flags, std::uint32_t taskTag) {
    Pdu pdu;
    pdu.header[0] = static_cast<std::uint8_t>(opcode);
    pdu.header[1] = flags;
    pdu.SetWord(vdrive::iscsi::field::kTaskTag, taskTag);
    return pdu;
}

inline std::vector<std::uint8_t> Keys(const vdrive::iscsi::TextKeys& keys) {
    std::vector<std::uint8_t> text;
    for (const auto& [key, value] : keys) {
        vdrive::iscsi::AppendTextKey(text, key, value);
    }
    return text;
}

// A login request from stage `current` to `next` (transit when next > current).
inline Pdu LoginRequest(int current, int next, const vdrive::iscsi::TextKeys& keys,
                        std::uint32_t cmdSn = 100) {
    const bool transit = next > current;
    Pdu pdu =
        Make(Opcode::LoginRequest,
             static_cast<std::uint8_t>((transit ? 0x80 : 0) | current << 2 | (transit ? next : 0)),
             0x1000);
    pdu.header[0] |= 0x40;
    pdu.header[8] = 0x80; // ISID
    pdu.SetWord(kWord24, cmdSn);
    pdu.data = Keys(keys);
    return pdu;
}

// A SCSI command of `cdb` with flags R (0x40) / W (0x20).
inline Pdu Command(std::uint32_t taskTag, std::uint32_t cmdSn, std::vector<std::uint8_t> cdb,
                   std::uint8_t flags, std::uint32_t expected) {
    Pdu pdu = Make(Opcode::ScsiCommand, static_cast<std::uint8_t>(0x80 | flags), taskTag);
    pdu.SetWord(kWord20, expected);
    pdu.SetWord(kWord24, cmdSn);
    std::memcpy(pdu.header.data() + 32, cdb.data(), std::min<std::size_t>(cdb.size(), 16));
    return pdu;
}

inline Pdu DataOut(std::uint32_t taskTag, std::uint32_t transferTag, std::uint32_t dataSn,
                   std::uint32_t offset, std::vector<std::uint8_t> data, bool final) {
    Pdu pdu = Make(Opcode::DataOut, final ? 0x80 : 0, taskTag);
    pdu.SetWord(kWord20, transferTag);
    pdu.SetWord(kWord36, dataSn);
    pdu.SetWord(kWord40, offset);
    pdu.data = std::move(data);
    return pdu;
}

// The PDUs in `bytes`, as the target wrote them; the test fails on a truncated one.
inline std::vector<Pdu> Split(const std::vector<std::uint8_t>& bytes) {
    std::vector<Pdu> pdus;
    std::size_t at = 0;
    const vdrive::iscsi::ByteSource source = vdrive::iscsi::MemorySource(bytes, at);
    while (at < bytes.size()) {
        Pdu pdu;
        if (vdrive::iscsi::ReadPdu(source, 1u << 24, pdu) != vdrive::iscsi::ReadResult::Ok) {
            ADD_FAILURE() << "a truncated PDU at byte " << at;
            break;
        }
        pdus.push_back(std::move(pdu));
    }
    return pdus;
}

// Answers READ(10) with its blocks filled with the block number, keeps what WRITE(10)
// brings, gives CHECK CONDITION for TEST UNIT READY when asked to, never answers 0xFC.
class RecordingUnit : public vdrive::IScsiLogicalUnit {
  public:
    vdrive::ScsiTaskResult Execute(const vdrive::ScsiTask& task) override {
        std::lock_guard lock(m_mutex);
        ++executed;
        lastNexus = task.nexus;
        vdrive::ScsiTaskResult result;
        const std::uint8_t code = task.cdb[0];
        const std::uint32_t blocks = static_cast<std::uint32_t>(task.cdb[7]) << 8 | task.cdb[8];
        if (code == 0x28) {
            result.commandLength = blocks * 512;
            for (std::uint32_t i = 0; i < std::min(result.commandLength, task.expectedLength);
                 ++i) {
                result.dataIn.push_back(static_cast<std::uint8_t>(i / 512 + 1));
            }
        } else if (code == 0x2A) {
            result.commandLength = blocks * 512;
            written.assign(task.dataOut.begin(), task.dataOut.end());
        } else if (code == 0xFC) {
            result.answered = false;
        } else if (code == 0x00 && notReady) {
            result.status = 0x02;
            result.sense = {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x3A, 0, 0, 0, 0, 0};
        }
        return result;
    }
    void NexusLost(std::uint64_t nexus) override { lostNexus = nexus; }
    void Reset() override { ++resets; }

    int executed = 0;
    int resets = 0;
    bool notReady = false;
    std::uint64_t lastNexus = 0;
    std::uint64_t lostNexus = 0;
    std::vector<std::uint8_t> written;

  private:
    std::mutex m_mutex;
};

} // namespace iscsi_test
