#include "cli/wire_trace.h"

#include <ostream>
#include <span>
#include <string>

namespace {

// Hex of `bytes`; a run of zeros at the end (most of an identification reply) is counted,
// not printed.
std::string HexWithoutZeroTail(std::span<const std::uint8_t> bytes) {
    std::size_t end = bytes.size();
    while (end > 0 && bytes[end - 1] == 0)
        --end;
    const std::size_t zeros = bytes.size() - end;
    if (zeros < 8)
        return FormatHex(bytes);
    return FormatHex(bytes.first(end)) + (end > 0 ? " " : "") + "+ " + std::to_string(zeros) +
           " zero bytes";
}

} // namespace

void WireTrace::operator()(const CommandRecord& record) {
    const DecodedCommand decoded =
        m_decoder.Decode(record.cdb, record.direction, record.data, record.succeeded);
    const char letter = record.letter != 0 ? record.letter : '?';
    m_out << "trace " << letter << ": " << decoded.name << " | cdb " << FormatHex(record.cdb)
          << " | " << (record.direction == ScsiDirection::Read ? "read " : "write ")
          << record.length << " | " << (record.succeeded ? "good" : "failed") << '\n';
    if (!record.data.empty()) {
        m_out << "  data  " << HexWithoutZeroTail(record.data) << '\n';
    }
    if (!decoded.frame.empty()) {
        m_out << "  frame " << HexWithoutZeroTail(decoded.frame) << '\n';
    }
    if (!decoded.meaning.empty()) {
        m_out << "  = " << decoded.meaning << '\n';
    }
    m_out.flush();
}
