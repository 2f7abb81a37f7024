// The session's sequence numbers: the command window (ExpCmdSN, MaxCmdSN) and the
// connection's status numbering (StatSN), compared in 32-bit serial arithmetic.
#pragma once

#include <cstdint>

#include "virtual_drive/iscsi/login.h"
#include "virtual_drive/iscsi/pdu.h"

namespace vdrive::iscsi {

// a < b in serial number arithmetic (they wrap at 2^32).
inline bool SerialLess(std::uint32_t a, std::uint32_t b) {
    return a != b && static_cast<std::int32_t>(a - b) < 0;
}

class Sequence {
  public:
    Sequence(std::uint32_t expCmdSn, std::uint32_t statSn)
        : m_expCmdSn(expCmdSn), m_statSn(statSn) {}

    std::uint32_t ExpCmdSn() const { return m_expCmdSn; }
    std::uint32_t MaxCmdSn() const { return m_expCmdSn + kCommandWindow - 1; }
    // True when `cmdSn` lies in the window but ahead of the next expected one.
    bool Ahead(std::uint32_t cmdSn) const {
        return SerialLess(m_expCmdSn, cmdSn) && !SerialLess(MaxCmdSn(), cmdSn);
    }
    void Advance() { ++m_expCmdSn; }

    // Fills StatSN, ExpCmdSN and MaxCmdSN; a PDU that carries status takes the next StatSN.
    void Stamp(Pdu& pdu, bool carriesStatus) {
        pdu.SetWord(field::kWord24, carriesStatus ? m_statSn++ : m_statSn);
        pdu.SetWord(field::kWord28, m_expCmdSn);
        pdu.SetWord(field::kWord32, MaxCmdSn());
    }

  private:
    std::uint32_t m_expCmdSn;
    std::uint32_t m_statSn;
};

} // namespace vdrive::iscsi
