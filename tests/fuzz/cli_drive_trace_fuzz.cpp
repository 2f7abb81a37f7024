// What the command line reads out of the drive's bytes: the wire trace of --trace and the
// candidate list of `scan --all`, over commands as a recording transport keeps them. The
// input: the letters present (4 bytes), the letter found (1 byte), then records of a byte
// (letter in bits 2-7, read in bit 1, succeeded in bit 0), the CDB, the length (2 bytes),
// and the data the record holds (2 bytes of its size, then the bytes). Nothing a drive
// sends may reach the terminal as a control byte, and every candidate gets its verdict.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string_view>
#include <vector>

#include "cli/drive_report.h"
#include "cli/wire_trace.h"

namespace {

class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    std::size_t Left() const { return m_size - m_position; }
    std::uint8_t Byte() { return Left() == 0 ? 0 : m_data[m_position++]; }
    std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() << 8 | Byte()); }

  private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
};

void Require(bool condition) {
    if (!condition)
        std::abort();
}

// Printable ASCII, the line ends aside.
bool Printable(std::string_view text) {
    for (const char c : text) {
        if (c != '\n' && (c < 0x20 || c > 0x7E))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    const std::uint32_t mask = static_cast<std::uint32_t>(input.Word()) << 16 | input.Word();
    const auto found = static_cast<char>(input.Byte());
    std::vector<CommandRecord> records;
    while (input.Left() > 0) {
        CommandRecord record;
        const std::uint8_t flags = input.Byte();
        record.letter = static_cast<char>('A' + (flags >> 2) % 26);
        record.direction = (flags & 2) != 0 ? ScsiDirection::Read : ScsiDirection::Write;
        record.succeeded = (flags & 1) != 0;
        for (std::uint8_t& byte : record.cdb)
            byte = input.Byte();
        record.length = input.Word();
        record.data.resize(std::min<std::size_t>(input.Word(), input.Left()));
        for (std::uint8_t& byte : record.data)
            byte = input.Byte();
        records.push_back(std::move(record));
    }

    std::ostringstream trace;
    WireTrace tracer(trace);
    for (const CommandRecord& record : records)
        tracer(record);
    Require(Printable(trace.str()));

    std::size_t letters = 0;
    for (char letter = 'C'; letter <= 'Z'; ++letter)
        letters += mask >> (letter - 'A') & 1u;
    const std::vector<CandidateReport> candidates = DescribeCandidates(records, mask, found);
    Require(candidates.size() == letters);
    for (const CandidateReport& candidate : candidates) {
        Require(!candidate.verdict.empty());
        for (const std::string& answer : candidate.answers)
            Require(Printable(answer) && answer.find('\n') == std::string::npos);
        if (const auto identity = LastIdentity(records, candidate.letter))
            Require(identity->find('\0') == std::string::npos && identity->size() <= size);
    }
    return 0;
}
