// Every SCSI command that reaches a volume, whatever door it came through (protocol v1,
// iSCSI, USB): counted per volume and operation code until the counts are reset, and with
// verbose logging one line each:
//     "USB E: 0x12 INQUIRY, 36 bytes, GOOD"
// Safe to use from every connection's thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace vdrive {

// "TEST UNIT READY" for 0x00, "VENDOR" for 0xFC; "" for a code this server has no name for.
const char* ScsiOperationName(std::uint8_t operation);

class CommandLog {
  public:
    using Log = std::function<void(const std::string&)>;

    // With a log, one line per command; without, counting only.
    void SetLog(Log log);
    // `status` is none for a command never answered. `length` is the transfer length the
    // host gave.
    void Record(const char* door, char letter, std::uint8_t operation, std::uint32_t length,
                std::optional<std::uint8_t> status);
    // "0x00=676 0x1E=654 0xFC=282" in ascending code order, of one volume or (letter 0)
    // of all; "none" when there were none.
    std::string Counts(char letter = 0) const;
    void ResetCounts(char letter = 0);

  private:
    using PerOperation = std::array<std::uint64_t, 256>;
    mutable std::mutex m_mutex;
    Log m_log;
    std::map<char, PerOperation> m_counts;
};

} // namespace vdrive
